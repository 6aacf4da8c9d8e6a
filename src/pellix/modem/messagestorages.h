// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace pellix {

// What a connection knows of the modem's message storages (27.005 3.2.2): the one AT+CPMS
// selected for reading and deleting, and how many items it announced; the storage lists of
// AT+CPMS=?; the storages +CMTI named. The modem forgets its selection when it restarts.
class MessageStorages
{
public:
    // Empty: not known (never selected, or the answer was lost).
    const QByteArray &selected() const { return m_selected; }
    void select(const QByteArray &storage) { m_selected = storage; }
    void selectionUnknown() { m_selected.clear(); }
    // What +CPMS last announced for the selected storage; -1 not known.
    int storedItems() const { return m_storedItems; }
    void setStoredItems(int items) { m_storedItems = items; }
    // <used1> of a +CPMS answer: how many items a listing of the storage will bring; -1 when the
    // answer does not say.
    static int announcedItems(const QList<QByteArray> &answerLines);

    bool listsKnown() const { return m_lists.has_value(); }
    // The lists of AT+CPMS=? (empty when the modem gave none).
    void setLists(QList<QList<QByteArray>> lists) { m_lists = std::move(lists); }
    // A +CMTI named the storage: a message kept where the storages asked for were full.
    void indicatedIn(const QByteArray &storage);

    // Where received messages may be, the message storage `own` first: each other storage the
    // modem may keep one in (receiveStorage, the <mem3> list, those +CMTI named) that the
    // <mem1> list lets us read. Reports and cell broadcasts are not among them.
    QList<QByteArray> receiving(const QByteArray &own, const QByteArray &receiveStorage) const;

    // A restart: the modem's selection is gone.
    void restarted();
    void endConnection();

private:
    QByteArray m_selected;
    int m_storedItems = -1;
    std::optional<QList<QList<QByteArray>>> m_lists;
    QList<QByteArray> m_indicated;
};

} // namespace pellix
