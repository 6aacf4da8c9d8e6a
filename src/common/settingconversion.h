// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// How a stored setting becomes a number: stricter than what the operator types, because a value
// that does not look like one written by the program is left alone rather than guessed at.
namespace SettingConversion {

// A stored number or boolean as a 16-bit integer: blanks around a whole or decimal number (a
// decimal rounded half to even) and nothing else; nullopt when it does not convert.
std::optional<qint16> toInteger16(const QString &text);

} // namespace SettingConversion
