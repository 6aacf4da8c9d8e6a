// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace pellix {

// 27.007 <stat> of +CREG/+CGREG/+CEREG.
enum class RegistrationState { NotRegistered = 0, Home = 1, Searching = 2, Denied = 3, Unknown = 4, Roaming = 5 };

// One domain's registration answer.
struct Registration
{
    QByteArray command;          // "+CREG", "+CGREG" or "+CEREG"
    RegistrationState state = RegistrationState::Unknown;
    QString area;                // LAC or TAC as the modem gives it (hex), empty when not given
    QString cellId;              // hex, empty when not given
    int accessTechnology = -1;   // 27.007 <AcT> (0 GSM, 2 UTRAN, 7 E-UTRAN, ...), -1 not given
};

struct NetworkFacts
{
    QList<Registration> registrations;   // the domains the modem answered (unsupported ones absent)
    // Home or roaming first, then the most telling state (denied, searching, not registered, unknown).
    std::optional<Registration> best() const;
    QString operatorName;                // +COPS long alphanumeric, empty when none
    QString operatorNumeric;             // MCC+MNC ("22210"), empty when not given
    int accessTechnology = -1;           // from +COPS, else from the registrations
    bool registered() const;             // home or roaming in any domain
};

struct SimFacts
{
    QString iccid;                       // empty: not supported / not given
    QString imsi;
    QStringList ownNumbers;              // +CNUM, may be empty
    QString pinState;                    // "READY", "SIM PIN", "SIM PUK", ... as +CPIN says
    int pinAttempts = -1;                // -1: the modem does not say
    int pukAttempts = -1;
};

struct StorageUse
{
    QByteArray storage;
    int used = 0;
    int total = 0;
    bool full() const { return total > 0 && used >= total; }
};

struct SmscFacts
{
    QString number;
    int typeOfAddress = -1;
};

// 27.007 <m> of +CUSD, and NoAnswer when nothing came within our deadline.
enum class UssdStatus { Done = 0, MoreExpected = 1, TerminatedByNetwork = 2, OtherClientResponded = 3,
                        NotSupported = 4, NetworkTimeout = 5, NoAnswer = -1 };

struct UssdAnswer
{
    UssdStatus status = UssdStatus::NoAnswer;
    QString text;
    int dcs = -1;
};

} // namespace pellix
