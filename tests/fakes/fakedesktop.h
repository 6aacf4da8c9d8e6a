// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// A scripted desktop: records every document, folder and help request, beep and pause, in one
// ordered event list too ("open <target>", "folder <path>", "help <file> <n>", "beep",
// "sleep <ms>"), and answers success or failure as scripted. Nothing is ever started.
class FakeDesktop : public Desktop
{
public:
    struct HelpCall
    {
        QString file;
        int contextId = 0;
    };

    // --- scripting
    bool openSucceeds = true;       // every openDocument, unless listed below
    QSet<QString> failingTargets;   // these targets fail whatever openSucceeds says
    // As the real desktop does: a target that is not an address and names no existing file fails.
    bool missingFilesFail = false;
    bool folderSucceeds = true;
    bool helpSucceeds = true;
    std::function<void(int ms)> onSleep; // e.g. to advance a virtual clock while "asleep"

    // --- what was asked
    QStringList openedDocuments;    // every target asked, failed ones included
    QStringList openedFolders;
    QList<HelpCall> helpCalls;
    int beeps = 0;
    QList<int> sleeps;
    QStringList events;
    void clear();

    // Desktop
    bool openDocument(const QString &target) override;
    bool openFolder(const QString &path) override;
    bool showHelp(const QString &helpFile, int contextId) override;
    void beep() override;
    void sleepMs(int ms) override;
};
