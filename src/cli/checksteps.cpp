// SPDX-License-Identifier: GPL-3.0-or-later
#include "checksteps.h"

#include "pellixerror.h"
#include "raisederror.h"

#include <QElapsedTimer>
#include <QMap>

namespace cli {
namespace {

using pellix::ErrorCode;

const QString AnswersAt = QStringLiteral("port answers AT");
const QString SimReady = QStringLiteral("SIM ready");
const QString Identity = QStringLiteral("identity");
const QString Registered = QStringLiteral("registered");
const QString Signal = QStringLiteral("signal");
const QString SmsCentre = QStringLiteral("SMS centre");
const QString Storage = QStringLiteral("storage");
const QString Phonebook = QStringLiteral("phonebook");
const QString Loopback = QStringLiteral("loopback");
const QString Ussd = QStringLiteral("USSD");

bool isError(const RaisedError &error, ErrorCode code)
{
    return error.number() == pellix::libraryErrorNumber(quint16(code));
}

// A step's outcome before timing: what the step's body returns or raises.
struct Outcome
{
    CheckVerdict verdict = CheckVerdict::Pass;
    QString reason;
    QString remedy;
    QString detail;
};

Outcome pass(QString detail) { return {CheckVerdict::Pass, {}, {}, std::move(detail)}; }
Outcome fail(QString reason, QString remedy) { return {CheckVerdict::Fail, std::move(reason), std::move(remedy), {}}; }

QString registrationName(pellix::RegistrationState state)
{
    switch (state) {
    case pellix::RegistrationState::NotRegistered: return QStringLiteral("not registered, not searching");
    case pellix::RegistrationState::Home: return QStringLiteral("home");
    case pellix::RegistrationState::Searching: return QStringLiteral("searching");
    case pellix::RegistrationState::Denied: return QStringLiteral("registration denied");
    case pellix::RegistrationState::Unknown: return QStringLiteral("unknown");
    case pellix::RegistrationState::Roaming: return QStringLiteral("roaming");
    }
    return QStringLiteral("unknown");
}

QString registrationRemedy(pellix::RegistrationState state)
{
    switch (state) {
    case pellix::RegistrationState::Denied:
        return QStringLiteral("The network refuses this SIM: check with the operator that the subscription is active "
                              "and allowed on this network");
    case pellix::RegistrationState::Searching:
        return QStringLiteral("Check the antenna and the coverage where the modem stands, then check again in a minute");
    case pellix::RegistrationState::NotRegistered:
        return QStringLiteral("Let the modem choose a network: pellix at AT+COPS=0, then check again");
    default:
        return QStringLiteral("Check the antenna and the SIM's subscription; pellix network shows what the modem says");
    }
}

QString networkDetail(const pellix::NetworkFacts &facts)
{
    QStringList parts;
    if (const auto best = facts.best()) {
        parts << registrationName(best->state);
        if (!best->area.isEmpty())
            parts << QStringLiteral("area %1").arg(best->area);
        if (!best->cellId.isEmpty())
            parts << QStringLiteral("cell %1").arg(best->cellId);
    }
    if (!facts.operatorName.isEmpty() || !facts.operatorNumeric.isEmpty())
        parts << QStringLiteral("%1 %2").arg(facts.operatorName, facts.operatorNumeric).trimmed();
    return parts.join(QStringLiteral(", "));
}

// Why Connect failed, as the first step and the SIM step say it.
Outcome simOutcome(const RaisedError &error)
{
    const QString &why = error.description();
    if (why.contains(QLatin1String("attempt")))
        return fail(why, QStringLiteral("Unlock the SIM in a phone: a wrong PIN now would lock it behind its PUK"));
    if (why.contains(QLatin1String("PUK")))
        return fail(why, QStringLiteral("Unlock the SIM with its PUK in a phone"));
    if (why.contains(QLatin1String("PIN")))
        return fail(why, QStringLiteral("Give the SIM's PIN with --pin NNNN, or switch the PIN request off in a phone"));
    return fail(why, QStringLiteral("Insert a SIM, or seat it again, with the modem switched off"));
}

class StepRunner
{
public:
    StepRunner(CheckedModem &modem, QDeadlineTimer deadline, int deadlineMs,
               const std::function<void(const CheckStep &)> &done)
        : m_modem(modem), m_deadline(deadline), m_deadlineMs(deadlineMs), m_done(done)
    {
    }

