// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checkresult.h"
#include "modem/modemfacts.h"
#include "smsobjects.h"

#include <QDeadlineTimer>

#include <functional>
#include <optional>

namespace cli {

// What pellix check asks of a modem and how long it may take.
struct CheckSettings
{
    int minRssi = 10;             // 27.007 +CSQ rssi: 10 is -93 dBm, where SMS starts to be unreliable
    QString ownNumber;            // empty: the SIM's +CNUM
    int withinSeconds = 60;       // the loopback's report and message, and a USSD answer
    QString ussdCode;             // empty: no USSD step
    QString noLoopback;           // set: the loopback is skipped, for this reason
    // What the local steps take together on a modem that answers slowly but answers: Connect
    // with a SIM that opens its files, and each query with the profile's deadline.
    int localStepsMs = 45000;
    // Beyond a modem's deadline, for its thread to hand in the steps it ran: a library call that
    // started just before the deadline ends by its own deadline.
    int graceMs = 15000;
    // What a modem may take as a whole before its remaining steps fail: the local steps, and the
    // waits of loopback and USSD.
    int deadlineMs() const;
};

// The loopback: the message sent to the modem's own number, its status report and its return.
struct LoopbackResult
{
    qint32 reference = -1;
    std::optional<SmsStatusReport> report;
    bool arrived = false;
    double seconds = 0;           // until both came, or the wait ended
};

// The modem a check runs on. Each call raises the library's errors as they are (RaisedError);
// NotSupported marks a command the modem does not offer.
class CheckedModem
{
public:
    virtual ~CheckedModem() = default;
    // Opens the connection (SIM checked, messages handed over as they arrive).
    virtual void connect() = 0;
    virtual QString identity() = 0;
    virtual pellix::SimFacts readSim() = 0;
    virtual pellix::NetworkFacts readNetwork() = 0;
    virtual int rssi() = 0;
    virtual pellix::SmscFacts readSmsc() = 0;
    virtual QList<pellix::StorageUse> readStorage() = 0;
    virtual int phonebookSize() = 0;
    virtual LoopbackResult loopback(const QString &number, int withinMs) = 0;
    virtual pellix::UssdAnswer ussd(const QString &code, int timeoutMs) = 0;
    // The link dropped, or the modem stopped answering, and the connection ended.
    virtual bool connectionLost() const = 0;
    virtual void close() = 0;
};

// Runs the steps in order on modem, each handed to done as it ends; the steps not begun before
// deadline fail. Raises nothing: every failure is a step's verdict.
void runCheckSteps(CheckedModem &modem, const CheckSettings &settings, QDeadlineTimer deadline,
                   const std::function<void(const CheckStep &)> &done);

// The names of the steps, in their order (USSD only with a code).
QStringList checkStepNames(const CheckSettings &settings);

} // namespace cli
