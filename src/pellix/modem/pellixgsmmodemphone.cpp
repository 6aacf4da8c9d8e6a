// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pellixerror.h"

#include <algorithm>

namespace pellix {

using detail::checkDialString;
using detail::num;
using detail::numberType;

namespace {

// What modules announce as they start (protocol notes 7), also between the first answers.
bool isStartAnnouncement(const QByteArray &line)
{
    static const char *const Lines[] = {"RDY", "CALL READY", "SMS READY", "PB DONE", "SMS DONE"};
    const QByteArray upper = line.toUpper();
    return std::any_of(std::begin(Lines), std::end(Lines), [&upper](const char *known) { return upper == known; });
}

QString plainIdentity(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    // 27.007 5.x answers are the bare value; a few modems put the command's name in front.
    QStringList parts;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (isStartAnnouncement(line))
            continue;
        if (line.startsWith(prefix)) {
            line = line.mid(prefix.size()).trimmed();
        } else if (line.startsWith('+') || line.startsWith('^')) {
            continue;  // a result code or vendor status line among the answer, not the answer
        }
        if (std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; }))
            continue;  // line noise
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        if (!line.isEmpty())
            parts << replies::modemText(line).trimmed();
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

template <typename Parse>
auto PellixGsmModem::queryValue(const QByteArray &line, const QByteArray &prefix, Parse parse, const char *missing)
{
    const AtResponse answer = query(line, prefix, localTimeout());
    const auto value = answer.lines.isEmpty() ? decltype(parse(QByteArray()))() : parse(answer.lines.first());
    if (!value)
        raise(ErrorCode::UnexpectedAnswer, QStringLiteral("%1 gave no %2").arg(QString::fromLatin1(line), QLatin1String(missing)));
    return *value;
}

void PellixGsmModem::clearIdentity()
{
    m_manufacturer.clear();
    m_model.clear();
    m_revision.clear();
    m_imei.clear();
}

QString PellixGsmModem::identity(const QByteArray &cmd, bool optional)
{
    // Some modems (Wavecom) refuse +CGMR; an identity that is missing is not worth failing for.
    const AtResponse answer = exec(AtCommand::bare(cmd, localTimeout()), !optional);
    if (answer.final != FinalCode::Ok)
        return QString();
    return plainIdentity(answer.lines, cmd.mid(2) + ':');
}

bool PellixGsmModem::GetSignalQuality(qint16 &rssi, qint16 &ber)
{
    Operation op(*this);
    requireConnected();
    const auto quality = queryValue("AT+CSQ", "+CSQ:", replies::signalQuality, "signal quality");
    rssi = qint16(quality.rssi);
    ber = qint16(quality.ber);
    // 27.007 8.5: 99 is "not known or not detectable", never sufficient.
    return quality.rssi >= 11 && quality.rssi <= 31;
}

qint16 PellixGsmModem::PhonebookCount()
{
    Operation op(*this);
    requireConnected();
    const auto use = queryValue("AT+CPBS?", "+CPBS:", replies::phonebookStorage, "entry count");
    return qint16(qBound(0, use.used, 32767));
}

QList<PhonebookEntry> PellixGsmModem::ReadPhonebook(qint32 first, qint32 last)
{
    Operation op(*this);
    requireConnected();
    if (first < 0 || last < 0 || (last != 0 && last < first))
        raise(ErrorCode::InvalidArgument, QStringLiteral("phonebook range %1..%2").arg(first).arg(last));
    if (first == 0 && last == 0) {
        const auto bounds = queryValue("AT+CPBR=?", "+CPBR:", replies::phonebookRange, "index range");
        first = bounds.first;
        last = bounds.last;
    } else if (last == 0) {
        last = first;
    }
    // An empty range is answered with OK alone by some modems and +CME ERROR 22 (not found) by
    // others; both mean no entries.
    const QByteArray read = "AT+CPBR=" + num(first) + ',' + num(last);
    const AtResponse answer = tryCommand(read, "+CPBR:", listTimeout());
    if (answer.final == FinalCode::CmeError && answer.errorCode == 22)
        return {};
    if (answer.final != FinalCode::Ok)
        AtChannel::raiseFor(answer, read);
    QList<PhonebookEntry> entries;
    for (const QByteArray &line : answer.lines) {
        const auto row = replies::phonebookRow(line);
        if (!row) {
            note(QStringLiteral("phonebook line not understood: %1").arg(QString::fromLatin1(line)));
            continue;
        }
        entries << PhonebookEntry{qint16(row->index), row->text, row->number};
    }
    return entries;
}

void PellixGsmModem::WritePhonebookEntry(PhonebookEntry &entry)
{
    Operation op(*this);
    requireConnected();
    checkDialString(entry.Number);
    if (entry.Name.contains(QLatin1Char('"')))
        raise(ErrorCode::InvalidArgument, QStringLiteral("a phonebook name cannot hold '\"'"));
    command("AT+CPBW=" + num(entry.Index) + ',' + replies::quoted(entry.Number) + ',' + num(numberType(entry.Number))
                + ',' + replies::quoted(entry.Name),
            listTimeout());
    // Read back what the SIM holds now: it may have cut the name or normalised the number.
    const AtResponse answer = tryCommand("AT+CPBR=" + num(entry.Index), "+CPBR:", listTimeout());
    if (answer.final == FinalCode::Ok && !answer.lines.isEmpty()) {
        if (const auto row = replies::phonebookRow(answer.lines.first())) {
            entry.Index = qint16(row->index);
            entry.Name = row->text;
            entry.Number = row->number;
        }
    }
}

void PellixGsmModem::DeletePhonebookEntry(qint16 position)
{
    Operation op(*this);
    requireConnected();
    command("AT+CPBW=" + num(position), listTimeout());
}

QString PellixGsmModem::ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number)
{
    Operation op(*this);
    requireConnected();
    if (mode < 0 || mode > 4)
        raise(ErrorCode::InvalidArgument, QStringLiteral("forwarding mode %1 (0 to 4)").arg(mode));
    if (reason < 0 || reason > 5)
        raise(ErrorCode::InvalidArgument, QStringLiteral("forwarding reason %1 (0 to 5)").arg(reason));
    if (callClass < 1 || callClass > 255)
        raise(ErrorCode::InvalidArgument, QStringLiteral("call class %1 (1 to 255)").arg(callClass));
    const QByteArray head = "AT+CCFC=" + num(reason) + ',';
    if (mode == 3) {
        checkDialString(number);
        command(head + "3," + replies::quoted(number) + ',' + num(numberType(number)) + ',' + num(callClass),
                m_networkTimeoutMs);
    } else if (mode != 2) {
        command(head + num(mode) + ",,," + num(callClass), m_networkTimeoutMs);
    }
    // The answer names every class with its state (27.007 7.11); the one asked about decides.
    const AtResponse answer = query(head + '2', "+CCFC:", m_networkTimeoutMs);
    for (const QByteArray &line : answer.lines) {
        const auto row = replies::forwardingRow(line);
        if (row && row->status == 1 && (row->callClass & callClass))
            return row->number;
    }
    return QString();
}

} // namespace pellix
