// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtdesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

bool QtDesktop::isAddress(const QString &target)
{
    // RFC 3986 scheme; two letters at least, so that nothing like a drive letter is taken for one.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return !target.startsWith(QLatin1Char('/')) && scheme.match(target).hasMatch()
        && !target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

QUrl QtDesktop::addressUrl(const QString &target)
{
    // Tolerant parsing keeps what the caller composed: "%0D%0A" stays an encoded line break, a
    // lone "%" becomes "%25", and blanks are encoded on the way out, as a mail program expects of
    // a mailto: address. Nothing is decoded and encoded again.
    return QUrl(target, QUrl::TolerantMode);
}

bool QtDesktop::openDocument(const QString &target)
{
    if (target.trimmed().isEmpty())
        return false;

    if (isAddress(target)) {
        const QUrl url = addressUrl(target);
        if (!url.isValid())
            return false;
        // The opener is started detached and reports success whether or not anything takes the
        // address, so the click would do nothing without a word.
        if (schemeHasHandler(url.scheme()) == false)
            return false;
        return QDesktopServices::openUrl(url);
    }

    QString path = target;
    if (target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        path = QUrl(target, QUrl::TolerantMode).toLocalFile();
    const QFileInfo info(path);
    // A file that is not there cannot be opened; the handler would only report it in a window of
    // its own, after this call had returned success.
    if (path.isEmpty() || !info.exists())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

namespace {

// Without a default for web addresses, xdg-open tries $BROWSER, else the Debian alternatives and
// the browsers its own list names (open_generic in xdg-open 1.1): any of them will open the page,
// and a browser xdg-open would not try is no help.
bool browserOfItsOwnFinding()
{
    for (const QString &named : qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QStandardPaths::findExecutable(named.section(QLatin1Char(' '), 0, 0)).isEmpty())
            return true;
    }
    static const char *const known[] = {"x-www-browser", "firefox", "iceweasel", "seamonkey", "mozilla", "epiphany",
                                        "konqueror", "chromium", "chromium-browser", "google-chrome", "www-browser",
                                        "links2", "elinks", "links", "lynx", "w3m"};
    for (const char *name : known) {
        if (!QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty())
            return true;
    }
    return false;
}

} // namespace

std::optional<bool> QtDesktop::schemeHasHandler(const QString &scheme)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/") + scheme.toLower()});
    if (!query.waitForStarted(QueryTimeoutMs))
        return std::nullopt;
    if (!query.waitForFinished(QueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(QueryTimeoutMs);
        return std::nullopt;
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return std::nullopt;
    if (!query.readAllStandardOutput().trimmed().isEmpty())
        return true;
    const bool web = scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
                     || scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    return web && browserOfItsOwnFinding();
}

bool QtDesktop::openFolder(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir())
        return false;
    QString folder = info.absoluteFilePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QStringList QtDesktop::helpArguments(const QString &helpFile, int contextId)
{
    return {QStringLiteral("--contextid=%1").arg(contextId), helpFile};
}

bool QtDesktop::showHelp(const QString &helpFile, int contextId)
{
    // Started even when the file is missing: the viewer then says so itself, as the help viewer of
    // the console always has; the console adds no message of its own.
    return QProcess::startDetached(helpViewer(), helpArguments(helpFile, contextId));
}

void QtDesktop::beep()
{
    QApplication::beep();
}

void QtDesktop::sleepMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
