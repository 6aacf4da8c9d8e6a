// SPDX-License-Identifier: GPL-3.0-or-later
#include "reportlistbox.h"

#include <QAccessible>
#include <QEvent>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTimer>

ReportListBox::ReportListBox(QWidget *parent)
    : QListView(parent)
    , m_lines(new ReportLines(this))
{
    setModel(m_lines);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    // A list box clips long lines; with uniform item sizes a horizontal range would only follow
    // the first line anyway.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ReportListBox::addItem(const QString &line)
{
    if (m_lines->count() >= MaxLines)
        m_lines->removeOldest(m_lines->count() - MaxLines + DropBlock);
    m_lines->append(QStringList{line});
    if (isVisible())
        scrollToNewest();
}

void ReportListBox::scrollToNewest()
{
    const int rows = m_lines->count();
    const int height = rowHeight();
    if (rows == 0 || height <= 0)
        return;
    const int room = viewport()->height();
    // The first row shown (per item) or the first pixel shown (per pixel) that puts the last row
    // at the bottom. The relayout that follows sets the bar's own range: when that range ends
    // lower, the bar is clamped to the end, which also shows the last row.
    const int value = verticalScrollMode() == QAbstractItemView::ScrollPerItem
        ? qMax(0, rows - qMax(1, room / height))
        : qMax(0, rows * height - room);
    QScrollBar *bar = verticalScrollBar();
    if (bar->maximum() < value)
        bar->setMaximum(value);
    bar->setValue(value);
}

int ReportListBox::rowHeight()
{
    if (m_rowHeight <= 0 && m_lines->count() > 0)
        m_rowHeight = sizeHintForIndex(m_lines->index(m_lines->count() - 1)).height() + 2 * spacing();
    return m_rowHeight;
}

void ReportListBox::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_rowHeight = 0;
    QListView::changeEvent(event);
}

void ReportListBox::clear()
{
    m_lines->clear();
}

int ReportListBox::listIndex() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ReportListBox::setListIndex(int row)
{
    if (row < 0 || row >= m_lines->count()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(m_lines->index(row), QItemSelectionModel::ClearAndSelect);
}

void ReportListBox::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // Hidden, or read by an assistive tool: the base class does no per-row geometry work then, or
    // must send its accessibility events.
    if (!isVisible() || QAccessible::isActive()) {
        QListView::currentChanged(current, previous);
        return;
    }
    refreshLater();
}

void ReportListBox::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    if (!isVisible() || QAccessible::isActive()) {
        QListView::selectionChanged(selected, deselected);
        return;
    }
    refreshLater();
}

void ReportListBox::refreshLater()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    viewport()->update();
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        const QModelIndex current = selectionModel()->currentIndex();
        if (current.isValid())
            scrollTo(current);
        // Changes made after the last paint but before this pass.
        viewport()->update();
    });
}
