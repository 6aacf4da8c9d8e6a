// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdu/smspdu.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pellix;
using namespace pellix::sim;


// The non-empty lines of what the modem sent.
inline QList<QByteArray> linesOf(const QByteArray &out)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : out.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            lines << text;
    }
    return lines;
}

inline QByteArray submitPdu(const QString &to, const QString &text, bool reportRequest = false, int alphabet = pdu::Gsm7,
                     int messageClass = -1)
{
    pdu::SubmitPdu submit;
    submit.destination = to;
    submit.text = text;
    submit.statusReportRequest = reportRequest;
    submit.alphabet = alphabet;
    submit.messageClass = messageClass;
    return pdu::encodeSubmit(submit).hex;
}

inline int tpduLength(const QByteArray &hex)
{
    return int(hex.size() / 2) - 1 - hex.left(2).toInt(nullptr, 16);
}

// A modem on a manual clock, driven line by line.
struct Rig
{
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    VirtualModem modem;

    explicit Rig(const VirtualModemOptions &options = VirtualModemOptions()) : modem(options, clock) {}

    QByteArray raw(const QByteArray &bytes)
    {
        modem.feed(bytes);
        return modem.takeOutput();
    }
    QList<QByteArray> at(const QByteArray &line) { return linesOf(raw(line + '\r')); }
    // The answer to the last of the commands, run one after the other.
    QList<QByteArray> lastOf(const QByteArrayList &commands)
    {
        QList<QByteArray> last;
        for (const QByteArray &command : commands)
            last = at(command);
        return last;
    }
    QList<QByteArray> advance(qint64 ms)
    {
        clock->advance(ms);
        modem.poll();
        return linesOf(modem.takeOutput());
    }
    // Every line that arrives within totalMs, stamped with the clock time it arrived at.
    QList<QPair<qint64, QByteArray>> collect(qint64 totalMs, qint64 stepMs = 100)
    {
        QList<QPair<qint64, QByteArray>> seen;
        for (qint64 t = 0; t < totalMs; t += stepMs)
            for (const QByteArray &line : advance(stepMs))
                seen << qMakePair(clock->elapsedMs(), line);
        return seen;
    }
    // Echo off and numeric errors, as drivers set them up.
    Rig &plain()
    {
        at("ATE0+CMEE=1");
        return *this;
    }
    // The lines answering one AT+CMGS exchange; the prompt must come first.
    QList<QByteArray> send(const QByteArray &hex)
    {
        const QByteArray prompt = raw("AT+CMGS=" + QByteArray::number(tpduLength(hex)) + '\r');
        if (!prompt.endsWith("\r\n> "))
            return {"no prompt: " + prompt};
        return linesOf(raw(hex + '\x1A'));
    }
    int sendReference(const QByteArray &hex)
    {
        const QList<QByteArray> answer = send(hex);
        if (answer.size() != 2 || !answer.at(0).startsWith("+CMGS: ") || answer.at(1) != "OK")
            return -1;
        return answer.at(0).mid(7).toInt();
    }
};
