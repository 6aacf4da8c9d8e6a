// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpservice.h"

#include "desktop.h"

#include <QFileInfo>

HelpService::HelpService(Desktop &desktop, QString exeFolder)
    : m_desktop(desktop)
    , m_exeFolder(std::move(exeFolder))
{
}

void HelpService::locate()
{
    m_filePath = locateHelpFile(m_exeFolder);
}

void HelpService::showTopic(int contextId) const
{
    (void)m_desktop.showHelp(m_filePath, contextId);
}

QString HelpService::locateHelpFile(const QString &exeFolder)
{
    const QString nearby = exeFolder + QLatin1String("/../Doc/Pellix.CHM");
    if (QFileInfo(nearby).isFile())
        return nearby;
    const QString installed = exeFolder + QLatin1String("/../share/vendrel/Pellix.CHM");
    if (QFileInfo(installed).isFile())
        return installed;
    return exeFolder + QLatin1String("/../../../Doc/Pellix.CHM");
}
