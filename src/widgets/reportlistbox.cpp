// SPDX-License-Identifier: GPL-3.0-or-later
#include "reportlistbox.h"

#include <QAccessible>
#include <QItemSelectionModel>
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
