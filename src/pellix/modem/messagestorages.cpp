// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagestorages.h"

#include "at/atreplies.h"

namespace pellix {

int MessageStorages::announcedItems(const QList<QByteArray> &answerLines)
{
    // +CPMS: <used1>,<total1>,...
    return answerLines.isEmpty() ? -1 : replies::number(replies::fields(answerLines.first(), "+CPMS"), 0).value_or(-1);
}

void MessageStorages::indicatedIn(const QByteArray &storage)
{
    if (!m_indicated.contains(storage))
        m_indicated << storage;
}

QList<QByteArray> MessageStorages::receiving(const QByteArray &own, const QByteArray &receiveStorage) const
{
    const QList<QList<QByteArray>> lists = m_lists.value_or(QList<QList<QByteArray>>());
    const QList<QByteArray> readable = lists.value(0);
    const QList<QByteArray> candidates = QList<QByteArray>{receiveStorage} + lists.value(2) + m_indicated;
    QList<QByteArray> result{own};
    for (QByteArray storage : candidates) {
        // Reports have their own reader; cell broadcasts ("BM") are no SMS-DELIVER.
        if (storage == "SR" || storage == "BM")
            continue;
        // "MT" is the SIM and the phone memory together: the part that is not `own`.
        if (storage == "MT")
            storage = own == "SM" ? QByteArray("ME") : own == "ME" ? QByteArray("SM") : QByteArray();
        if (storage.isEmpty() || result.contains(storage) || (!readable.isEmpty() && !readable.contains(storage)))
            continue;
        result << storage;
    }
    return result;
}

void MessageStorages::restarted()
{
    m_selected.clear();
    m_storedItems = -1;
}

void MessageStorages::endConnection()
{
    m_selected.clear();
    m_lists.reset();
    m_indicated.clear();
}

} // namespace pellix
