// SPDX-License-Identifier: GPL-3.0-or-later
#include "inboxcontroller.h"

#include "busypointer.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "modutils.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "reportlog.h"

#include <QLocale>
#include <QPushButton>

namespace {

QString locationPrefix(qint16 simLocation)
{
    if (simLocation < 0)
        return QString();
    return QLatin1String("[SIM loc.") + QString::number(simLocation) + QLatin1String("] ");
}

// The first character of a locale format that is neither a field letter nor a blank: the
// separator the locale writes between the fields ("/" in d/M/yy, "." in dd.MM.yy).
QChar separatorOf(const QString &format, QChar fallback)
{
    for (const QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
            return c;
    }
    return fallback;
}

} // namespace

InboxController::InboxController(frmVendrel &view, ModemReference modem, Dialogs &dialogs, ReportLog &log,
                                 QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_modem(std::move(modem))
    , m_dialogs(dialogs)
    , m_log(log)
{
    connect(m_view.cmdReceive, &QPushButton::clicked, this, &InboxController::cmdReceive_Click);
    connect(m_view.cmdReadStatusReports, &QPushButton::clicked, this, &InboxController::cmdReadStatusReports_Click);
    connect(m_view.cmdDeleteSim, &QPushButton::clicked, this, &InboxController::cmdDeleteSim_Click);
}

void InboxController::cmdReceive_Click()
{
    try {
        BusyPointer busy;
        GsmModem &modem = *m_modem;
        const bool deleteAfterReading = modem.AutoDelete();
        const QList<ReceivedMessage> messages = modem.ReadMessages(0, deleteAfterReading);
        if (messages.isEmpty())
            m_log.AddReport(QStringLiteral("No messages received"));
        for (const ReceivedMessage &message : messages)
            ReportMessageReceived(message);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void InboxController::cmdReadStatusReports_Click()
{
    try {
        BusyPointer busy;
        GsmModem &modem = *m_modem;
        const bool deleteAfterReading = modem.AutoDelete();
        const QList<SmsStatusReport> reports = modem.ReadStatusReports(0, deleteAfterReading);
        if (reports.isEmpty())
            m_log.AddReport(QStringLiteral("No status reports received"));
        for (const SmsStatusReport &report : reports)
            ReportStatusReport(report);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void InboxController::cmdDeleteSim_Click()
{
    try {
        const QString answer = m_dialogs.inputBox(QString::fromLatin1(DeletePrompt),
                                                  QString::fromLatin1(ModUtils::ApplicationTitle), QStringLiteral("-1"));
        // A cancelled box answers "", which reads as 0 and deletes nothing. An answer beyond 16
        // bits fails here, before the pointer changes.
        const qint16 location = NumericAnswer::readInteger16(answer);
        BusyPointer busy;
        if (location == -1)
            m_modem->DeleteAllMessages();
        else if (location > 0)
            m_modem->DeleteMessage(location);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void InboxController::Modem_MessageReceived(const ReceivedMessage &Message)
{
    // An event has no caller to hand a failure to: it is reported like a button's, and the
    // window goes on.
    try {
        ReportMessageReceived(Message);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void InboxController::Modem_StatusReport(const SmsStatusReport &statusRpt)
{
    try {
        ReportStatusReport(statusRpt);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void InboxController::ReportMessageReceived(const ReceivedMessage &message)
{
    QString line = locationPrefix(message.SimLocation);
    if (message.IsNew)
        line += QLatin1String("NEW ");
    line += QLatin1String("Message received from ") + message.Originator.Number + QLatin1String(" at ")
        + formatTimestamp(message.Timestamp) + QLatin1String(":  ");
    line += message.Alphabet == AlphabetBinary ? ModUtils::FormatHex(message.UserData) : ModUtils::FormatHex(message.Udh) + message.Text;
    m_log.AddReport(line);
}

void InboxController::ReportStatusReport(const SmsStatusReport &report)
{
    m_log.AddReport(locationPrefix(report.SimLocation) + QLatin1String("Status report (") + QString::number(report.Reference)
                    + QLatin1String(") for ") + report.Recipient.Number + QLatin1String(":  ") + report.StatusText);
}

QString InboxController::formatTimestamp(const QDateTime &timestamp)
{
    const QLocale locale;
    const QChar date = separatorOf(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
    const QChar time = separatorOf(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    // Quoted, so that a separator Qt would read as a field or quote character stays literal.
    const auto literal = [](QChar c) { return c == QLatin1Char('\'') ? QStringLiteral("''") : QLatin1Char('\'') + QString(c) + QLatin1Char('\''); };
    const QString format = QLatin1String("dd") + literal(date) + QLatin1String("MM") + literal(date) + QLatin1String("yyyy HH")
        + literal(time) + QLatin1String("mm") + literal(time) + QLatin1String("ss");
    // The stamp is shown in the zone it carries (the service centre's), not converted.
    return timestamp.toString(format);
}
