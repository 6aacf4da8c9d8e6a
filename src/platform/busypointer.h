// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The screen-wide hourglass while the console waits for the modem. Restored on every path,
// exceptions included, because it lives on the stack of the handler that set it.
class BusyPointer
{
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

    // Restores the normal pointer before the end of the scope (e.g. before a report box).
    void release();

private:
    bool m_active = true;
};