    // Runs body as the step name unless one of needs did not pass.
    void step(const QString &name, const QStringList &needs, const std::function<Outcome()> &body)
    {
        CheckStep step;
        step.name = name;
        if (const QString blocker = blockerOf(needs); !blocker.isEmpty()) {
            step.verdict = CheckVerdict::Skip;
            step.reason = blocker == m_lostIn
                ? QStringLiteral("the connection was lost in \"%1\"").arg(blocker)
                : QStringLiteral("depends on \"%1\", which failed").arg(blocker);
            m_rootFailure.insert(name, blocker);
            finish(step);
            return;
        }
        if (m_deadline.hasExpired()) {
            step.verdict = CheckVerdict::Fail;
            step.reason = QStringLiteral("the modem's time for the whole check (%1 s) ran out before this step")
                              .arg(m_deadlineMs / 1000);
            step.remedy = QStringLiteral("Check that the modem still answers (power, cable); run pellix check on it alone "
                                         "with --trace to see where it stalls");
            m_rootFailure.insert(name, name);
            finish(step);
            return;
        }
        QElapsedTimer timer;
        timer.start();
        Outcome outcome;
        try {
            outcome = body();
        } catch (const RaisedError &error) {
            if (isError(error, ErrorCode::NotSupported)) {
                outcome = {CheckVerdict::Skip, QStringLiteral("not supported by this modem (%1)").arg(error.description()), {}, {}};
            } else if (m_modem.connectionLost() || isError(error, ErrorCode::ConnectionLost)) {
                outcome = fail(error.description(), QStringLiteral("Check the cable and the modem's power; a modem that "
                                                                   "stops answering needs a power cycle"));
                m_lostIn = name;
            } else {
                outcome = fail(error.description(),
                               m_remedy.isEmpty() ? QStringLiteral("Check this modem alone; its trace (named in the results) "
                                                                   "shows what it answered")
                                                  : m_remedy);
            }
        }
        step.seconds = double(timer.elapsed()) / 1000;
        step.verdict = outcome.verdict;
        step.reason = outcome.reason;
        step.remedy = outcome.remedy;
        step.detail = outcome.detail;
        if (step.verdict == CheckVerdict::Fail)
            m_rootFailure.insert(name, name);
        finish(step);
    }

    // The remedy of a step's failure that its body did not foresee (a refusal, a timeout).
    void setRemedy(QString remedy) { m_remedy = std::move(remedy); }
    bool lost() const { return !m_lostIn.isEmpty(); }

private:
    QString blockerOf(const QStringList &needs) const
    {
        // Every step needs the connection: once it is lost, nothing else is asked.
        if (lost())
            return m_lostIn;
        for (const QString &need : needs) {
            if (m_rootFailure.contains(need))
                return m_rootFailure.value(need);
        }
        return QString();
    }

    void finish(const CheckStep &step)
    {
        m_remedy.clear();
        m_done(step);
    }

