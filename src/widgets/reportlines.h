// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

// The lines of the report list. A plain list of texts, appended at the end and cleared as a
// whole; rows are never edited one by one.
class ReportLines : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const QString &line(int row) const { return m_lines.at(row); }
    int count() const { return int(m_lines.size()); }

    // One insertion for the whole batch, so that the view re-lays out once.
    void append(const QStringList &lines);
    // Drops the first `rows` lines.
    void removeOldest(int rows);
    void clear();

private:
    QList<QString> m_lines;
};
