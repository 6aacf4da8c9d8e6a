// SPDX-License-Identifier: GPL-3.0-or-later
#include "appfacts.h"

#include <QCoreApplication>
#include <QFileInfo>

AppFacts AppFacts::current()
{
    AppFacts facts;
    if (QCoreApplication::instance()) {
        facts.exeFolder = QCoreApplication::applicationDirPath();
        // The settings section is the executable's name; Linux executables carry no extension, but a
        // renamed copy such as "Vendrel.bin" still keeps the shipped section.
        facts.exeBaseName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    }
    facts.major = VENDREL_VERSION_MAJOR;
    facts.minor = VENDREL_VERSION_MINOR;
    facts.revision = VENDREL_VERSION_PATCH;
    return facts;
}
