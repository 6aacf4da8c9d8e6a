// SPDX-License-Identifier: GPL-3.0-or-later
// How fast modem output becomes lines and codes: first the splitter and the result-code table
// alone, then whole commands through AtChannel over the scripted transport. The output mixes
// what an SMS modem sends: echoed +CMGL listings with PDUs of every length, unsolicited codes
// between the entries, short prefixed answers and final codes.
#include "at/atchannel.h"
#include "at/atlineclassifier.h"
#include "at/atlinesplitter.h"
#include "scriptedtransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

using namespace pellix;

namespace {

QByteArray randomPdu(QRandomGenerator &random)
{
    // 30..176 octets: from a short text to a full concatenated part.
    const int octets = 30 + int(random.bounded(147));
    QByteArray raw(octets, Qt::Uninitialized);
    for (char &c : raw)
        c = char(random.bounded(256));
    return "07919730071111F1" + raw.toHex().toUpper();
}

// One AT+CMGL=4 answer with `entries` messages, echo on, and an unsolicited code now and then.
QByteArray listing(QRandomGenerator &random, int entries)
{
    QByteArray out = "AT+CMGL=4\r\r\n";
    for (int i = 1; i <= entries; ++i) {
        const QByteArray pdu = randomPdu(random);
        out += "+CMGL: " + QByteArray::number(i) + ",1,," + QByteArray::number(pdu.size() / 2 - 8) + "\r\n" + pdu + "\r\n";
        switch (random.bounded(12)) {
        case 0: out += "\r\n+CMTI: \"SM\"," + QByteArray::number(i) + "\r\n"; break;
        case 1: out += "\r\nRING\r\n\r\n+CLIP: \"+393331234567\",145,,,,0\r\n"; break;
        case 2: out += "\r\n+CREG: 1\r\n"; break;
        case 3: out += "\r\n+CMT: ,40\r\n" + randomPdu(random) + "\r\n"; break;
        default: break;
        }
    }
    return out + "\r\nOK\r\n";
}

QByteArray shortAnswers(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "AT+CSQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\nAT+CMGD=1\r\r\nOK\r\n\r\n+CMS ERROR: 321\r\n";
    return out;
}

void splitterAndTable(const QByteArray &stream, int rounds)
{
    qint64 lines = 0, finals = 0, codes = 0;
    QElapsedTimer clock;
    clock.start();
    for (int r = 0; r < rounds; ++r) {
        AtLineSplitter splitter;
        for (qsizetype i = 0; i < stream.size(); i += 4096) {
            splitter.feed(QByteArrayView(stream).sliced(i, std::min<qsizetype>(4096, stream.size() - i)));
            while (splitter.next() == AtLineSplitter::Token::Line) {
                ++lines;
                const AtLineClass c = AtLineClassifier::classify(splitter.line());
                finals += c.isFinal();
                codes += c.isUnsolicited();
            }
        }
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double mb = double(stream.size()) * rounds / 1e6;
    std::printf("splitter + code table: %.1f MB in %.3f s = %.0f MB/s (%lld lines, %lld finals, %lld unsolicited)\n",
                mb, seconds, mb / seconds, lines, finals, codes);
}

void channel(const QList<QByteArray> &replies)
{
    ScriptedTransport transport;
    AtChannel channel(transport);
    qint64 bytes = 0;
    for (const QByteArray &reply : replies) {
        ScriptedTransport::Reply r{reply};
        r.delivery = ScriptedTransport::Delivery::Chunked;
        r.splitAt = 4096; // what one read() of a busy serial port tends to return
        transport.script("AT+CMGL=4\r", r);
        bytes += reply.size();
    }
    qint64 entries = 0, codes = 0;
    QElapsedTimer clock;
    clock.start();
    for (qsizetype i = 0; i < replies.size(); ++i) {
        entries += channel.run(AtCommand::withPdus("AT+CMGL=4", "+CMGL:")).pdus.size();
        codes += channel.takeUnsolicited().size();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double mb = double(bytes) / 1e6;
    std::printf("AtChannel, +CMGL listings: %.1f MB in %.3f s = %.0f MB/s (%lld commands, %lld entries, %lld unsolicited)\n",
                mb, seconds, mb / seconds, qlonglong(replies.size()), entries, codes);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QRandomGenerator random(20260); // fixed: the same output on every run
    QList<QByteArray> listings;
    QByteArray stream;
    while (stream.size() < 32 * 1000 * 1000) {
        listings.append(listing(random, 50 + int(random.bounded(200))));
        stream += listings.last();
        stream += shortAnswers(20);
    }
    splitterAndTable(stream, 4);
    channel(listings);
    return 0;
}
