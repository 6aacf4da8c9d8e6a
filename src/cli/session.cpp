// SPDX-License-Identifier: GPL-3.0-or-later
#include "session.h"

#include "commandline.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "raisederror.h"
#include "transport/comports.h"
#include "usageerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace cli {
namespace {

// A step of waiting: events are delivered as they come, and a condition or deadline is looked
// at least this often.
constexpr int WaitStepMs = 100;

qint16 portNumber(const QString &text)
{
    QString digits = text;
    if (digits.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        digits = digits.mid(3);
    return qint16(CommandLine::integerWord(digits, 1, pellix::comports::LastOverride, QStringLiteral("--port")));
}

} // namespace

Session::Session(Environment &environment, const CommandLine &line, Output &output)
    : m_environment(environment)
    , m_output(output)
{
    try {
        readOptions(line);
    } catch (const UsageError &error) {
        m_invalidOptions = error;
    }
}

void Session::requireValidOptions() const
{
    if (m_invalidOptions)
        throw *m_invalidOptions;
}

int Session::networkTimeoutSeconds() const
{
    requireValidOptions();
    return m_timeoutSeconds;
}

bool Session::timeoutGiven() const
{
    requireValidOptions();
    return m_timeoutGiven;
}

void Session::readOptions(const CommandLine &line)
{
    line.requireSingleModem();
    if (line.has(QStringLiteral("port")) && line.has(QStringLiteral("device")))
        throw UsageError(QStringLiteral("give --port or --device, not both"));
    if (line.has(QStringLiteral("port")))
        m_port = portNumber(line.value(QStringLiteral("port")));
    m_request.devicePath = line.value(QStringLiteral("device"));
    if (line.has(QStringLiteral("device")) && m_request.devicePath.isEmpty())
        throw UsageError(QStringLiteral("--device needs a device path"));
    const bool portGiven = m_port != 0 || !m_request.devicePath.isEmpty();
    if (!line.has(QStringLiteral("type")) && !portGiven)
        throw UsageError(QStringLiteral("give the modem with --port COMn or --device PATH, or --type -1 for the virtual modem"));
    m_request.modemType = line.integer(QStringLiteral("type"), -1, 32767, ModemRequest::StandardModemType);
    if (m_request.modemType == ModemRequest::VirtualModemType && portGiven)
        throw UsageError(QStringLiteral("the virtual modem (--type -1) takes no --port or --device"));
    if (m_request.modemType != ModemRequest::VirtualModemType && !portGiven)
        throw UsageError(QStringLiteral("--type %1 needs --port COMn or --device PATH").arg(m_request.modemType));
    const CommandLine::Connection connection = line.connection();
    m_request.baudRate = connection.baudRate;
    m_timeoutSeconds = connection.timeoutSeconds;
    m_timeoutGiven = connection.timeoutGiven;
    m_pin = connection.pin;
    m_forcePin = connection.forcePin;
    m_trace = line.has(QStringLiteral("trace"));
}

Session::~Session()
{
    try {
        close();
    } catch (const RaisedError &) {
        // Leaving anyway; the command's own result or error has been said.
    }
}

pellix::PellixGsmModem &Session::connect(qint32 receiveMode, bool callerId)
{
    requireValidOptions();
    m_modem = m_environment.makeModem(m_request);
    if (m_trace)
        m_modem->setTraceSink([this](const QByteArray &record) { m_output.raw(record); });
    // A support request must not go out without its trace and nobody knowing why.
    QObject::connect(m_modem.get(), &GsmModem::TraceFailed, m_modem.get(),
                     [this](const QString &why) { m_output.warning(why); });
    // The SIM is always checked: a SIM that wants a PIN fails Connect with the library's clear
    // error instead of failing some later command. Nothing ever prompts for the PIN.
    m_modem->setConnectOptionA(true);
    m_modem->setForcePin(m_forcePin);
    m_modem->setConnectOptionB(callerId);
    QObject::connect(m_modem.get(), &GsmModem::NewStatus, m_modem.get(), [this](qint32 status) {
        if (status == GsmModem::Disconnected && m_open && !m_closing)
            m_lost = true;
    });
    m_modem->Connect(m_request.modemType, m_port, m_pin, receiveMode, m_timeoutSeconds, m_request.baudRate);
    m_open = true;
    return *m_modem;
}

bool Session::connected() const
{
    return m_modem && m_modem->Status() == GsmModem::Connected;
}

void Session::close()
{
    if (!m_modem || !m_open)
        return;
    m_closing = true;
    m_open = false;
    if (m_modem->Status() != GsmModem::Disconnected)
        m_modem->Disconnect();
    // What the modem had routed to the port before the end is handed over from the event loop:
    // it reaches the command's handlers, never the floor.
    QCoreApplication::processEvents();
}

bool Session::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    qint64 waited = 0;
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    // A timer keeps the event loop turning, so that conditions set by a signal handler (SIGINT)
    // or by nothing at all (the deadline) are seen.
    QTimer tick;
    tick.start(WaitStepMs);
    while (!done()) {
        if (m_environment.passTime) {
            if (timeoutMs >= 0 && waited >= timeoutMs)
                return false;
            m_environment.passTime(WaitStepMs);
            waited += WaitStepMs;
            QCoreApplication::processEvents();
        } else {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    // A dropped link hands over what the modem had said before it: delivered before the caller
    // reports the loss.
    QCoreApplication::processEvents();
    return true;
}

} // namespace cli
