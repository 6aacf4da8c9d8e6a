// SPDX-License-Identifier: GPL-3.0-or-later
#include "reportlog.h"

#include "dialogs.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "raisederror.h"
#include "reportlistbox.h"

#include <QDateTime>
#include <QPushButton>

namespace {

// The local time of day, to the second. Asking for local time makes the C library look at the
// time-zone file each time; a busy log asks many times a second, so the answer is kept for the
// rest of the second it was read in (a change of time zone shows from the next second on).
QTime localTimeOfDay()
{
    static qint64 readInSecond = -1;
    static QTime timeOfDay;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != readInSecond) {
        readInSecond = now;
        timeOfDay = QTime::currentTime();
    }
    return timeOfDay;
}

} // namespace

ReportLog::ReportLog(frmVendrel &view, ModUtils &modUtils, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_modUtils(modUtils)
    , m_clock(localTimeOfDay)
{
    connect(m_view.cmdClear, &QPushButton::clicked, this, &ReportLog::cmdClear_Click);
}

void ReportLog::AddReport(const QString &text)
{
    const QTime now = m_clock();
    if (now.second() != m_stampTime.second() || now.minute() != m_stampTime.minute() || now.hour() != m_stampTime.hour()
        || m_stamp.isEmpty()) {
        m_stampTime = now;
        m_stamp = now.toString(QStringLiteral("hh:mm:ss")) + QLatin1String("  ");
    }
    QString line = m_stamp + text;
    if (line.contains(QLatin1Char('\n'))) {
        line.replace(QLatin1String("\r\n"), QLatin1String(" "));
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    ReportListBox &list = *m_view.lstReport;
    list.addItem(line);
    list.setListIndex(list.count() - 1);
}

bool ReportLog::IsLibraryError(qint32 number)
{
    const auto bits = quint32(number);
    return bits >= RaisedError::LibraryBase && bits <= RaisedError::LibraryLast;
}

qint32 ReportLog::errorCode(qint32 number)
{
    return IsLibraryError(number) ? qint32(quint32(number) - RaisedError::LibraryBase) : number;
}

namespace {

QString errorHeading(const RaisedError &error)
{
    return QLatin1String("Error #") + QString::number(ReportLog::errorCode(error.number())) + QLatin1String(" from ")
        + error.source();
}

} // namespace

void ReportLog::ReportError(const RaisedError &error)
{
    const QString heading = errorHeading(error);
    AddReport(heading + QLatin1String(": ") + error.description());
    m_modUtils.ShowMessageBox(error.description(), Dialogs::Exclamation, heading);
}

void ReportLog::ReportErrorLine(const RaisedError &error)
{
    AddReport(errorHeading(error) + QLatin1String(": ") + error.description());
}

void ReportLog::cmdClear_Click()
{
    m_view.lstReport->clear();
}
