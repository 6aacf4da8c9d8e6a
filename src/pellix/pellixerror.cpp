// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixerror.h"

#include <algorithm>
#include <iterator>

namespace pellix {
namespace {

struct CodeText
{
    int code;
    const char *text;
};

// TS 27.007 9.2.1 / 9.2.2 (general and GPRS errors).
constexpr CodeText CmeTexts[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed - emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {100, "unknown"},
    {103, "Illegal MS"},
    {106, "Illegal ME"},
    {107, "GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "location area not allowed"},
    {113, "roaming not allowed in this location area"},
    {132, "service option not supported"},
    {133, "requested service option not subscribed"},
    {134, "service option temporarily out of order"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
};

// TS 27.005 3.2.5: 0..127 RP-cause of TS 24.011 E-2, 128..255 TP-FCS of TS 23.040 9.2.3.22,
// 300..500 the ME/TA range.
constexpr CodeText CmsTexts[] = {
    {0, "Unspecified SMS failure"},
    {1, "Unassigned (unallocated) number"},
    {8, "Operator determined barring"},
    {10, "Call barred"},
    {21, "Short message transfer rejected"},
    {27, "Destination out of service"},
    {28, "Unidentified subscriber"},
    {29, "Facility rejected"},
    {30, "Unknown subscriber"},
    {38, "Network out of order"},
    {41, "Temporary failure"},
    {42, "Congestion"},
    {47, "Resources unavailable, unspecified"},
    {50, "Requested facility not subscribed"},
    {69, "Requested facility not implemented"},
    {81, "Invalid short message transfer reference value"},
    {95, "Invalid message, unspecified"},
    {96, "Invalid mandatory information"},
    {97, "Message type non-existent or not implemented"},
    {98, "Message not compatible with short message protocol state"},
    {99, "Information element non-existent or not implemented"},
    {111, "Protocol error, unspecified"},
    {127, "Interworking, unspecified"},
    {128, "Telematic interworking not supported"},
    {129, "Short message Type 0 not supported"},
    {130, "Cannot replace short message"},
    {143, "Unspecified TP-PID error"},
    {144, "Data coding scheme (alphabet) not supported"},
    {145, "Message class not supported"},
    {159, "Unspecified TP-DCS error"},
    {160, "Command cannot be actioned"},
    {161, "Command unsupported"},
    {175, "Unspecified TP-Command error"},
    {176, "TPDU not supported"},
    {192, "SC busy"},
    {193, "No SC subscription"},
    {194, "SC system failure"},
    {195, "Invalid SME address"},
    {196, "Destination SME barred"},
    {197, "SM Rejected-Duplicate SM"},
    {198, "TP-VPF not supported"},
    {199, "TP-VP not supported"},
    {208, "SIM SMS storage full"},
    {209, "No SMS storage capability in SIM"},
    {210, "Error in MS"},
    {211, "Memory capacity exceeded"},
    {212, "SIM Application Toolkit Busy"},
    {255, "Unspecified error cause"},
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "SIM not inserted"},
    {311, "SIM PIN required"},
    {312, "PH-SIM PIN required"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
};

template <std::size_t N>
QString lookup(const CodeText (&table)[N], int n)
{
    const auto it = std::find_if(std::begin(table), std::end(table),
                                 [n](const CodeText &e) { return e.code == n; });
    if (it != std::end(table))
        return QString::fromLatin1(it->text);
    return QStringLiteral("unknown error %1").arg(n);
}

quint16 clampedCode(int base, int n)
{
    return quint16(base + std::clamp(n, 0, 999));
}

} // namespace

qint32 libraryErrorNumber(quint16 code)
{
    return qint32(RaisedError::LibraryBase + code);
}

QString errorCodeText(ErrorCode code)
{
    switch (code) {
    case ErrorCode::NotConnected: return QStringLiteral("Modem not connected");
    case ErrorCode::AlreadyConnected: return QStringLiteral("Modem already connected");
    case ErrorCode::Timeout: return QStringLiteral("Timeout waiting for the modem");
    case ErrorCode::PortCannotOpen: return QStringLiteral("Cannot open the serial port");
    case ErrorCode::ConnectionLost: return QStringLiteral("Connection to the modem lost");
    case ErrorCode::ModemAnsweredError: return QStringLiteral("The modem answered ERROR");
    case ErrorCode::UnexpectedAnswer: return QStringLiteral("Unexpected answer from the modem");
    case ErrorCode::UnknownModemType: return QStringLiteral("Unknown modem type");
    case ErrorCode::ProfileError: return QStringLiteral("Invalid modem profile in Pellix.ini");
    case ErrorCode::InvalidArgument: return QStringLiteral("Invalid argument");
    case ErrorCode::PinRequired: return QStringLiteral("The SIM needs a PIN");
    case ErrorCode::ModemRestarted: return QStringLiteral("The modem restarted");
    case ErrorCode::NotSupported: return QStringLiteral("The command is not supported by this modem");
    case ErrorCode::PduTooLong: return QStringLiteral("Message too long for one SMS");
    case ErrorCode::TextNotRepresentable: return QStringLiteral("Text not representable in the chosen alphabet");
    case ErrorCode::InvalidPhoneNumber: return QStringLiteral("Invalid phone number");
    case ErrorCode::InvalidUserDataHeader: return QStringLiteral("Invalid user data header");
    case ErrorCode::TooManyParts: return QStringLiteral("Message needs more than 255 parts");
    case ErrorCode::MalformedPdu: return QStringLiteral("Malformed PDU");
    case ErrorCode::InvalidAlphabet: return QStringLiteral("Invalid alphabet");
    case ErrorCode::InvalidMessageClass: return QStringLiteral("Invalid message class");
    case ErrorCode::InvalidValidity: return QStringLiteral("Invalid validity period");
    case ErrorCode::CmeErrorBase:
    case ErrorCode::CmsErrorBase: break;
    }
    return QStringLiteral("Library error %1").arg(quint16(code));
}

QString cmeErrorText(int n) { return lookup(CmeTexts, n); }
QString cmsErrorText(int n) { return lookup(CmsTexts, n); }

RaisedError libraryError(ErrorCode code, const QString &detail)
{
    QString text = errorCodeText(code);
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    return RaisedError(libraryErrorNumber(quint16(code)), QString::fromLatin1(ErrorSource), text);
}

namespace {
RaisedError equipmentError(int base, const char *kind, int n, const QString &text, const QString &command)
{
    QString description = text + QStringLiteral(" (+%1 ERROR: %2").arg(QLatin1String(kind)).arg(n);
    if (!command.isEmpty())
        description += QStringLiteral(", ") + command;
    description += QLatin1Char(')');
    return RaisedError(libraryErrorNumber(clampedCode(base, n)), QString::fromLatin1(ErrorSource), description);
}
} // namespace

RaisedError cmeError(int n, const QString &command)
{
    return equipmentError(int(ErrorCode::CmeErrorBase), "CME", n, cmeErrorText(n), command);
}

RaisedError cmsError(int n, const QString &command)
{
    return equipmentError(int(ErrorCode::CmsErrorBase), "CMS", n, cmsErrorText(n), command);
}

RaisedError notSupportedError(const QString &command, const QString &answer)
{
    QString text = command + QStringLiteral(" is not supported by this modem");
    if (!answer.isEmpty())
        text += QStringLiteral(" (") + answer + QLatin1Char(')');
    return RaisedError(libraryErrorNumber(quint16(ErrorCode::NotSupported)), QString::fromLatin1(ErrorSource), text);
}

void raise(ErrorCode code, const QString &detail)
{
    throw libraryError(code, detail);
}

} // namespace pellix
