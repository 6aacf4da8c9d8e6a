// SPDX-License-Identifier: GPL-3.0-or-later
// AddReport into the visible main window: 32,767 lines (the list's capacity; target 0.3 s in
// total, each call selecting the newest line) and twice as many, which runs into the cap and
// drops the oldest line on every call (target: no more than 2.2 times the first figure). The
// time includes the event-loop pass that lays out the list and scrolls to the newest line.
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "reportlistbox.h"
#include "reportlog.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double fill(ReportLog &log, frmVendrel &view, int lines)
{
    log.cmdClear_Click();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i)
        log.AddReport(QStringLiteral("Message sent (ref. %1) to +393481111111:  Hi, this is a test message").arg(i));
    QCoreApplication::processEvents();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const ReportListBox &list = *view.lstReport;
    // Past the cap the oldest lines go a block at a time, so a full list holds a block's worth less
    // at most.
    const int expectedMost = std::min(lines, int(ReportListBox::MaxLines));
    const int expectedLeast = lines > ReportListBox::MaxLines ? expectedMost - ReportListBox::DropBlock : expectedMost;
    if (list.listIndex() != list.count() - 1 || list.count() > expectedMost || list.count() < expectedLeast)
        std::fprintf(stderr, "unexpected list state: %d lines, line %d selected\n", list.count(), list.listIndex());
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    FakeDialogs dialogs;
    FakeDesktop desktop;
    ModUtils utils(dialogs, desktop);
    frmVendrel view;
    ReportLog log(view, utils);
    view.show();
    QCoreApplication::processEvents();

    constexpr int Full = ReportListBox::MaxLines;
    std::vector<double> single;
    std::vector<double> twice;
    for (int round = 0; round < 5; ++round) {
        single.push_back(fill(log, view, Full));
        twice.push_back(fill(log, view, 2 * Full));
    }
    const double a = median(single);
    const double b = median(twice);
    std::printf("AddReport x %d (visible window, each selecting the newest line): %.3f s (target 0.3 s)\n", Full, a);
    std::printf("AddReport x %d (past the cap, oldest dropped): %.3f s = %.2fx (target <= 2.2x)\n", 2 * Full, b, b / a);
    return 0;
}
