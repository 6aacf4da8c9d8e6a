// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "raisederror.h"

#include <QString>

// How the console reads a number the operator typed (SIM locations, phonebook positions, the
// validity, the port of "COM<n>"): blanks, tabs and line feeds anywhere are ignored; then an
// optional sign, digits with at most one decimal point and an optional exponent are read up to
// the first character that cannot continue the number; &H and &O prefixes read hexadecimal and
// octal digits; a text that does not begin with a number reads as 0.
namespace NumericAnswer {

double leadingNumber(const QString &text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4); a result
// outside -32768..32767 raises RaisedError 6 "Overflow" from "Vendrel".
qint16 toInteger16(double value);

// toInteger16(leadingNumber(text)).
qint16 readInteger16(const QString &text);

// Error 6 "Overflow" from "Vendrel": a number that does not fit where it goes.
RaisedError overflowError();

} // namespace NumericAnswer
