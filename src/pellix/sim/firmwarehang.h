// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace pellix::sim {

struct FieldBehaviour;

// FieldBehaviour::freezeAfterSeconds: a firmware that hangs with its port still open. From then on
// it takes no input, says nothing and runs no network event, whatever comes.
class FirmwareHang
{
public:
    FirmwareHang(const FieldBehaviour &field, std::function<void(const QString &)> note);

    // Whether the firmware has hung by this clock time; once hung it stays so.
    bool hung(qint64 elapsedMs);

private:
    const FieldBehaviour &m_field;
    std::function<void(const QString &)> m_note;
    bool m_hung = false;
};

} // namespace pellix::sim
