// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pdu/gsmalphabet.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "profiles/profiledescription.h"
#include "transport/bytetransport.h"
#include "transport/serialtransport.h"
#include "transport/tracelog.h"


namespace pellix {

using detail::num;

void detail::checkDialString(const QString &number)
{
    const QString why = PellixGsmModem::dialStringRefusal(number);
    if (!why.isEmpty())
        raise(ErrorCode::InvalidPhoneNumber, why);
}

QString PellixGsmModem::dialStringRefusal(const QString &number)
{
    if (number.isEmpty())
        return QStringLiteral("the number is empty");
    for (int i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*')
            || c == QLatin1Char('#') || (c == QLatin1Char('+') && i == 0);
        if (!ok)
            return QStringLiteral("\"%1\" holds '%2'").arg(number, c);
    }
    return QString();
}

QString PellixGsmModem::smscRefusal(const QString &number)
{
    // An SMS centre is an E.164 number (24.011 8.2.5.2: at most 20 digits in its ten octets);
    // a modem takes "+", "*" or 30 digits into the SIM, and every message after fails with 330.
    const QString digits = number.startsWith(QLatin1Char('+')) ? number.mid(1) : number;
    if (digits.isEmpty())
        return number.isEmpty() ? QStringLiteral("the number is empty") : QStringLiteral("\"+\" holds no digits");
    if (digits.size() > MaxSmscDigits)
        return QStringLiteral("\"%1\" has %2 digits; an SMS centre has at most %3").arg(number).arg(digits.size()).arg(MaxSmscDigits);
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QStringLiteral("\"%1\" holds '%2': an SMS centre is digits with an optional leading +").arg(number, c);
    }
    return QString();
}

QString PellixGsmModem::textRefusal(const QString &text, qint32 alphabet)
{
    if (alphabet != pdu::Gsm7)
        return QString();
    try {
        pdu::encodeGsm7(text);
    } catch (const RaisedError &error) {
        return error.description();
    }
    return QString();
}

int PellixGsmModem::gsm7Septets(const QString &text)
{
    return pdu::gsm7Length(text);
}

PellixGsmModem::PellixGsmModem(QObject *parent)
    : PellixGsmModem(TransportFactory(), parent)
{
}

PellixGsmModem::PellixGsmModem(TransportFactory factory, QObject *parent)
    : GsmModem(parent)
    , m_factory(std::move(factory))
    , m_tracePath(TraceLog::defaultPath())
{
    if (!m_factory) {
        // The driver knows the serial port only: the virtual modem of type -1 lies in a layer
        // above it (modemTransports), and without it type -1 has no transport.
        m_factory = [](qint32 modemType, const ModemProfile &profile, qint16 port,
                       qint32 baudRate) -> std::unique_ptr<ByteTransport> {
            if (modemType == -1)
                return nullptr;
            auto serial = std::make_unique<SerialTransport>();
            serial->open(port, baudRate, profile);
            return serial;
        };
    }
}

PellixGsmModem::~PellixGsmModem()
{
    // A program that ends, or drops its modem, with the connection open: the modem must not go
    // on routing messages to a port that nobody will read.
    if (m_status == Connected)
        leaveStoring(false);
    if (m_channel)
        m_channel->disconnect(this);
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
}

void PellixGsmModem::setTracePath(const QString &path)
{
    m_tracePath = path;
    m_trace.reset();
}

void PellixGsmModem::setTraceSink(std::function<void(const QByteArray &)> sink)
{
    m_traceSink = std::move(sink);
    if (m_trace)
        m_trace->setSink(m_traceSink);
}

void PellixGsmModem::note(const QString &text)
{
    if (m_trace)
        m_trace->note(text);
}

void PellixGsmModem::setStatus(qint32 status, const QString &text)
{
    m_statusText = text;
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT NewStatus(status);
}

void PellixGsmModem::requireConnected()
{
    if (m_status != Connected || !m_channel)
        raise(ErrorCode::NotConnected);
    recoverIfRestarted();
}

void PellixGsmModem::teardown()
{
    // What the modem said before the end was said: routed messages and reports are handed over,
    // and a ring rings once. Indicated items are not fetched; they stay stored.
    if (m_channel) {
        for (const Unsolicited &code : m_channel->takeUnsolicited())
            handle(code);
    }
    m_inbound.endConnection();
    m_acknowledge = false;
    m_cnmiSetting.clear();
    m_patience = Patience{};
    m_storages.endConnection();
    m_pin.clear();
    m_ussdOpen = false;
    m_ussdPartial.clear();
    ++m_connection;
    if (m_channel)
        m_channel->disconnect(this);
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
    // A transport may tell of its end from inside one of its own calls, with the channel's command
    // still on the stack: both go once control is back in the event loop.
    if (m_channel)
        m_channel.release()->deleteLater();
    if (m_transport)
        m_transport.release()->deleteLater();
    if (m_inbound.hasEvents())
        scheduleDelivery();
}

