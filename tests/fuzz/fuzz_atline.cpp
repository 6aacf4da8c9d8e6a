// SPDX-License-Identifier: GPL-3.0-or-later
// Modem output of any shape through the line splitter, the result-code table and a channel
// running commands of every response shape, and then idle, with an event loop: its timers (a
// +CMT header waiting for its PDU) and its notifications run as in a program. The first byte
// picks the chunk size, whether a prompt is expected and the command. A RaisedError (timeout,
// lost link) is an answer; anything else escaping, a crash or a sanitizer report is a fault.
#include "at/atchannel.h"
#include "at/atlineclassifier.h"
#include "at/atlinesplitter.h"
#include "raisederror.h"
#include "transport/bytetransport.h"

#include <QCoreApplication>

#include <cstdint>

namespace {

// Hands the input out in fixed-size chunks, as a serial port hands out what it has read.
class MemoryTransport : public pellix::ByteTransport
{
public:
    MemoryTransport(QByteArray input, qsizetype chunk) : m_input(std::move(input)), m_chunk(chunk) {}

    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &) override { return m_open; }
    QByteArray takeAvailable() override
    {
        const QByteArray piece = m_input.mid(m_pos, m_chunk);
        m_pos += piece.size();
        return piece;
    }
    bool waitForBytes(QDeadlineTimer) override { return m_open && m_pos < m_input.size(); }
    bool hasMore() const { return m_pos < m_input.size(); }
    void close() override { m_open = false; }
    QString errorText() const override { return {}; }

private:
    QByteArray m_input;
    qsizetype m_pos = 0;
    qsizetype m_chunk;
    bool m_open = true;
};

void splitAndClassify(QByteArrayView input, qsizetype chunk, bool promptExpected)
{
    pellix::AtLineSplitter splitter(256);
    splitter.setPromptExpected(promptExpected);
    for (qsizetype i = 0; i < input.size(); i += chunk) {
        splitter.feed(input.sliced(i, std::min(chunk, input.size() - i)));
        for (;;) {
            const auto token = splitter.next();
            if (token == pellix::AtLineSplitter::Token::None)
                break;
            if (token == pellix::AtLineSplitter::Token::Prompt) {
                splitter.setPromptExpected(!splitter.promptExpected());
                continue;
            }
            const QByteArray line = splitter.line().toByteArray();
            const pellix::AtLineClass c = pellix::AtLineClassifier::classify(line);
            if (c.isUnsolicited())
                pellix::AtLineClassifier::unsolicited(line, c.unsolicited);
            pellix::AtLineClassifier::errorNumber(line, pellix::FinalCode::CmsError);
            pellix::AtLineClassifier::hasPrefix(line, "+CMGL:");
        }
        if (splitter.buffered() > splitter.maxLineLength())
            __builtin_trap();
    }
}

pellix::AtCommand commandFor(uint8_t selector)
{
    switch (selector % 4) {
    case 0: return pellix::AtCommand::prefixed("AT+CSQ", "+CSQ:", 0);
    case 1: return pellix::AtCommand::withPdus("AT+CMGL=4", "+CMGL:", 0);
    case 2: return pellix::AtCommand::bare("AT+CGMI", 0);
    default: return pellix::AtCommand::sendingPdu("AT+CMGS=19", "0011000B919730123456F70000AA05E8329BFD06", "+CMGS:", 0);
    }
}

// The channel's timers and queued notifications need an application, as in every program.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_atline";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const qsizetype chunk = 1 + (control & 0x3f);

    splitAndClassify(input, chunk, control & 0x40);

    MemoryTransport transport(input, chunk);
    pellix::AtChannel channel(transport);
    channel.setStaleGraceMs(0);
    channel.setPduWaitMs(0);
    const auto takeCodes = [&] {
        for (const pellix::Unsolicited &u : channel.takeUnsolicited()) {
            if (u.line.size() > 4096 || u.pdu.size() > 4096)
                __builtin_trap();
        }
    };
    QObject::connect(&channel, &pellix::AtChannel::unsolicitedArrived, takeCodes);
    for (int round = 0; round < 2; ++round) {
        try {
            channel.run(commandFor(uint8_t((control >> 6) ^ round)));
        } catch (const RaisedError &) {
        }
        QCoreApplication::processEvents();
        takeCodes();
    }
    // What is left comes to the idle channel, as a serial port's readyRead would bring it.
    for (int idle = 0; transport.hasMore() && idle < 64; ++idle) {
        Q_EMIT transport.bytesArrived();
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    takeCodes();
    return 0;
}
