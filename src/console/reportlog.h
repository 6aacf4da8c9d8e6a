// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTime>

#include <functional>

class ModUtils;
class RaisedError;
class frmVendrel;

// The report log of the main window: one time-stamped line per event in lstReport, the error
// report (a log line and a message box), and the clear button.
class ReportLog : public QObject
{
    Q_OBJECT

public:
    ReportLog(frmVendrel &view, ModUtils &modUtils, QObject *parent = nullptr);

    // Appends "hh:nn:ss" + two blanks + text as one line and selects it. Line breaks become
    // blanks: each CR LF pair, then each remaining LF; a lone CR stays.
    void AddReport(const QString &text);
    // The "Error #" line and the exclamation box for a failure the caller caught. Catches
    // nothing itself; the error is only read.
    void ReportError(const RaisedError &error);
    // The same "Error #" line alone, for a failure nobody waits for (the connection ending by
    // itself while the console is idle): a box would interrupt whatever the operator does.
    void ReportErrorLine(const RaisedError &error);
    // Numbers 0x80040000..0x8004FFFF, the library's own range.
    static bool IsLibraryError(qint32 number);
    // The code the operator sees: the library's own code, or any other number as it is.
    static qint32 errorCode(qint32 number);

    void cmdClear_Click();

    // The clock of the time stamps; the local time of day unless a test sets another.
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }

private:
    frmVendrel &m_view;
    ModUtils &m_modUtils;
    std::function<QTime()> m_clock;
    // The stamp of the last line, "hh:nn:ss" and the two blanks, reused within its second.
    QTime m_stampTime;
    QString m_stamp;
};
