// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The AT channel against a scripted modem: answers in every delivery (whole, byte by byte, split
// at every position), unsolicited codes in the middle of answers, echo, the PDU prompt, late
// replies, floods, failures. Deadlines are short; no test asserts a duration beyond "it timed
// out, and not before its deadline".
#include "at/atchannel.h"
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "scriptedtransport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using namespace pellix;
using Delivery = ScriptedTransport::Delivery;

Q_DECLARE_METATYPE(pellix::AtCommand)


struct Rig
{
    ScriptedTransport transport;
    AtChannel channel{transport};
    Rig() { channel.setStaleGraceMs(50); }
};

// The number a call raised, 0 when it returned.
inline qint32 raised(const std::function<void()> &call, QString *description = nullptr)
{
    try {
        call();
    } catch (const RaisedError &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}


inline QString describe(const Unsolicited &u)
{
    static const char *const names[] = {"Ring", "Clip", "Cmti", "Cdsi", "Cmt", "Cds", "Creg", "Cusd", "Unknown"};
    QString s = QLatin1String(names[int(u.kind)]) + QLatin1Char(':') + QString::fromLatin1(u.line);
    if (!u.pdu.isEmpty())
        s += QLatin1Char('|') + QString::fromLatin1(u.pdu);
    return s;
}

inline QStringList describe(const QList<Unsolicited> &codes)
{
    QStringList out;
    for (const Unsolicited &u : codes)
        out << describe(u);
    return out;
}

inline ScriptedTransport::Reply delivered(const QByteArray &bytes, Delivery how, int splitAt = 0)
{
    ScriptedTransport::Reply r{bytes};
    r.delivery = how;
    r.splitAt = splitAt;
    return r;
}

const QByteArray Pdu1 = "07919730071111F1040B919730123456F70000026011419303400AC8329BFD6681EE6F399B1C03";
const QByteArray Pdu2 = "07919730071111F1040B919730123456F80000026011419313400441E19058";
const QByteArray PduX = "07919730071111F1000B919730654321F900000260114193534004D4F29C0E";
const QByteArray SubmitPdu = "0011000B919730123456F70000AA05E8329BFD06";
