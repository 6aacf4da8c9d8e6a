// SPDX-License-Identifier: GPL-3.0-or-later
#include "connectioncontroller.h"

#include "busypointer.h"
#include "desktop.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "modemportcontroller.h"
#include "modutils.h"
#include "raisederror.h"
#include "reportlog.h"
#include "signalmonitor.h"
#include "vendrelsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

const QString ConnectCaption = QStringLiteral("&Connect");

// Leading and trailing blanks off; other white space stays, as in the modem's own answer.
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// The identity as the modem gives it after a failure: it may be empty, and a read that fails
// too must not hide the error being reported.
QString readAfterFailure(const std::function<QString()> &read)
{
    try {
        return read();
    } catch (const RaisedError &) {
        return QString();
    }
}

} // namespace

ConnectionController::ConnectionController(frmVendrel &view, GsmModem &modem, ReportLog &log, Desktop &desktop,
                                           VendrelSettings &settings, SignalMonitor &signalMonitor,
                                           UncaughtError uncaught)
    : QObject(nullptr)
    , m_view(view)
    , m_modem(modem)
    , m_log(log)
    , m_desktop(desktop)
    , m_settings(settings)
    , m_signalMonitor(signalMonitor)
    , m_uncaught(std::move(uncaught))
{
    connect(m_view.cmdConnect, &QPushButton::clicked, this, &ConnectionController::cmdConnect_Click);
    connect(m_view.chkAutoReceive, &QCheckBox::toggled, this, &ConnectionController::chkAutoReceive_Click);
    connect(m_view.chkAutoDelete, &QCheckBox::toggled, this, &ConnectionController::chkAutoDelete_Click);
    connect(&m_modem, &GsmModem::NewStatus, this, &ConnectionController::Modem_NewStatus);
}

void ConnectionController::cmdConnect_Click()
{
    // "&Connecting..." and "Dis&connect" both close: only the idle caption opens.
    if (m_view.cmdConnect->text() == ConnectCaption)
        Modem_Connect();
    else
        Modem_Disconnect();
}

void ConnectionController::connectOrRaise()
{
    const int typeIndex = m_view.cmbModemType->currentIndex();
    if (typeIndex < 0)
        throw RaisedError(381, QString::fromLatin1(ModUtils::ErrorSource),
                          QStringLiteral("Invalid property array index: no modem type is selected"));
    const qint32 modemType = m_view.cmbModemType->itemData(typeIndex).toInt();
    // Raises the overflow error for a number beyond 16 bits, before anything reaches the modem.
    const qint16 port = ModemPortController::portNumber(m_view.cmbModemPort->currentText());
    const qint32 receiveMode = m_view.chkAutoReceive->isChecked() ? 2 : 0;

    m_modem.setConnectOptionA(true);
    m_modem.setAutoDelete(m_view.chkAutoDelete->isChecked());
    m_modem.setConnectOptionB(true);
    // NewStatus arrives (and is painted) while this blocks.
    m_modem.Connect(modemType, port, QString(), receiveMode, ConnectTimeoutSeconds, ConnectBaudRate);
}

void ConnectionController::Modem_Connect()
{
    BusyPointer busy;
    try {
        connectOrRaise();
    } catch (const RaisedError &error) {
        busy.release();
        const QString manufacturer = readAfterFailure([this] { return m_modem.Manufacturer(); });
        const QString model = readAfterFailure([this] { return m_modem.Model(); });
        m_log.AddReport(QStringLiteral("Error connecting to modem ") + manufacturer + QLatin1Char(' ') + model);
        m_log.ReportError(error);
        return;
    }
    busy.release();
    // Starts or stops the signal check from its box; when on, the first reading is taken now.
    m_signalMonitor.chkGSMSignal_Click();
}

void ConnectionController::Modem_Disconnect()
{
    BusyPointer busy;
    m_view.cmdConnect->setText(QStringLiteral("Dis&connecting..."));
    // Shown while Disconnect blocks, until its first NewStatus repaints the window.
    m_view.cmdConnect->repaint();
    try {
        m_modem.Disconnect();
    } catch (const RaisedError &) {
        // Closing goes on whatever the modem says.
    }
    m_view.cmdConnect->setText(ConnectCaption);
}

void ConnectionController::Modem_Reset()
{
    Modem_Disconnect();
    {
        BusyPointer busy;
        m_desktop.sleepMs(ResetPauseMs);
    }
    // Modem_Connect sets the busy pointer itself and restores it before its report box.
    Modem_Connect();
}

void ConnectionController::Modem_NewStatus(qint32 Status)
{
    Q_UNUSED(Status) // the display reads the modem's state as it is now
    // Raised inside the library's own call (Connect, Disconnect): an error here must not unwind
    // through it.
    try {
        ShowModemStatus();
        // A connection that ended by itself says why, as an error line; a Disconnect, or an end
        // that the failing call reports, has none.
        if (m_modem.Status() == GsmModem::Disconnected) {
            if (const std::optional<RaisedError> reason = m_modem.ConnectionEndReason())
                m_log.ReportErrorLine(*reason);
        }
    } catch (const RaisedError &error) {
        if (m_uncaught)
            m_uncaught(error);
    }
}

QString ConnectionController::modemName() const
{
    return trimBlanks(ModUtils::ProperCaseIfLower(m_modem.Manufacturer()) + QLatin1Char(' ') + m_modem.Model());
}

void ConnectionController::ShowModemStatus()
{
    QString status = m_modem.StatusText().toUpper();
    switch (m_modem.Status()) {
    case GsmModem::Disconnected:
        m_view.cmdConnect->setText(ConnectCaption);
        status = QStringLiteral("Disconnected");
        break;
    case GsmModem::Connecting:
        m_view.cmdConnect->setText(QStringLiteral("&Connecting..."));
        status += QStringLiteral("...");
        break;
    case GsmModem::Connected:
        m_view.cmdConnect->setText(QStringLiteral("Dis&connect"));
        status += QStringLiteral(" (") + modemName() + QLatin1Char(')');
        break;
    default:
        break;
    }
    QString logged = status;
    logged.replace(QLatin1Char(')'), QStringLiteral(" - rev. ") + m_modem.Revision() + QLatin1Char(')'));

    m_view.lblModemStatus->setText(QStringLiteral("Modem status: ") + status);
    m_log.AddReport(QStringLiteral("Modem status=") + logged);
    // The state must show while Connect still blocks the event loop.
    m_view.repaint();
}

void ConnectionController::chkAutoReceive_Click()
{
    m_settings.AutoReceive = m_view.chkAutoReceive->isChecked() ? -1 : 0;
    try {
        // The receive mode is a Connect argument: an open or opening connection is made again.
        if (m_modem.Status() != GsmModem::Disconnected)
            Modem_Reset();
    } catch (const RaisedError &error) {
        if (m_uncaught)
            m_uncaught(error);
    }
}

void ConnectionController::chkAutoDelete_Click()
{
    m_settings.AutoDelete = m_view.chkAutoDelete->isChecked() ? -1 : 0;
    try {
        m_modem.setAutoDelete(m_settings.AutoDelete != 0);
    } catch (const RaisedError &error) {
        if (m_uncaught)
            m_uncaught(error);
    }
}
