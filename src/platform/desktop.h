// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the console asks of the desktop besides boxes: opening documents, folders and addresses,
// the help viewer, the beep and a blocking pause. Behind an interface for the tests.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // Opens a local file path or an address (http:, mailto:, skype:) with the program the desktop
    // associates with it; false when nothing could open it. Never through a shell command line.
    virtual bool openDocument(const QString &target) = 0;
    // Shows a folder in the desktop's file manager; false when that failed.
    virtual bool openFolder(const QString &path) = 0;
    // Starts the help viewer on the compiled help file at a context number, detached.
    virtual bool showHelp(const QString &helpFile, int contextId) = 0;
    virtual void beep() = 0;
    // Blocks the calling thread (the window does not react meanwhile).
    virtual void sleepMs(int ms) = 0;
};
