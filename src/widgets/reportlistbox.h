// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reportlines.h"

#include <QListView>

// A single-column list box of report lines: appended at the end, the newest one selected.
//
// It holds at most MaxLines lines, the 16-bit line count of the list box the console was designed
// around; beyond that the oldest lines are dropped, so the newest stays visible and selected.
//
// Appending must stay linear over tens of thousands of lines: a plain item view re-lays out every
// row and computes the rectangles of the old and new current row on each change, which makes
// each append cost as much as the list is long. Here a change of the current row only marks the
// viewport dirty, and the exact scroll to the current row is made once per pass of the event loop,
// after the single relayout the inserted rows need anyway. A blocking library call repaints the
// window with no pass of the event loop, though, so each append also scrolls the newest line into
// view at once, from the uniform row height rather than through a relayout. Past the cap, lines
// are dropped DropBlock at a time, so that a full log does not pay for a removal on every line.
class ReportListBox : public QListView
{
    Q_OBJECT

public:
    static constexpr int MaxLines = 32767;
    static constexpr int DropBlock = 16;

    explicit ReportListBox(QWidget *parent = nullptr);

    void addItem(const QString &line);
    void clear();
    int count() const { return m_lines->count(); }
    QString item(int row) const { return m_lines->line(row); }
    // The selected (current) row, -1 when none.
    int listIndex() const;
    // Makes row current and selects it alone; -1 clears the selection.
    void setListIndex(int row);

    ReportLines *lines() const { return m_lines; }

protected:
    void changeEvent(QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    // Repaints the list and scrolls to the current row once, on the next pass of the event loop.
    void refreshLater();
    // Sets the vertical scroll bar so that the last row shows at the bottom of the viewport.
    void scrollToNewest();
    int rowHeight();

    ReportLines *m_lines;
    bool m_refreshPending = false;
    // Every row is one line of the same font; 0 until measured, and after a font or style change.
    int m_rowHeight = 0;
};