void PellixGsmModem::noticeLostLink()
{
    if (m_channel && (m_channel->linkLost() || !m_transport->isOpen()))
        onLinkLost(m_transport->errorText().isEmpty() ? QStringLiteral("no answer") : m_transport->errorText());
}

void PellixGsmModem::onLinkLost(const QString &reason)
{
    if (!m_transport)
        return;
    // Inside a command the channel has seen the failure as well and ends the command with it; the
    // connection is closed on the way out of the command, not under its feet.
    if (m_channel && m_channel->running())
        return;
    note(QStringLiteral("connection lost: %1").arg(reason));
    if (!callerHears())
        m_endReason = libraryError(ErrorCode::ConnectionLost, reason);
    teardown();
    setStatus(Disconnected, QStringLiteral("Disconnected"));
}

void PellixGsmModem::endConnection(const RaisedError &why)
{
    note(QStringLiteral("connection ended: %1").arg(why.description()));
    if (!callerHears())
        m_endReason = why;
    // The modem may be routing what arrives, as the restart or the attempt to set it up left it.
    leaveStoring(true);
    teardown();
    setStatus(Disconnected, QStringLiteral("Disconnected"));
}

AtResponse PellixGsmModem::exec(const AtCommand &cmd, bool raiseOnFinal)
{
    if (!m_channel)
        raise(ErrorCode::NotConnected);
    // The PIN goes to the modem and to nobody else: errors name the command with it masked.
    const QByteArray shown = TraceLog::masked(cmd.line);
    const qint64 timeoutsBefore = m_channel->statistics().timeouts;
    try {
        AtResponse answer = m_channel->run(cmd);
        // The answer came, but the device may have gone right after it.
        noticeLostLink();
        while (m_channel && waitIfBusy(cmd, answer)) {
            answer = m_channel->run(cmd);
            noticeLostLink();
        }
        if (raiseOnFinal && answer.final != FinalCode::Ok)
            AtChannel::raiseFor(answer, shown);
        return answer;
    } catch (const RaisedError &error) {
        // Where the driver gave up is what tells a late answer from a timely one when the trace
        // is replayed.
        if (m_channel && m_channel->statistics().timeouts > timeoutsBefore)
            note(QStringLiteral("timeout: %1").arg(QString::fromLatin1(shown)));
        noticeLostLink();
        if (shown == cmd.line)
            throw;
        throw RaisedError(error.number(), error.source(),
                          QString(error.description()).replace(QString::fromLatin1(cmd.line), QString::fromLatin1(shown)));
    }
}

void PellixGsmModem::checkAlive()
{
    Operation op(*this);
    requireConnected();
    const qint32 timedOut = libraryErrorNumber(quint16(ErrorCode::Timeout));
    for (;;) {
        try {
            // ERROR is an answer as good as OK: the modem is there.
            tryCommand("AT", QByteArray(), localTimeout());
            return;
        } catch (const RaisedError &error) {
            // A modem that sent other lines meanwhile is there (busy, on a slow line); each
            // silent timeout counts towards the channel's limit, after which it gives the link up.
            if (error.number() == timedOut && m_channel && m_channel->lastTimeoutHeard())
                return;
            if (error.number() == timedOut && m_status == Connected)
                continue;
            if (error.number() != libraryErrorNumber(quint16(ErrorCode::ConnectionLost)))
                throw;
            QString detail = error.description();
            const QString lost = errorCodeText(ErrorCode::ConnectionLost) + QStringLiteral(": ");
            if (detail.startsWith(lost))
                detail = detail.mid(lost.size());
            raise(ErrorCode::ConnectionLost, QStringLiteral("the modem stopped answering (%1)").arg(detail));
        }
    }
}

AtResponse PellixGsmModem::command(const QByteArray &line, int timeoutMs)
{
    return exec(AtCommand::plain(line, timeoutMs), true);
}

AtResponse PellixGsmModem::query(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    return exec(AtCommand::prefixed(line, prefix, timeoutMs), true);
}

AtResponse PellixGsmModem::tryCommand(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    return exec(prefix.isEmpty() ? AtCommand::plain(line, timeoutMs) : AtCommand::prefixed(line, prefix, timeoutMs),
                false);
}

int PellixGsmModem::localTimeout() const
{
    return m_profile ? m_profile->commandTimeoutMs : AtCommand::DefaultTimeoutMs;
}

int PellixGsmModem::listTimeout() const
{
    return m_profile ? m_profile->listTimeoutMs : 30000;
}

