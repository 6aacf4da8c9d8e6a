// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingconversion.h"

#include "numericanswer.h"
#include "raisederror.h"

#include <QLocale>
#include <QRegularExpression>

namespace SettingConversion {

std::optional<qint16> toInteger16(const QString &text)
{
    // What a stored number looks like: no hex or octal prefixes, no thousands separators.
    static const QRegularExpression number(
        QStringLiteral("^[ \\t]*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?[ \\t]*$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    try {
        // The same half-to-even rounding and range as every number the console reads.
        return NumericAnswer::toInteger16(value);
    } catch (const RaisedError &) {
        return std::nullopt; // outside -32768..32767
    }
}

} // namespace SettingConversion
