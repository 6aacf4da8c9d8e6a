// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedesktop.h"

#include <QFileInfo>
#include <QRegularExpression>

void FakeDesktop::clear()
{
    openedDocuments.clear();
    openedFolders.clear();
    helpCalls.clear();
    beeps = 0;
    sleeps.clear();
    events.clear();
}

bool FakeDesktop::openDocument(const QString &target)
{
    openedDocuments.append(target);
    events.append(QStringLiteral("open ") + target);
    if (failingTargets.contains(target) || !openSucceeds)
        return false;
    if (missingFilesFail) {
        static const QRegularExpression address(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
        if (!address.match(target).hasMatch() && !QFileInfo::exists(target))
            return false;
    }
    return true;
}

bool FakeDesktop::openFolder(const QString &path)
{
    openedFolders.append(path);
    events.append(QStringLiteral("folder ") + path);
    return folderSucceeds;
}

bool FakeDesktop::showHelp(const QString &helpFile, int contextId)
{
    helpCalls.append({helpFile, contextId});
    events.append(QStringLiteral("help %1 %2").arg(helpFile).arg(contextId));
    return helpSucceeds;
}

void FakeDesktop::beep()
{
    ++beeps;
    events.append(QStringLiteral("beep"));
}

void FakeDesktop::sleepMs(int ms)
{
    sleeps.append(ms);
    events.append(QStringLiteral("sleep %1").arg(ms));
    if (onSleep)
        onSleep(ms);
}
