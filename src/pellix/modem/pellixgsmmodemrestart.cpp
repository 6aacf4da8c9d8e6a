// SPDX-License-Identifier: GPL-3.0-or-later
// A modem that restarts during a session (protocol notes 7) comes back with its stored profile:
// echo on, no +CMEE, +CNMI 0 (nothing announced, nothing routed), +CMGF as stored, which may be
// text mode. The AT channel ends the command the restart interrupted and sends none until the
// modem has been set up again here, exactly as Connect did; what the modem stored while it
// announced nothing is handed over afterwards.
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"

#include <QScopedValueRollback>
#include <QStringList>

namespace pellix {

using detail::decodeItem;
using detail::DecodedItem;

namespace {

// A modem that keeps restarting while it is being set up again (a failing supply) is given up.
constexpr int MaxRestartsInARow = 3;

bool isRestart(const RaisedError &error)
{
    return error.number() == libraryErrorNumber(quint16(ErrorCode::ModemRestarted));
}

} // namespace

bool PellixGsmModem::restartToCheck() const
{
    return m_channel && m_channel->restartWatch() == AtChannel::RestartWatch::Full
        && (!m_channel->restartEvidence().isEmpty() || !m_channel->readinessLine().isEmpty());
}

void PellixGsmModem::recoverIfRestarted()
{
    if (m_recovering || m_status != Connected || !m_channel
        || m_channel->restartWatch() != AtChannel::RestartWatch::Full)
        return;
    if (m_channel->pollRestart()) {
        recover(m_channel->restartEvidence());
        return;
    }
    const QString readiness = m_channel->readinessLine();
    if (!readiness.isEmpty())
        verifySettings(readiness);
}

void PellixGsmModem::verifySettings(const QString &readinessLine)
{
    // "SMS Ready" and its kind come after a restart, and as well when a SIM that was busy has
    // settled: the settings tell which. The echo of the question tells too (the channel ends it).
    m_channel->clearRestartEvidence();
    note(QStringLiteral("the modem said \"%1\": checking that it kept its settings").arg(readinessLine));
    AtResponse answer;
    try {
        answer = exec(AtCommand::bare("AT+CMGF?;+CNMI?", localTimeout()), false);
    } catch (const RaisedError &error) {
        if (!isRestart(error) || !m_channel)
            throw;
        recover(m_channel->restartEvidence());
        return;
    }
    QStringList lost;
    for (const QByteArray &line : answer.lines) {
        if (line.startsWith("+CMGF:") && replies::number(replies::fields(line, "+CMGF"), 0) != 0)
            lost << QString::fromLatin1(line);
        if (line.startsWith("+CNMI:") && !m_cnmiSetting.isEmpty()) {
            const QList<QByteArray> values = replies::fields(line, "+CNMI");
            for (qsizetype i = 0; i < m_cnmiSetting.size() && i < values.size(); ++i) {
                if (replies::number(values, int(i)) != m_cnmiSetting.at(i)) {
                    lost << QString::fromLatin1(line);
                    break;
                }
            }
        }
    }
    if (lost.isEmpty()) {
        note(QStringLiteral("the modem kept its settings"));
        return;
    }
    recover(QStringLiteral("it said \"%1\" and has lost its settings: %2").arg(readinessLine, lost.join(QLatin1String(", "))));
}

void PellixGsmModem::recover(const QString &evidence)
{
    const QScopedValueRollback recovering(m_recovering, true);
    const quint64 connection = m_connection;
    note(QStringLiteral("the modem restarted (%1): setting it up again as Connect did").arg(evidence));
    m_channel->clearRestartEvidence();
    // Only a new boot interrupts the setting up: the rest of this boot's lines are expected.
    m_channel->setRestartWatch(AtChannel::RestartWatch::BootStart);
    setStatus(Connecting, QStringLiteral("Modem restarted, setting up again"));
    // A NewStatus handler may have closed the connection meanwhile.
    if (m_connection != connection || !m_channel)
        raise(ErrorCode::NotConnected, QStringLiteral("the connection was closed while the modem was set up again"));
    try {
        setUp(m_pin, true);
    } catch (const RaisedError &error) {
        if (m_connection != connection || !m_channel)
            throw;
        const RaisedError why(error.number(), error.source(),
                              QStringLiteral("The modem restarted and could not be set up again: %1").arg(error.description()));
        endConnection(why);
        throw why;
    }
    m_channel->setRestartWatch(AtChannel::RestartWatch::Full);
    const QList<StoredRef> handedOver = catchUpStored();
    if (m_connection != connection || !m_channel)
        raise(ErrorCode::NotConnected, QStringLiteral("the connection was closed while the modem was set up again"));
    note(QStringLiteral("set up again after the restart"));
    setStatus(Connected, QStringLiteral("Ready"));
    // Deleting waits for the connected state it checks for; the items are handed over already.
    if (m_autoDelete)
        deleteRead(handedOver, connection);
}

void PellixGsmModem::setUp(const QString &pin, bool again)
{
    for (int attempt = 1;; ++attempt) {
        try {
            setUpOnce(pin, again);
            return;
        } catch (const RaisedError &error) {
            if (!isRestart(error) || attempt >= MaxRestartsInARow || !m_channel)
                throw;
            note(QStringLiteral("the modem restarted while it was set up (%1): starting over").arg(m_channel->restartEvidence()));
            m_channel->clearRestartEvidence();
        }
    }
}

void PellixGsmModem::setUpOnce(const QString &pin, bool again)
{
    // Whatever the modem held for an earlier boot is gone: acknowledgements owed, the selected
    // storage, the character set of the phonebook operations.
    m_inbound.forgetAcknowledgements();
    m_acknowledge = false;
    m_storages.restarted();
    m_text.reset();
    m_patience = Patience{};
    m_patience.inConnect = true;
    if (again)
        m_modemAnswered = true;
    // Boot lines around the wake-up are those of a modem just switched on: nothing is set yet.
    m_channel->setRestartWatch(AtChannel::RestartWatch::Off);
    // Whatever state the last program left the modem in, then echo, result codes and what the
    // modem offers: everything after depends on how the modem answers.
    wakeUp();
    // From here on settings are made, which a new boot would lose.
    m_channel->setRestartWatch(AtChannel::RestartWatch::BootStart);
    // A modem that answered a moment ago gets the full deadline for its settings line.
    if (again)
        m_wakeUpUnanswered = false;
    initialise();
    for (const QByteArray &init : m_profile->initCommands)
        command(init, localTimeout());
    for (const QByteArray &init : m_profile->optionalInitCommands)
        tryCommand(init, QByteArray(), localTimeout());
    // A SIM that lost its power asks for its PIN again: only the one given to Connect is tried.
    if (m_checkSim)
        checkSim(pin);
    if (!again) {
        m_manufacturer = identity("AT+CGMI", false);
        m_model = identity("AT+CGMM", false);
        m_revision = identity("AT+CGMR", true);
        m_imei = identity("AT+CGSN", true);
    }
    configureMessaging(m_receiveMode);
    m_patience.inConnect = false;
    m_patience.afterConnect = m_patience.settling;
}

QList<StoredRef> PellixGsmModem::catchUpStored()
{
    // With +CNMI 0 the new boot stored what arrived and announced nothing: in receive mode 2 the
    // unread items are handed over now, as they would have been had the modem announced them.
    QList<StoredRef> handedOver;
    if (m_receiveMode != 2)
        return handedOver;
    // A full SIM sends them to the phone memory, unannounced all the same.
    QList<QByteArray> storagesToRead;
    try {
        storagesToRead = messageStorages();
    } catch (const RaisedError &error) {
        note(QStringLiteral("could not learn the storages of the modem: %1").arg(error.description()));
        storagesToRead = {m_profile->messageStorage};
        if (m_profile->receiveStorage != m_profile->messageStorage)
            storagesToRead << m_profile->receiveStorage;
    }
    for (const QByteArray &storage : storagesToRead) {
        const qsizetype before = handedOver.size();
        try {
            selectStorage(storage, true);
            for (const StoredItem &item : listStored(1)) {
                const DecodedItem d = decodeItem(item.pdu, locationIn(storage, item.index), true);
                if (d.message)
                    m_inbound.queue(*d.message);
                else if (d.report)
                    m_inbound.queue(*d.report);
                else
                    continue;  // stays stored, for ReadMessages to show as it is
                handedOver << StoredRef{storage, item.index};
                // Indicated before the restart and not fetched yet: handed over once.
                m_inbound.forgetIndicated([&](const StoredRef &ref) {
                    return ref.index == item.index && (ref.storage == storage || (ref.storage.isEmpty() && storage == m_profile->messageStorage));
                });
            }
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not read what %1 stored during the restart: %2")
                     .arg(QString::fromLatin1(storage), error.description()));
        }
        if (handedOver.size() > before)
            note(QStringLiteral("%1 unread item(s) of %2 handed over after the restart").arg(handedOver.size() - before)
                     .arg(QString::fromLatin1(storage)));
    }
    return handedOver;
}

void PellixGsmModem::confirmPduMode()
{
    // Once per PDU: a restart that showed nothing (no boot line, the stored profile without echo)
    // still shows here.
    for (int attempt = 1;; ++attempt) {
        try {
            const AtResponse mode = exec(AtCommand::prefixed("AT+CMGF?", "+CMGF:", localTimeout()), false);
            const auto value = mode.ok() && !mode.lines.isEmpty()
                ? replies::number(replies::fields(mode.lines.first(), "+CMGF"), 0)
                : std::nullopt;
            if (value == 0)
                return;
            if (!value) {
                // A modem without the read form: setting PDU mode confirms it just as well.
                if (tryCommand("AT+CMGF=0", QByteArray(), localTimeout()).ok())
                    return;
                break;
            }
            if (attempt > 1)
                break;
            recover(QStringLiteral("it is in text mode (%1)").arg(QString::fromLatin1(mode.lines.first())));
        } catch (const RaisedError &error) {
            if (!isRestart(error) || attempt > 1 || !m_channel)
                throw;
            recover(m_channel->restartEvidence());
        }
    }
    raise(ErrorCode::UnexpectedAnswer, QStringLiteral("the modem did not confirm PDU mode (AT+CMGF?): the message was not sent"));
}

} // namespace pellix
