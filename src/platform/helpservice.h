// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Desktop;

// The compiled help file and its topics: found once beside the program, then opened at a context
// number by every help button of both windows.
class HelpService
{
public:
    HelpService(Desktop &desktop, QString exeFolder);

    // Looks for the file now; until then filePath() is empty.
    void locate();
    const QString &filePath() const { return m_filePath; }
    // Opens the help viewer at a topic; a viewer that cannot start is passed over, as the help
    // buttons have nothing better to offer.
    void showTopic(int contextId) const;

    // exe folder + "/../Doc/Pellix.CHM" when a file is there (the build tree), else exe folder +
    // "/../share/vendrel/Pellix.CHM" when a file is there (installed, as from the Debian
    // package), else exe folder + "/../../../Doc/Pellix.CHM" untested; joined as text.
    static QString locateHelpFile(const QString &exeFolder);

private:
    Desktop &m_desktop;
    QString m_exeFolder;
    QString m_filePath;
};
