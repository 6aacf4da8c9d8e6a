// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class Desktop;
class Dialogs;

// The small routines both windows share. Byte texts (user data headers, 8-bit payloads) are
// QByteArray here, one octet per character of the operator's hex.
//
// Errors are RaisedError with the source "Vendrel": 13 invalid hex, 6 overflow, 440 cannot open.
class ModUtils
{
public:
    ModUtils(Dialogs &dialogs, Desktop &desktop);

    // Modal box owned by the active window; an empty title is the application title.
    int ShowMessageBox(const QString &text, int style = 0, const QString &title = QString());
    // Opens a file or an address with the desktop; raises 440 "Cannot find <target> or a
    // Windows application associated to this kind of file" when nothing could open it.
    void OpenDocument(const QString &target, const QString &workingFolder = QString());

    static QString TrimNullChar(const QString &text);
    static QString ProperCaseIfLower(const QString &text);
    static QByteArray HexToString(const QString &hex);
    static QString StringToHex(const QByteArray &bytes);
    static QString FormatHex(const QByteArray &bytes);
    static QString GetTempFolder();
    static QString GetLongPath(const QString &path);

    static constexpr char ApplicationTitle[] = "Pellix Test utility";
    static constexpr char ErrorSource[] = "Vendrel";

private:
    Dialogs &m_dialogs;
    Desktop &m_desktop;
};
