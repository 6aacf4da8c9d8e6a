// SPDX-License-Identifier: GPL-3.0-or-later
#include "reportlines.h"

int ReportLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant ReportLines::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_lines.at(index.row());
    return {};
}

Qt::ItemFlags ReportLines::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ReportLines::append(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const int first = int(m_lines.size());
    beginInsertRows(QModelIndex(), first, first + int(lines.size()) - 1);
    m_lines.append(lines);
    endInsertRows();
}

void ReportLines::removeOldest(int rows)
{
    rows = qMin(rows, int(m_lines.size()));
    if (rows <= 0)
        return;
    beginRemoveRows(QModelIndex(), 0, rows - 1);
    // QList drops from the front without moving the rest.
    m_lines.remove(0, rows);
    endRemoveRows();
}

void ReportLines::clear()
{
    beginResetModel();
    m_lines.clear();
    endResetModel();
}
