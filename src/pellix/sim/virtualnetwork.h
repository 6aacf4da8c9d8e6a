// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "callforwarding.h"
#include "seededrandom.h"

#include <QList>
#include <QString>

namespace pellix::sim {

// The rules of the simulated network. Operators try the console with them, so each one is
// written down in the help topic "The virtual modem" (help/virtualmodem.html) as well.
class VirtualNetwork
{
public:
    static constexpr char OwnNumber[] = "+3934811111111";
    static constexpr char ServiceCentre[] = "+3934800000001";
    static constexpr char OperatorName[] = "Pellix Net";

    // Delays after the centre took a message (clock milliseconds).
    static constexpr qint64 LoopBackDelayMs = 1000;    // a message to the own number comes back
    static constexpr qint64 ReportDelayMs = 2000;      // the delivery report
    static constexpr qint64 FinalReportDelayMs = 6000; // the second report after "SME busy"
    static constexpr qint64 CallDelayMs = 3000;        // "RING"/"CALL ME": the call arrives
    static constexpr qint64 RingIntervalMs = 3000;
    static constexpr int RingCount = 3;                // then the caller gives up
    static constexpr qint64 AnsweredCallMs = 5000;     // an answered caller hangs up after this
    static constexpr qint64 DialledCallMs = 10000;     // a dialled number never answers
    static constexpr qint64 UssdDelayMs = 1000;
    static constexpr qint64 SignalStepMs = 2000;       // the signal changes this often

    struct Signal
    {
        int rssi = 99;
        int ber = 99;
    };

    struct ReportStep
    {
        qint64 delayMs = 0;
        quint8 status = 0;   // TP-ST
    };

    // An empty ownNumber: OwnNumber.
    explicit VirtualNetwork(quint64 seed, const QString &ownNumber = QString());

    // The signal at a clock time: a seeded random walk in 12..28 with BER 0..3 (sometimes 99),
    // broken by fades to 5..9 with BER 4..7 that last a few steps. The same seed and time give
    // the same value however often it is asked.
    Signal signalAt(qint64 ms);
    // Battery charge in percent: starts at 70..100 and loses one point every three minutes.
    int batteryAt(qint64 ms) const;

    // TP-MR of the next submitted message: 1, 2, ... 255, then 1 again. The reference a client
    // puts in the PDU is not used: the modem numbers messages itself, as handsets do.
    quint8 nextMessageReference();

    // The SIM's MSISDN, international with "+".
    const QString &ownNumber() const { return m_ownNumber; }
    // The own number in international form, with "00" for "+", or in the national form that
    // drops the country code 39 when it is an Italian number.
    bool isOwnNumber(const QString &number) const;
    // +CMS ERROR code for a destination the centre refuses at once, 0 when it is accepted:
    // 195 (invalid SME address) for an empty, alphanumeric or non-digit address, 1 (unassigned
    // number) for an international number with country code 0.
    static int refusal(const QString &number, quint8 typeOfAddress);
    // Delivery reports for a message to a number other than the own one, by the number's end:
    // 666 permanent error "incompatible destination" (0x41); 999 "SME busy" (0x21) and later
    // "received" (0x00); 888 "no response from SME", centre gave up (0x62); else received.
    static QList<ReportStep> deliveryReports(const QString &number);
    // A text beginning with "RING" or "CALL ME" (any case, after blanks) asks for a call.
    static bool asksForCall(const QString &text);

    CallForwarding &forwarding() { return m_forwarding; }

private:
    void step();

    SeededRandom m_random;
    qint64 m_signalSteps = 0;
    int m_rssi = 20;
    int m_ber = 0;
    int m_fadeLeft = 0;
    int m_battery = 100;
    quint8 m_lastReference = 0;
    QString m_ownNumber;
    CallForwarding m_forwarding;
};

} // namespace pellix::sim
