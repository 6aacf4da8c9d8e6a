// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop.h"

#include <QUrl>

#include <optional>

// The desktop through QDesktopServices (xdg-open and the desktop's handlers), the help viewer as
// "xchm --contextid=N <file>" started detached. No shell ever sees a target: addresses reach the
// handler as one argument, so a mailto: body cannot run anything.
class QtDesktop : public Desktop
{
public:
    static constexpr int QueryTimeoutMs = 2000;

    bool openDocument(const QString &target) override;
    bool openFolder(const QString &path) override;
    bool showHelp(const QString &helpFile, int contextId) override;
    void beep() override;
    void sleepMs(int ms) override;

    // A target naming an address (scheme ":" ...) rather than a local path. Local paths are
    // absolute or relative file names; "file:" addresses count as local files.
    static bool isAddress(const QString &target);
    // The address as handed to the desktop: what the caller composed, percent-encoded only where
    // it must be (blanks, non-ASCII); existing escapes such as "%0D%0A" stay as they are.
    static QUrl addressUrl(const QString &target);
    // Whether the desktop names a default program for addresses of a scheme, as
    // "xdg-mime query default x-scheme-handler/<scheme>" tells; nullopt when that cannot be told
    // (xdg-mime missing, failing or too slow). A web address without a default has one when a
    // browser xdg-open would find by itself is installed.
    static std::optional<bool> schemeHasHandler(const QString &scheme);
    static QString helpViewer() { return QStringLiteral("xchm"); }
    static QStringList helpArguments(const QString &helpFile, int contextId);
};
