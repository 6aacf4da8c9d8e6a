// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmwarehang.h"

#include "fieldbehaviour.h"

namespace pellix::sim {

FirmwareHang::FirmwareHang(const FieldBehaviour &field, std::function<void(const QString &)> note)
    : m_field(field)
    , m_note(std::move(note))
{
}

bool FirmwareHang::hung(qint64 elapsedMs)
{
    const int after = m_field.freezeAfterSeconds;
    if (m_hung || after <= 0 || elapsedMs < qint64(after) * 1000)
        return m_hung;
    m_hung = true;
    m_note(QStringLiteral("frozen: no more answers, the port stays open"));
    return true;
}

} // namespace pellix::sim
