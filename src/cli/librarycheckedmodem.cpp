// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarycheckedmodem.h"

#include "modem/pellixgsmmodem.h"
#include "modem/rawatanswer.h"
#include "pellixerror.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

namespace cli {

LibraryCheckedModem::LibraryCheckedModem(const CheckTarget &target, std::unique_ptr<pellix::PellixGsmModem> modem)
    : m_target(target)
    , m_modem(std::move(modem))
{
    m_modem->setTracePath(m_target.tracePath);
    // A SIM that wants a PIN fails Connect with its clear reason, and only a PIN that was given
    // is ever tried.
    m_modem->setConnectOptionA(true);
    m_modem->setForcePin(m_target.forcePin);
    QObject::connect(m_modem.get(), &GsmModem::NewStatus, m_modem.get(), [this](qint32 status) {
        if (status == GsmModem::Disconnected && m_open && !m_closing)
            m_lost = true;
    });
}

LibraryCheckedModem::~LibraryCheckedModem()
{
    close();
}

void LibraryCheckedModem::connect()
{
    // Automatic reception: the loopback's report and message come as events, and nothing is left
    // behind on the SIM by the check.
    m_modem->Connect(m_target.request.modemType, m_target.port, m_target.pin, 2, m_target.timeoutSeconds,
                     m_target.request.baudRate);
    m_open = true;
}

QString LibraryCheckedModem::identity()
{
    QStringList parts;
    for (const QString &part : {m_modem->Manufacturer(), m_modem->Model()}) {
        if (!part.isEmpty())
            parts << part;
    }
    if (!m_modem->Revision().isEmpty())
        parts << QStringLiteral("revision %1").arg(m_modem->Revision());
    if (!m_modem->IMEI().isEmpty())
        parts << QStringLiteral("IMEI %1").arg(m_modem->IMEI());
    return parts.join(QLatin1Char(' '));
}

pellix::SimFacts LibraryCheckedModem::readSim() { return m_modem->readSim(); }
pellix::NetworkFacts LibraryCheckedModem::readNetwork() { return m_modem->readNetwork(); }
pellix::SmscFacts LibraryCheckedModem::readSmsc() { return m_modem->readSmsc(); }
QList<pellix::StorageUse> LibraryCheckedModem::readStorage() { return m_modem->readStorage(); }
int LibraryCheckedModem::phonebookSize() { return m_modem->PhonebookCount(); }

int LibraryCheckedModem::rssi()
{
    qint16 rssi = 99;
    qint16 ber = 99;
    m_modem->GetSignalQuality(rssi, ber);
    return rssi;
}

LoopbackResult LibraryCheckedModem::loopback(const QString &number, int withinMs)
{
    LoopbackResult result;
    // A text of its own, so that another message arriving meanwhile is not taken for it.
    const QString text = QStringLiteral("pellix check %1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    QEventLoop loop;
    const auto finished = [&] { return (result.report && result.arrived) || m_lost; };
    const QMetaObject::Connection reports = QObject::connect(
        m_modem.get(), &GsmModem::StatusReport, &loop, [&](const SmsStatusReport &report) {
            if (!result.report && result.reference >= 0 && report.Reference == result.reference)
                result.report = report;
            if (finished())
                loop.quit();
        });
    const QMetaObject::Connection messages = QObject::connect(
        m_modem.get(), &GsmModem::MessageReceived, &loop, [&](const ReceivedMessage &message) {
            if (message.Text == text)
                result.arrived = true;
            if (finished())
                loop.quit();
        });
    SmsMessage message;
    message.Recipient.Number = number;
    message.Text = text;
    message.RequestStatusReport = true;
    QElapsedTimer clock;
    clock.start();
    try {
        result.reference = m_modem->SendMessage(message);
    } catch (const RaisedError &) {
        if (m_loopbackSent)
            m_loopbackSent(text, false);
        throw;
    }
    if (m_loopbackSent)
        m_loopbackSent(text, true);
    // Events found while the send ran are delivered from the event loop: the wait starts there.
    if (!finished()) {
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(m_modem.get(), &GsmModem::NewStatus, &loop, [&] {
            if (m_lost)
                loop.quit();
        });
        deadline.start(qMax(0, withinMs - int(clock.elapsed())));
        loop.exec();
    }
    QObject::disconnect(reports);
    QObject::disconnect(messages);
    result.seconds = double(clock.elapsed()) / 1000;
    if (m_lost)
        pellix::raise(pellix::ErrorCode::ConnectionLost, QStringLiteral("the link dropped while waiting for the loopback"));
    // Nothing said in time can be the network's or a modem that froze meanwhile (the port stays
    // open): a plain AT tells them apart, so that the remedy is not the network's for a dead modem.
    if (!finished()) {
        try {
            m_modem->rawCommand("AT");
        } catch (const RaisedError &error) {
            if (error.number() == pellix::libraryErrorNumber(quint16(pellix::ErrorCode::Timeout)))
                pellix::raise(pellix::ErrorCode::Timeout,
                              QStringLiteral("the modem stopped answering while the loopback waited (AT)"));
            throw;
        }
    }
    return result;
}

pellix::UssdAnswer LibraryCheckedModem::ussd(const QString &code, int timeoutMs)
{
    pellix::UssdAnswer answer = m_modem->sendUssd(code, timeoutMs);
    // A menu is left closed: the next program on this modem starts without a session open.
    if (answer.status == pellix::UssdStatus::MoreExpected) {
        try {
            m_modem->cancelUssd();
        } catch (const RaisedError &) {
            // The answer came; a network that closed the menu itself changes nothing.
        }
    }
    return answer;
}

void LibraryCheckedModem::close()
{
    if (!m_open)
        return;
    m_closing = true;
    m_open = false;
    try {
        if (m_modem->Status() != GsmModem::Disconnected)
            m_modem->Disconnect();
    } catch (const RaisedError &) {
        // Leaving anyway; the verdicts are said.
    }
}

} // namespace cli
