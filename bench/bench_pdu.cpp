// SPDX-License-Identifier: GPL-3.0-or-later
// Codec throughput on one core: encode+decode pairs of a full 160-character 7-bit SMS-SUBMIT
// (the target is 300,000 per second), of a 70-character UCS-2 one, decoding an SMS-DELIVER with
// its time stamp, and splitting a long 7-bit text into concatenated parts.
#include "pdu/smspdu.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

using namespace pellix::pdu;

namespace {

volatile qsizetype g_sink = 0;

// Runs body until about a second has passed and returns the rate per second.
template <typename Body>
double rate(Body body)
{
    QElapsedTimer timer;
    timer.start();
    long count = 0;
    do {
        for (int i = 0; i < 1000; ++i)
            body();
        count += 1000;
    } while (timer.nsecsElapsed() < 1'000'000'000);
    return double(count) * 1e9 / double(timer.nsecsElapsed());
}

QString sample(const QString &alphabet, int length)
{
    QString s;
    s.reserve(length);
    for (int i = 0; i < length; ++i)
        s += alphabet.at((i * 7) % alphabet.size());
    return s;
}

} // namespace

int main()
{
    SubmitPdu gsm;
    gsm.destination = QStringLiteral("+393481234567");
    gsm.text = sample(QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 äöüÄÖÜ@£$¥"), 160);
    gsm.validityMinutes = 1440;
    gsm.statusReportRequest = true;

    const double gsmPairs = rate([&] {
        const EncodedPdu e = encodeSubmit(gsm);
        const SubmitPdu d = decodeSubmit(e.hex);
        g_sink = g_sink + d.text.size();
    });
    std::printf("7-bit 160 chars   encode+decode pairs/s: %10.0f  (target 300000: %s)\n", gsmPairs,
                gsmPairs >= 300000 ? "met" : "NOT met");

    SubmitPdu ucs2 = gsm;
    ucs2.alphabet = Ucs2;
    ucs2.text = sample(QStringLiteral("Съешь же ещё этих мягких французских булок 中文字"), 70);
    const double ucs2Pairs = rate([&] {
        const EncodedPdu e = encodeSubmit(ucs2);
        const SubmitPdu d = decodeSubmit(e.hex);
        g_sink = g_sink + d.text.size();
    });
    std::printf("UCS-2 70 chars    encode+decode pairs/s: %10.0f\n", ucs2Pairs);

    DeliverPdu deliver;
    deliver.smsc.number = QStringLiteral("+27381000015");
    deliver.originator.number = QStringLiteral("+393481234567");
    deliver.timestamp = QDateTime::fromString(QStringLiteral("2024-05-06T07:08:09+02:00"), Qt::ISODate);
    deliver.text = gsm.text;
    const QByteArray deliverHex = encodeDeliver(deliver);
    const double delivers = rate([&] {
        const DeliverPdu d = decodeDeliver(deliverHex);
        g_sink = g_sink + d.text.size();
    });
    std::printf("7-bit 160 chars   deliver decodes/s:     %10.0f\n", delivers);

    SubmitPdu longText = gsm;
    longText.validityMinutes.reset();
    longText.text = sample(QStringLiteral("Long message [with escapes] {and} more text, "), 1000);
    const int parts = int(encodeLongSubmit(longText, 1).size());
    const double splits = rate([&] { g_sink = g_sink + encodeLongSubmit(longText, 1).size(); });
    std::printf("7-bit 1000 chars  long splits/s:         %10.0f  (%d parts each, %.0f parts/s)\n", splits, parts,
                splits * parts);
    return 0;
}
