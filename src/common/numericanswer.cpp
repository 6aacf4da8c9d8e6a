// SPDX-License-Identifier: GPL-3.0-or-later
#include "numericanswer.h"

#include "hexdigits.h"
#include "modutils.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumericAnswer {
namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// &H / &O: digits of the base up to the first other character, no sign, no fraction.
double radixNumber(const QString &s, qsizetype from, int base)
{
    double value = 0;
    for (qsizetype i = from; i < s.size(); ++i) {
        const int digit = hexDigitValue(s.at(i));
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit;
    }
    return value;
}

} // namespace

double leadingNumber(const QString &text)
{
    // Blanks, tabs and line feeds are ignored wherever they stand, so " 1 2" reads 12. A carriage
    // return is not among them and ends the number like any other character.
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s += c;
    }

    if (s.size() >= 2 && s.at(0) == QLatin1Char('&')) {
        const QChar radix = s.at(1).toUpper();
        if (radix == QLatin1Char('H'))
            return radixNumber(s, 2, 16);
        if (radix == QLatin1Char('O'))
            return radixNumber(s, 2, 8);
        return 0;
    }

    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-'))) {
        negative = s.at(i) == QLatin1Char('-');
        ++i;
    }
    std::string integral;
    std::string fraction;
    while (i < s.size() && isDigit(s.at(i)))
        integral += char(s.at(i++).unicode());
    if (i < s.size() && s.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && isDigit(s.at(i)))
            fraction += char(s.at(i++).unicode());
    }
    if (integral.empty() && fraction.empty())
        return 0;

    // The exponent letter is E, or D as BASIC also writes it; without digits after it (and its
    // sign) it is not part of the number.
    long exponent = 0;
    if (i < s.size() && QString(QLatin1String("eEdD")).contains(s.at(i))) {
        qsizetype j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-'))) {
            negativeExponent = s.at(j) == QLatin1Char('-');
            ++j;
        }
        if (j < s.size() && isDigit(s.at(j))) {
            while (j < s.size() && isDigit(s.at(j))) {
                if (exponent < 1000000) // far beyond any double; keeps the sum from overflowing
                    exponent = exponent * 10 + (s.at(j).unicode() - '0');
                ++j;
            }
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    const std::string digits = (integral.empty() ? std::string("0") : integral) + "." + fraction + "e"
                               + std::to_string(exponent);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small for a double: which one, the position of the first significant
        // digit tells.
        const std::string all = integral + fraction;
        const auto first = all.find_first_not_of('0');
        const long magnitude = first == std::string::npos ? 0 : long(integral.size()) - long(first) + exponent;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

RaisedError overflowError()
{
    return RaisedError(6, QString::fromLatin1(ModUtils::ErrorSource), QStringLiteral("Overflow"));
}

qint16 toInteger16(double value)
{
    if (!std::isfinite(value))
        throw overflowError();
    const double below = std::floor(value);
    const double rest = value - below;
    double rounded = below + 1;
    if (rest < 0.5 || (rest == 0.5 && std::fmod(below, 2.0) == 0))
        rounded = below;
    if (rounded < -32768 || rounded > 32767)
        throw overflowError();
    return qint16(rounded);
}

qint16 readInteger16(const QString &text)
{
    return toInteger16(leadingNumber(text));
}

} // namespace NumericAnswer
