// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempfolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString TempFolder::path()
{
    // Not QDir::tempPath(): for a TMPDIR that does not exist it gives the empty path, and the
    // trace would land in the working folder or at the root.
    if (ownFolder())
        return QStringLiteral("/tmp/pellix-%1").arg(::geteuid());
    return QDir::cleanPath(QDir(qEnvironmentVariable("TMPDIR")).absolutePath());
}

bool TempFolder::ownFolder()
{
    return qEnvironmentVariableIsEmpty("TMPDIR");
}

QString TempFolder::prepare()
{
    if (!ownFolder())
        return QString();
    const QString folder = path();
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return QStringLiteral("%1 cannot be made: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    // lstat: a link planted at the name (by another user, before us) is not followed.
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return QStringLiteral("%1 is not a folder of this user").arg(folder);
    if ((st.st_mode & 0077) != 0 && ::chmod(name.constData(), S_IRWXU) != 0)
        return QStringLiteral("%1 cannot be made owner-only: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    return QString();
}
