// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs.h"

// The boxes as QMessageBox and QInputDialog, each owned by the window active when it opens (or by
// none) and modal: the event loop keeps running, so modem events and timers are still handled.
// Texts are shown as plain text: prompts quote operator input and paths between "<" and ">",
// which must never be taken for markup.
class QtDialogs : public Dialogs
{
public:
    int messageBox(const QString &text, int style, const QString &title) override;
    void informationWithHelp(const QString &text, const QString &title, const std::function<void()> &showHelp) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText,
                     bool *cancelled = nullptr) override;
};
