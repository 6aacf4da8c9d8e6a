// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class GsmModem;

// The window's Modem variable as the messaging controllers reach it. The composition root makes
// the modem object during Form_Load, after the controllers exist, and releases it at unload, so a
// controller asks for it at the moment it needs it instead of holding it.
class ModemReference
{
public:
    explicit ModemReference(std::function<GsmModem *()> current);

    // The modem object; raises error 91 "Object variable not set" from "Vendrel" when there is
    // none (before Form_Load or after Form_Unload), like any other failure of a handler.
    GsmModem &operator*() const;
    GsmModem *operator->() const { return &**this; }
    GsmModem *get() const;

private:
    std::function<GsmModem *()> m_current;
};
