// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Facts about the running program that the windows show or build paths from.
struct AppFacts
{
    QString exeFolder;      // without trailing separator
    QString exeBaseName;    // file name without folder and extension: the settings section
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString title = QStringLiteral("Pellix Test utility");

    // From QCoreApplication and the build's version.
    static AppFacts current();
};
