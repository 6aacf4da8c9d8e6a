// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "modem/rawatanswer.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "transport/tracelog.h"

namespace pellix {
namespace {

// Extended commands after which the session cannot go on as the channel knows it: a prompt
// waiting for a PDU the channel never sends (+CMGS, +CMGW, +CMGC), another line speed (+IPR) or
// character framing (+ICF, V.250 6.2.11), a multiplexer taking the port over (+CMUX).
constexpr const char *BreakingExtended[] = {"+CMGS", "+CMGW", "+CMGC", "+IPR", "+ICF", "+CMUX"};

bool isLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

// The basic-command part of one command (V.250 5.3.1): letters, each with its digits, S-registers
// with "=value" or '?'. Q1 (no result codes) and V0 (numeric ones) take away the final codes every
// later command ends on; O and a D without the voice ';' put the port into online data mode. S3,
// S4 and S5 (V.250 6.2.1-6.2.3) are the characters that end a command line, format the answers
// and edit the line: changed, no later command is understood, also by the next program, until
// the modem is power-cycled; &W stores the settings as the profile the modem powers up with. An
// extended command may follow basic ones without a separator (V.250 5.4.1, "ATE1+CMGS=..."): its
// start is left in extendedAt for the caller to check.
QString basicRefusal(const QByteArray &part, bool endsWithSemicolon, qsizetype &extendedAt)
{
    extendedAt = -1;
    // Hayes: "=" with no register sets the one named last ("ATS3?=65", "ATS3=65" over two lines).
    bool registerNamed = true;
    for (qsizetype i = 0; i < part.size();) {
        char c = part.at(i);
        if (c == '+') {
            extendedAt = i;
            return QString();
        }
        // '&', and the '\' and '%' of the Hayes-derived sets (AT\Q3, AT%C0), lead a basic command
        // of their own: the command line goes on behind its digits ("AT\Q3S3=65").
        const bool ampersand = (c == '&' || c == '\\' || c == '%') && i + 1 < part.size();
        const bool storing = c == '&';
        if (ampersand)
            c = part.at(++i);
        if (c == '=' && !ampersand && registerNamed)
            return QStringLiteral("AT= sets the S-register named last, which may be S3, S4 or S5");
        registerNamed = c == 'S' && !ampersand;
        if (c == 'D' && !ampersand)
            return endsWithSemicolon ? QString() : QStringLiteral("ATD without ';' starts a data call");
        ++i;
        QByteArray digits;
        while (i < part.size() && part.at(i) >= '0' && part.at(i) <= '9')
            digits += part.at(i++);
        if (c == 'S' && !ampersand && i < part.size() && (part.at(i) == '=' || part.at(i) == '?')) {
            if (part.at(i) == '=' && digits.isEmpty())
                return QStringLiteral("AT= sets the S-register named last, which may be S3, S4 or S5");
            const int reg = digits.toInt();
            if (part.at(i) == '=' && reg >= 3 && reg <= 5)
                return QStringLiteral("ATS%1= changes how command lines and answers are framed, for later sessions too").arg(reg);
            // "S0=1" or "S0?": more basic commands may follow the register's value.
            if (part.at(i++) == '=') {
                while (i < part.size() && part.at(i) >= '0' && part.at(i) <= '9')
                    ++i;
            }
            continue;
        }
        const int value = digits.isEmpty() ? 0 : digits.toInt();
        if (storing && c == 'W')
            return QStringLiteral("AT&W stores the settings as the modem's power-up profile");
        if (ampersand)
            continue;
        if (c == 'Q' && value == 1)
            return QStringLiteral("ATQ1 silences the result codes");
        if (c == 'V' && value == 0)
            return QStringLiteral("ATV0 makes the result codes numeric");
        if (c == 'O')
            return QStringLiteral("ATO goes back to a data call");
        if (!isLetter(c) && c != '&')
            break;  // the rest is arguments ('?', '=')
    }
    return QString();
}

} // namespace

QString PellixGsmModem::rawCommandRefusal(const QByteArray &line)
{
    if (line.isEmpty())
        return QStringLiteral("the command line is empty");
    if (line.size() < 2 || qstrnicmp(line.constData(), "AT", 2) != 0)
        return QStringLiteral("\"%1\" does not start with AT").arg(QString::fromLatin1(TraceLog::printable(TraceLog::masked(line))));
    for (const char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return QStringLiteral("the command line holds a control character");
    }
    // Outside quoted strings, uppercase and without spaces (the modem ignores them, V.250 5.2.1:
    // "AT +CMGS" is +CMGS): names compare as the modem reads them.
    QByteArray bare;
    bool quoted = false;
    for (const char c : line.mid(2)) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c != ' ')
            bare += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    const bool voiceDial = bare.endsWith(';');
    const QList<QByteArray> commands = bare.split(';');
    for (qsizetype n = 0; n < commands.size(); ++n) {
        QByteArray command = commands.at(n);
        if (command.isEmpty())
            continue;
        if (isLetter(command.at(0)) || command.at(0) == '&' || command.at(0) == '\\' || command.at(0) == '%'
            || command.at(0) == '=') {
            // A dial command runs to the end of the line: its ';' ends the line, not a command.
            qsizetype extendedAt = -1;
            const QString why = basicRefusal(command, voiceDial && n + 2 == commands.size(), extendedAt);
            if (!why.isEmpty())
                return why;
            if (extendedAt < 0)
                continue;
            command = command.mid(extendedAt);
        }
        for (const char *name : BreakingExtended) {
            const QByteArray breaking(name);
            if (command.startsWith(breaking)
                && (command.size() == breaking.size() || !isLetter(command.at(breaking.size()))))
                return QStringLiteral("AT%1 would break the session").arg(QString::fromLatin1(breaking));
        }
    }
    return QString();
}

RawAtAnswer PellixGsmModem::rawCommand(const QByteArray &line, int timeoutMs)
{
    Operation op(*this);
    const QString refusal = rawCommandRefusal(line);
    if (!refusal.isEmpty())
        raise(ErrorCode::InvalidArgument, refusal);
    requireConnected();
    // The name of the first extended command is the answer's prefix: its lines are the answer even
    // when the same code also comes unsolicited (+CREG:, +CLIP:).
    QByteArray prefix;
    if (line.size() > 3 && (line.at(2) == '+' || line.at(2) == '^')) {
        qsizetype end = 3;
        while (end < line.size() && (isLetter(line.at(end)) || (line.at(end) >= 'a' && line.at(end) <= 'z')
                                     || (line.at(end) >= '0' && line.at(end) <= '9')))
            ++end;
        prefix = line.mid(2, end - 2).toUpper() + ':';
    }
    AtCommand command = AtCommand::bare(line, timeoutMs > 0 ? timeoutMs : localTimeout());
    command.prefix = prefix;
    const AtResponse response = exec(command, false);
    // An echo the operator asked for is no sign of a restart (an ATZ that brings back the stored
    // profile is one, and the modem is set up again).
    if (response.ok() && m_channel && line.toUpper().contains("E1"))
        m_channel->expectEcho();

    RawAtAnswer answer;
    answer.lines = response.lines;
    answer.finalLine = response.finalLine;
    answer.ok = response.ok();
    if (!answer.ok) {
        try {
            AtChannel::raiseFor(response, TraceLog::masked(line));
        } catch (const RaisedError &error) {
            answer.errorNumber = error.number();
            answer.errorText = error.description();
        }
    }
    return answer;
}

} // namespace pellix