void PellixGsmModem::Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode, qint32 timeout,
                             qint32 baudRate)
{
    Operation op(*this);
    if (m_status != Disconnected)
        raise(ErrorCode::AlreadyConnected, QStringLiteral("disconnect first"));
    if (receiveMode != 0 && receiveMode != 2)
        raise(ErrorCode::InvalidArgument, QStringLiteral("receive mode %1 (0 or 2)").arg(receiveMode));
    if (baudRate < 0)
        raise(ErrorCode::InvalidArgument, QStringLiteral("serial speed %1").arg(baudRate));
    auto profile = std::make_unique<ModemProfile>(modemProfile(modemType));

    clearIdentity();
    m_endReason.reset();
    m_networkTimeoutMs = (timeout > 0 ? qMin(timeout, 600) : 60) * 1000;
    m_receiveMode = receiveMode;
    m_port = port;
    m_cnmiSupport = TestRanges();
    m_csmsOffered = false;
    m_modemAnswered = false;
    m_wakeUpUnanswered = false;
    if (!m_trace && (!m_tracePath.isEmpty() || m_traceSink)) {
        m_trace = std::make_unique<TraceLog>(m_tracePath);
        m_trace->setSink(m_traceSink);
        m_trace->setVersionLine(true);
        m_trace->setFailureHandler([this](const QString &why) { Q_EMIT TraceFailed(why); });
    }

    setStatus(Connecting, QStringLiteral("Connecting"));
    // A NewStatus handler may have closed the connection again before it was opened.
    if (m_status != Connecting)
        raise(ErrorCode::NotConnected, QStringLiteral("the connection was closed while it was being opened"));
    try {
        // Everything a replay of this trace needs to drive the modem as this connection did
        // (composed only when there is a trace: Connect is on the console's fast path).
        if (m_trace) {
            const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
            note(QStringLiteral("connect: modem type %1 (%2), port COM%3, baud %4, receive mode %5, timeout %6 s, "
                                "check SIM %7, caller id %8, PIN %9")
                     .arg(modemType).arg(profile->name).arg(port).arg(baudRate).arg(receiveMode).arg(timeout)
                     .arg(onOff(m_checkSim), onOff(m_callerId), pin.isEmpty() ? QStringLiteral("none") : QStringLiteral("****")));
            note(QStringLiteral("profile: %1").arg(profileDescription(*profile)));
        }
        m_transport = m_factory(modemType, *profile, port, baudRate);
        if (!m_transport)
            raise(ErrorCode::PortCannotOpen, QStringLiteral("no transport for modem type %1").arg(modemType));
        if (const auto *serial = dynamic_cast<const SerialTransport *>(m_transport.get()))
            note(QStringLiteral("device: %1 at %2 baud").arg(serial->displayName()).arg(serial->baudRate()));
        m_profile = std::move(profile);
        m_channel = std::make_unique<AtChannel>(*m_transport);
        if (m_maxConsecutiveTimeouts > 0)
            m_channel->setMaxConsecutiveTimeouts(m_maxConsecutiveTimeouts);
        m_channel->setTrace([this](TraceDirection direction, const QByteArray &line) {
            if (!m_trace)
                return;
            // An echo or a reply that came after its deadline must not read as an answer.
            if (direction == TraceDirection::Discarded)
                m_trace->discarded(line);
            else
                m_trace->line(direction == TraceDirection::Sent, line);
        });
        connect(m_transport.get(), &ByteTransport::failed, this, &PellixGsmModem::onLinkLost);
        connect(m_channel.get(), &AtChannel::unsolicitedArrived, this, &PellixGsmModem::scheduleDelivery);

        setUp(pin, false);
        // The operator gave it for this connection: a SIM that asks again after a restart of the
        // modem gets it once more, and no other.
        m_pin = pin;
    } catch (...) {
        note(QStringLiteral("connect failed"));
        // The identity belongs to a modem that is ready; a failed attempt leaves none behind.
        clearIdentity();
        m_patience.inConnect = false;
        // The modem may still route messages, as this attempt or an earlier program set it.
        if (m_modemAnswered)
            leaveStoring(true);
        teardown();
        setStatus(Disconnected, QStringLiteral("Disconnected"));
        throw;
    }
    m_patience.inConnect = false;
    m_patience.afterConnect = m_patience.settling;
    // From now on the modem's boot lines are news: it restarted.
    m_channel->setRestartWatch(AtChannel::RestartWatch::Full);
    note(QStringLiteral("ready: %1 %2 %3").arg(m_manufacturer, m_model, m_revision));
    setStatus(Connected, QStringLiteral("Ready"));
}

void PellixGsmModem::Disconnect()
{
    Operation op(*this);
    m_endReason.reset();
    if (m_transport) {
        note(QStringLiteral("disconnect"));
        leaveStoring(false);
    }
    teardown();
    setStatus(Disconnected, QStringLiteral("Disconnected"));
}

} // namespace pellix
