// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "modem/factreplies.h"
#include "modem/plainidentity.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"

#include <algorithm>

namespace pellix {

bool PellixGsmModem::refusedAsUnknown(const AtResponse &answer)
{
    // 27.007 9.2: 3 "operation not allowed", 4 "operation not supported"; a plain ERROR is what
    // V.250 gives for a command the modem does not know.
    return answer.final == FinalCode::Error || answer.final == FinalCode::CommandNotSupport
        || (answer.final == FinalCode::CmeError && (answer.errorCode == 3 || answer.errorCode == 4));
}

AtResponse PellixGsmModem::offered(const AtCommand &cmd)
{
    const AtResponse answer = exec(cmd, false);
    if (answer.ok())
        return answer;
    if (refusedAsUnknown(answer))
        throw notSupportedError(QString::fromLatin1(cmd.line), QString::fromLatin1(answer.finalLine));
    AtChannel::raiseFor(answer, cmd.line);
}

NetworkFacts PellixGsmModem::readNetwork()
{
    Operation op(*this);
    requireConnected();
    NetworkFacts facts;
    std::optional<RaisedError> failure;
    // Each domain is optional: a GSM-only modem has no +CEREG, an old one no +CGREG.
    for (const char *name : {"+CREG", "+CGREG", "+CEREG"}) {
        const QByteArray command(name);
        const AtResponse answer = tryCommand("AT" + command + '?', command + ':', localTimeout());
        if (!answer.ok()) {
            if (!refusedAsUnknown(answer) && !failure) {
                try {
                    AtChannel::raiseFor(answer, "AT" + command + '?');
                } catch (const RaisedError &error) {
                    failure = error;
                }
            }
            continue;
        }
        // The read answer is the last line: an unsolicited one may come before it.
        std::optional<Registration> read;
        for (const QByteArray &line : answer.lines) {
            if (auto r = facts::registration(line, command))
                read = r;
        }
        if (read)
            facts.registrations << *read;
        else
            note(QStringLiteral("registration answer not understood: %1").arg(QString::fromLatin1(answer.lines.value(0))));
    }
    if (facts.registrations.isEmpty()) {
        if (failure)
            throw *failure;
        throw notSupportedError(QStringLiteral("AT+CREG?"));
    }
    readOperator(facts);
    if (facts.accessTechnology < 0) {
        if (const auto best = facts.best())
            facts.accessTechnology = best->accessTechnology;
    }
    return facts;
}

void PellixGsmModem::readOperator(NetworkFacts &facts)
{
    const auto read = [this]() -> std::optional<facts::OperatorAnswer> {
        const AtResponse answer = tryCommand("AT+COPS?", "+COPS:", localTimeout());
        if (!answer.ok())
            return std::nullopt;
        std::optional<facts::OperatorAnswer> last;
        for (const QByteArray &line : answer.lines) {
            if (auto a = facts::operatorAnswer(line))
                last = a;
        }
        return last;
    };
    const auto take = [&facts](const facts::OperatorAnswer &a) {
        if (a.format == 2)
            facts.operatorNumeric = a.name;
        else if (a.format == 0 || (a.format == 1 && facts.operatorName.isEmpty()))
            facts.operatorName = a.name;
        if (a.accessTechnology >= 0)
            facts.accessTechnology = a.accessTechnology;
    };
    const std::optional<facts::OperatorAnswer> first = read();
    if (!first || first->format < 0)
        return;
    take(*first);
    // The other form, then the modem's own format back: +COPS=3 is a setting that outlives us.
    const int other = first->format == 2 ? 0 : 2;
    if (!tryCommand("AT+COPS=3," + detail::num(other), QByteArray(), localTimeout()).ok())
        return;
    if (const auto second = read(); second && second->format == other)
        take(*second);
    tryCommand("AT+COPS=3," + detail::num(first->format), QByteArray(), localTimeout());
}

SimFacts PellixGsmModem::readSim()
{
    Operation op(*this);
    requireConnected();
    SimFacts facts;
    facts.pinState = QString::fromLatin1(simState());
    readPinAttempts(facts);
    facts.iccid = readIccid();
    const QString imsi = identity("AT+CIMI", true);
    if (imsi.size() >= 6 && imsi.size() <= 15 && std::all_of(imsi.begin(), imsi.end(), [](QChar c) { return c.isDigit(); }))
        facts.imsi = imsi;
    // OK without a line is a SIM that holds no own number.
    const AtResponse numbers = tryCommand("AT+CNUM", "+CNUM:", localTimeout());
    if (numbers.ok())
        facts.ownNumbers = facts::ownNumbers(numbers.lines);
    return facts;
}

void PellixGsmModem::readPinAttempts(SimFacts &facts)
{
    struct Query { const char *line; const char *prefix; const char *maker; };
    // 27.007 first, then the vendors' own, the modem's maker's before the others.
    static const Query queries[] = {
        {"AT+CPINR", "+CPINR:", ""},
        {"AT^CPIN?", "^CPIN:", "HUAWEI"},
        {"AT+QPINC?", "+QPINC:", "QUECTEL"},
        {"AT+XPINCNT", "+XPINCNT:", "FIBOCOM"},
        {"AT+SPIC", "+SPIC:", "SIMCOM"},
    };
    QList<const Query *> order;
    for (const Query &q : queries) {
        if (*q.maker && m_manufacturer.toUpper().contains(QLatin1String(q.maker)))
            order.insert(1, &q);
        else
            order << &q;
    }
    for (const Query *q : order) {
        const AtResponse answer = tryCommand(q->line, q->prefix, localTimeout());
        if (!answer.ok())
            continue;
        if (const auto attempts = facts::pinAttempts(answer.lines); attempts && (attempts->pin >= 0 || attempts->puk >= 0)) {
            facts.pinAttempts = attempts->pin;
            facts.pukAttempts = attempts->puk;
            return;
        }
    }
}

QString PellixGsmModem::readIccid()
{
    for (const char *line : {"AT+CCID", "AT^ICCID?", "AT+ICCID", "AT+QCCID"}) {
        const AtResponse answer = exec(AtCommand::bare(line, localTimeout()), false);
        if (!answer.ok())
            continue;
        if (const QString iccid = facts::iccid(answer.lines); !iccid.isEmpty())
            return iccid;
    }
    // 27.007 8.18: the SIM's EF ICCID (2FE2) itself, READ BINARY of its 10 octets.
    const AtResponse record = tryCommand("AT+CRSM=176,12258,0,0,10", "+CRSM:", localTimeout());
    return record.ok() && !record.lines.isEmpty() ? facts::iccidFromRecord(record.lines.last()) : QString();
}

SmscFacts PellixGsmModem::readSmsc()
{
    Operation op(*this);
    requireConnected();
    const AtResponse answer = offered(AtCommand::prefixed("AT+CSCA?", "+CSCA:", localTimeout()));
    for (const QByteArray &line : answer.lines) {
        if (const auto smsc = facts::smsc(line))
            return *smsc;
    }
    raise(ErrorCode::UnexpectedAnswer, QStringLiteral("AT+CSCA? gave no +CSCA line"));
}

void PellixGsmModem::setSmsc(const QString &number)
{
    Operation op(*this);
    if (const QString why = smscRefusal(number); !why.isEmpty())
        raise(ErrorCode::InvalidArgument, why);
    requireConnected();
    offered(AtCommand::plain("AT+CSCA=\"" + number.toLatin1() + "\"," + detail::num(detail::numberType(number)),
                             localTimeout()));
}

QList<StorageUse> PellixGsmModem::readStorage()
{
    Operation op(*this);
    requireConnected();
    AtCommand cpms = AtCommand::prefixed("AT+CPMS?", "+CPMS:", localTimeout());
    cpms.finalMayBeMissing = m_profile->cpmsWithoutOk;
    const AtResponse answer = offered(cpms);
    for (const QByteArray &line : answer.lines) {
        if (QList<StorageUse> uses = facts::storageUse(line); !uses.isEmpty())
            return uses;
    }
    raise(ErrorCode::UnexpectedAnswer, QStringLiteral("AT+CPMS? gave no storage"));
}

} // namespace pellix
