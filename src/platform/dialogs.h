// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// The modal boxes of the console. Behind an interface so that tests script the answers and
// record what was asked; the real ones are QMessageBox and QInputDialog (qtdialogs.h).
class Dialogs
{
public:
    // Message-box styles of the console: 0 plain OK, 48 exclamation, 64 information.
    enum Style { Plain = 0, Exclamation = 48, Information = 64 };
    // Codes of the button that closed a box (the system's codes; a style's low four bits choose
    // the buttons: 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel).
    enum Button { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

    virtual ~Dialogs() = default;

    // Modal; owned by the application's active window, or by none. Returns the button's code.
    virtual int messageBox(const QString &text, int style, const QString &title) = 0;
    // An information box with OK and Help; Help runs showHelp (the box stays until OK).
    virtual void informationWithHelp(const QString &text, const QString &title, const std::function<void()> &showHelp) = 0;
    // Modal input box with one text field; returns the typed text, or the empty text on Cancel.
    // cancelled (when given) tells the two apart for the callers that must.
    virtual QString inputBox(const QString &prompt, const QString &title, const QString &defaultText,
                             bool *cancelled = nullptr) = 0;
};