    CheckedModem &m_modem;
    QDeadlineTimer m_deadline;
    int m_deadlineMs;
    const std::function<void(const CheckStep &)> &m_done;
    // Per step that did not pass: the failed step at its root.
    QMap<QString, QString> m_rootFailure;
    QString m_lostIn;
    QString m_remedy;
};

} // namespace

QString verdictName(CheckVerdict verdict)
{
    switch (verdict) {
    case CheckVerdict::Pass: return QStringLiteral("PASS");
    case CheckVerdict::Fail: return QStringLiteral("FAIL");
    case CheckVerdict::Skip: break;
    }
    return QStringLiteral("SKIP");
}

CheckVerdict ModemCheck::verdict() const
{
    for (const CheckStep &step : steps) {
        if (step.verdict == CheckVerdict::Fail)
            return CheckVerdict::Fail;
    }
    return CheckVerdict::Pass;
}

CheckVerdict overallVerdict(const QList<ModemCheck> &modems)
{
    for (const ModemCheck &modem : modems) {
        if (modem.verdict() == CheckVerdict::Fail)
            return CheckVerdict::Fail;
    }
    return CheckVerdict::Pass;
}

int CheckSettings::deadlineMs() const
{
    return localStepsMs + withinSeconds * 1000 * (ussdCode.isEmpty() ? 1 : 2);
}

QStringList checkStepNames(const CheckSettings &settings)
{
    QStringList names{AnswersAt, SimReady, Identity, Registered, Signal, SmsCentre, Storage, Phonebook, Loopback};
    if (!settings.ussdCode.isEmpty())
        names << Ussd;
    return names;
}

void runCheckSteps(CheckedModem &modem, const CheckSettings &settings, QDeadlineTimer deadline,
                   const std::function<void(const CheckStep &)> &done)
{
    StepRunner run(modem, deadline, settings.deadlineMs(), done);
    // Connect answers the first two steps: a SIM that wants its PIN fails it after the modem has
    // answered AT.
    std::optional<RaisedError> simRefusal;
    run.setRemedy(QStringLiteral("Check the port (pellix ports --probe lists those that answer AT), the cable and "
                                 "the modem's power"));
    run.step(AnswersAt, {}, [&] {
        try {
            modem.connect();
        } catch (const RaisedError &error) {
            if (!isError(error, ErrorCode::PinRequired))
                throw;
            simRefusal = error;
        }
        return pass(QString());
    });
    pellix::SimFacts sim;
    run.step(SimReady, {AnswersAt}, [&] {
        if (simRefusal)
            return simOutcome(*simRefusal);
        try {
            sim = modem.readSim();
        } catch (const RaisedError &error) {
            // Connect has seen the SIM ready; the facts beyond it are extras.
            if (!isError(error, ErrorCode::NotSupported))
                throw;
            return pass(QStringLiteral("ready"));
        }
        QStringList detail{sim.pinState.isEmpty() ? QStringLiteral("ready") : sim.pinState};
        if (sim.pinAttempts >= 0)
            detail << QStringLiteral("%1 PIN attempts left").arg(sim.pinAttempts);
        if (!sim.iccid.isEmpty())
            detail << QStringLiteral("ICCID %1").arg(sim.iccid);
        return pass(detail.join(QStringLiteral(", ")));
    });
    run.step(Identity, {SimReady}, [&] {
        const QString identity = modem.identity();
        if (identity.trimmed().isEmpty())
            return fail(QStringLiteral("the modem gave no manufacturer, model or IMEI"),
                        QStringLiteral("Update the modem's firmware, or give it a profile in Pellix.ini"));
        return pass(identity);
    });
    pellix::NetworkFacts network;
    run.step(Registered, {SimReady}, [&] {
        network = modem.readNetwork();
        if (network.registered())
            return pass(networkDetail(network));
        const auto best = network.best();
        const pellix::RegistrationState state = best ? best->state : pellix::RegistrationState::Unknown;
        return fail(QStringLiteral("not registered: %1").arg(registrationName(state)), registrationRemedy(state));
    });
    run.step(Signal, {SimReady}, [&] {
        const int rssi = modem.rssi();
        if (rssi == 99 || rssi < 0)
            return fail(QStringLiteral("the modem measures no signal (rssi 99)"),
                        QStringLiteral("Connect the antenna, or move the modem where the network reaches"));
        const QString level = QStringLiteral("rssi %1 (%2 dBm)").arg(rssi).arg(-113 + 2 * qMin(rssi, 31));
        if (rssi < settings.minRssi)
            return fail(QStringLiteral("%1, below --min-rssi %2").arg(level).arg(settings.minRssi),
                        QStringLiteral("Connect a better antenna or move the modem nearer a window"));
        return pass(level);
    });
    run.step(SmsCentre, {SimReady}, [&] {
        const pellix::SmscFacts smsc = modem.readSmsc();
        if (smsc.number.trimmed().isEmpty())
            return fail(QStringLiteral("no SMS centre is set"),
                        QStringLiteral("Set the SMS centre: pellix smsc set +NUMBER (the operator's centre)"));
        return pass(smsc.number);
    });
    run.step(Storage, {SimReady}, [&] {
        QStringList uses;
        for (const pellix::StorageUse &use : modem.readStorage()) {
            const QString text = QStringLiteral("%1 %2 of %3").arg(QString::fromLatin1(use.storage)).arg(use.used).arg(use.total);
            if (use.full())
                return fail(QStringLiteral("message storage full: %1").arg(text),
                            QStringLiteral("Delete messages: pellix sms list --delete (prints them first)"));
            if (!uses.contains(text))
                uses << text;
        }
        return pass(uses.join(QStringLiteral(", ")));
    });
    run.setRemedy(QStringLiteral("Check the SIM: a phonebook it cannot read points to a damaged or busy SIM"));
    run.step(Phonebook, {SimReady}, [&] { return pass(QStringLiteral("%1 entries").arg(modem.phonebookSize())); });
    const QString own = !settings.ownNumber.isEmpty() ? settings.ownNumber : sim.ownNumbers.value(0);
    if (!settings.noLoopback.isEmpty()) {
        run.step(Loopback, {Registered, SmsCentre}, [&] { return Outcome{CheckVerdict::Skip, settings.noLoopback, {}, {}}; });
    } else if (own.isEmpty()) {
        run.step(Loopback, {Registered, SmsCentre}, [] {
            return Outcome{CheckVerdict::Skip,
                           QStringLiteral("no own number: the SIM tells none (+CNUM) and no --own-number was given"), {}, {}};
        });
    } else {
        run.setRemedy(QStringLiteral("Check the SMS centre and that the modem may send; pellix send shows the refusal"));
        run.step(Loopback, {Registered, SmsCentre}, [&] {
            const LoopbackResult result = modem.loopback(own, settings.withinSeconds * 1000);
            const QString lateRemedy = QStringLiteral(
                "Check that %1 is this SIM's number (--own-number); a slow network needs a longer --within").arg(own);
            if (!result.report)
                return fail(QStringLiteral("no status report for message %1 to %2 within %3 s")
                                .arg(result.reference).arg(own).arg(settings.withinSeconds), lateRemedy);
            if (result.report->Status >= 0x20)
                return fail(QStringLiteral("the network reports: %1 (status %2)").arg(result.report->StatusText).arg(result.report->Status),
                            QStringLiteral("Check the subscription's SMS service and the number %1").arg(own));
            if (!result.arrived)
                return fail(QStringLiteral("the message to %1 did not come back within %2 s").arg(own).arg(settings.withinSeconds),
                            lateRemedy);
            return pass(QStringLiteral("to %1, report and message back in %2 s").arg(own).arg(result.seconds, 0, 'f', 1));
        });
    }
    if (!settings.ussdCode.isEmpty()) {
        run.setRemedy(QStringLiteral("Check the code with the operator"));
        run.step(Ussd, {Registered}, [&] {
            const pellix::UssdAnswer answer = modem.ussd(settings.ussdCode, settings.withinSeconds * 1000);
            switch (answer.status) {
            case pellix::UssdStatus::Done:
            case pellix::UssdStatus::MoreExpected:
            case pellix::UssdStatus::TerminatedByNetwork:
            case pellix::UssdStatus::OtherClientResponded:
                return pass(answer.text.simplified());
            case pellix::UssdStatus::NotSupported:
                return fail(QStringLiteral("the network does not offer %1").arg(settings.ussdCode),
                            QStringLiteral("Ask the operator for the right code"));
            case pellix::UssdStatus::NetworkTimeout:
            case pellix::UssdStatus::NoAnswer:
                break;
            }
            return fail(QStringLiteral("no answer to %1 within %2 s").arg(settings.ussdCode).arg(settings.withinSeconds),
                        QStringLiteral("Check the code with the operator; some codes answer on the home network only"));
        });
    }
    try {
        modem.close();
    } catch (const RaisedError &) {
        // The verdicts are in; a modem that does not take its last command changes none of them.
    }
}

} // namespace cli
