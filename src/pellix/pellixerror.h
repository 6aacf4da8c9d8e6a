// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "raisederror.h"

#include <QString>

// The library's error codes. A raised error carries 0x80040000 + code and the source "Pellix";
// the console shows the code alone. The table is the one reference for operators (help file).
//
//   1..99      the library's own failures (below)
//   1000+n     the modem answered +CME ERROR: n (TS 27.007 9.2), n < 1000
//   2000+n     the modem answered +CMS ERROR: n (TS 27.005 3.2.5), n < 1000
namespace pellix {

enum class ErrorCode : quint16 {
    NotConnected = 1,        // the operation needs Status 2
    AlreadyConnected = 2,    // Connect while a connection is open or opening
    Timeout = 3,             // the modem did not answer a command within its deadline
    PortCannotOpen = 4,      // the serial device is missing, busy or not permitted
    ConnectionLost = 5,      // the device went away or failed during a command
    ModemAnsweredError = 6,  // plain ERROR (or NO CARRIER, BUSY, ...) to a command
    UnexpectedAnswer = 7,    // an answer the command cannot use
    UnknownModemType = 8,    // no built-in profile for the modem-type code
    ProfileError = 9,        // Pellix.ini holds no usable profile for code 0
    InvalidArgument = 10,    // a value out of the range the operation accepts
    PinRequired = 11,        // the SIM asks for a PIN/PUK that was not given
    ModemRestarted = 12,     // the modem restarted during (or just before) a command
    NotSupported = 13,       // the modem refuses the command as one it does not know or offer
    PduTooLong = 20,         // the user data does not fit one message
    TextNotRepresentable = 21, // a character the chosen alphabet cannot carry
    InvalidPhoneNumber = 22,
    InvalidUserDataHeader = 23,
    TooManyParts = 24,       // a long message would need more than 255 parts
    MalformedPdu = 25,       // a PDU that does not decode
    InvalidAlphabet = 26,
    InvalidMessageClass = 27,
    InvalidValidity = 28,
    CmeErrorBase = 1000,
    CmsErrorBase = 2000,
};

inline constexpr char ErrorSource[] = "Pellix";

// 0x80040000 + code, as the signed 32-bit number the console sees.
qint32 libraryErrorNumber(quint16 code);

// Short description of one of the library's own codes (1..99).
QString errorCodeText(ErrorCode code);

// The 3GPP texts; an unknown code gives "unknown error <n>" (vendor codes).
QString cmeErrorText(int n);
QString cmsErrorText(int n);

// Builds the error; description = errorCodeText(code) + ": " + detail (or the text alone).
RaisedError libraryError(ErrorCode code, const QString &detail = QString());
RaisedError cmeError(int n, const QString &command = QString());
RaisedError cmsError(int n, const QString &command = QString());

[[noreturn]] void raise(ErrorCode code, const QString &detail = QString());

// NotSupported for a command: "<command> is not supported by this modem", with what it answered.
RaisedError notSupportedError(const QString &command, const QString &answer = QString());

} // namespace pellix
