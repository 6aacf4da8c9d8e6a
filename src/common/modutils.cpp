// SPDX-License-Identifier: GPL-3.0-or-later
#include "modutils.h"

#include "desktop.h"
#include "dialogs.h"
#include "hexdigits.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "tempfolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Positions inside the hex routines are 16-bit: a hex text of more than 32,767 characters, or a
// byte text of 32,767 or more (whose hex would not fit), overflows.
constexpr qsizetype MaxHexLength = 32767;
constexpr qsizetype MaxByteLength = 32766;
// The long form of a path came back in a buffer of 255 characters, one of them its NUL.
constexpr qsizetype MaxLongPathLength = 254;

RaisedError vendrelError(qint32 number, const QString &description)
{
    return RaisedError(number, QString::fromLatin1(ModUtils::ErrorSource), description);
}

bool isWordSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
        || c == QChar(0);
}

} // namespace

ModUtils::ModUtils(Dialogs &dialogs, Desktop &desktop)
    : m_dialogs(dialogs)
    , m_desktop(desktop)
{
}

int ModUtils::ShowMessageBox(const QString &text, int style, const QString &title)
{
    return m_dialogs.messageBox(text, style, title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title);
}

void ModUtils::OpenDocument(const QString &target, const QString &workingFolder)
{
    QString resolved = target;
    // A relative file name is looked for in the working folder when one is given (no caller does).
    if (!workingFolder.isEmpty() && !target.isEmpty() && QFileInfo(target).isRelative()
        && !target.contains(QLatin1Char(':')))
        resolved = QDir(workingFolder).filePath(target);
    if (!m_desktop.openDocument(resolved))
        throw vendrelError(440, QStringLiteral("Cannot find <") + target
                                    + QStringLiteral("> or a Windows application associated to this kind of file"));
}

QString ModUtils::TrimNullChar(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    if (end > 0 && text.at(end - 1) == QChar(0))
        --end;
    return text.left(end);
}

QString ModUtils::ProperCaseIfLower(const QString &text)
{
    if (text != text.toLower())
        return text;
    QString result;
    result.reserve(text.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isWordSeparator(c)) {
            wordStart = true;
            result += c;
            continue;
        }
        if (wordStart && c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(c, text.at(i + 1)));
            result += QString::fromUcs4(&upper, 1);
            ++i;
        } else {
            result += wordStart ? c.toUpper() : c;
        }
        wordStart = false;
    }
    return result;
}

QByteArray ModUtils::HexToString(const QString &hex)
{
    if (hex.size() > MaxHexLength)
        throw NumericAnswer::overflowError();
    if (hex.size() % 2 != 0)
        throw vendrelError(13, QStringLiteral("Invalid hex string (string is composed by an odd number of digits)"));
    QByteArray bytes;
    bytes.reserve(hex.size() / 2);
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        // Only two hex digits make a byte: a blank, a sign or a prefix in a pair is refused rather
        // than read as some number.
        const int high = hexDigitValue(hex.at(i));
        const int low = hexDigitValue(hex.at(i + 1));
        if (high < 0 || low < 0)
            throw vendrelError(13, QStringLiteral("Invalid hex string"));
        bytes.append(char(high * 16 + low));
    }
    return bytes;
}

QString ModUtils::StringToHex(const QByteArray &bytes)
{
    if (bytes.size() > MaxByteLength)
        throw NumericAnswer::overflowError();
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString ModUtils::FormatHex(const QByteArray &bytes)
{
    const QString hex = StringToHex(bytes);
    return hex.isEmpty() ? QString() : QLatin1Char('[') + hex + QLatin1Char(']');
}

QString ModUtils::GetTempFolder()
{
    // The user's own temporary folder, the one the library writes its trace into.
    return TempFolder::path();
}

QString ModUtils::GetLongPath(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return path;
    const QString longForm = QDir::cleanPath(info.absoluteFilePath());
    if (longForm.size() > MaxLongPathLength)
        return path;
    // The long form as it comes back in its buffer: the name, its NUL, blanks up to the end. A name
    // that itself ends in blanks keeps them, since the trim stops at the NUL.
    const QString buffer = longForm + QChar(0) + QString(MaxLongPathLength - longForm.size(), QLatin1Char(' '));
    const QString trimmed = TrimNullChar(buffer);
    return trimmed.isEmpty() ? path : trimmed;
}
