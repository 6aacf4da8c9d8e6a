// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pellixerror.h"
#include "plainidentity.h"

#include <algorithm>

namespace pellix {

using detail::checkDialString;
using detail::num;
using detail::numberType;

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

phonebook::Session &PellixGsmModem::textSession()
{
    using phonebook::Charset;
    if (m_text && m_text->connection == m_connection)
        return *m_text;
    phonebook::Session session;
    session.connection = m_connection;
    // 27.007 5.5: the read form tells the modem's own set, the test form what it offers; one line
    // for both, and the test form alone for a modem that refuses the pair.
    QByteArray own;
    QList<QByteArray> offered;
    AtResponse answer = tryCommand("AT+CSCS?;+CSCS=?", "+CSCS:", localTimeout());
    if (answer.ok() && answer.lines.size() >= 2) {
        own = phonebook::currentSet(answer.lines.at(0));
        offered = phonebook::offeredSets(answer.lines.at(1));
    } else {
        answer = tryCommand("AT+CSCS=?", "+CSCS:", localTimeout());
        if (answer.ok() && !answer.lines.isEmpty())
            offered = phonebook::offeredSets(answer.lines.first());
    }
    session.own = phonebook::charsetNamed(own);
    // UCS2 carries every name, GSM the European ones, IRA ASCII alone.
    for (Charset set : {Charset::Ucs2, Charset::Gsm, Charset::Ira}) {
        const QByteArray name = phonebook::name(set);
        if (!offered.contains(name) || (own != name && !selectSet(name, session.own == Charset::Ucs2)))
            continue;
        session.set = set;
        session.inSet = true;
        break;
    }
    // The modem's own set comes back after each operation, so that what else it says (numbers of
    // +CLIP, storage names of +CMTI) stays as it was; one it did not name is the usual default.
    if (!own.isEmpty())
        session.restore = own;
    else if (offered.contains("GSM"))
        session.restore = "GSM";
    else if (offered.contains("IRA"))
        session.restore = "IRA";
    if (session.set == Charset::Unknown || session.restore == phonebook::name(session.set))
        session.restore.clear();
    note(QStringLiteral("phonebook text in %1 (the modem's own set %2)")
             .arg(QString::fromLatin1(phonebook::name(session.set)),
                  own.isEmpty() ? QStringLiteral("not known") : QString::fromLatin1(own)));
    m_text = session;
    return *m_text;
}

bool PellixGsmModem::selectSet(const QByteArray &set, bool fromUcs2)
{
    if (tryCommand("AT+CSCS=\"" + set + '"', QByteArray(), localTimeout()).ok())
        return true;
    // A modem that writes every string in UCS2 wants the set's name so too (gammu met such).
    return fromUcs2
        && tryCommand("AT+CSCS=\"" + phonebook::encodeText(QString::fromLatin1(set), phonebook::Charset::Ucs2) + '"',
                      QByteArray(), localTimeout()).ok();
}

template <typename Work>
auto PellixGsmModem::inPhonebookSet(Work work)
{
    phonebook::Session &session = textSession();
    if (!session.inSet && session.set != phonebook::Charset::Unknown) {
        const QByteArray set = phonebook::name(session.set);
        if (!selectSet(set, session.own == phonebook::Charset::Ucs2))
            raise(ErrorCode::ModemAnsweredError, QStringLiteral("the modem no longer takes AT+CSCS=\"%1\"").arg(QString::fromLatin1(set)));
        session.inSet = true;
    }
    const quint64 connection = m_connection;
    const auto putBack = [this, connection] {
        if (m_connection != connection || !m_text || m_text->restore.isEmpty() || !m_text->inSet || m_status != Connected)
            return;
        m_text->inSet = false;
        try {
            if (!selectSet(m_text->restore, m_text->set == phonebook::Charset::Ucs2))
                note(QStringLiteral("the modem's own set %1 could not be put back").arg(QString::fromLatin1(m_text->restore)));
        } catch (const RaisedError &error) {
            note(QStringLiteral("the modem's own set could not be put back: %1").arg(error.description()));
        }
    };
    try {
        auto result = work(session);
        putBack();
        return result;
    } catch (...) {
        putBack();
        throw;
    }
}

PhonebookEntry PellixGsmModem::phonebookEntry(const replies::PhonebookRow &row)
{
    const phonebook::Charset set = m_text ? m_text->set : phonebook::Charset::Unknown;
    if (set == phonebook::Charset::Ucs2 && !row.numberField.isEmpty())
        m_text->hexNumbers = phonebook::isHexNumber(row.numberField);
    const QString number = replies::internationalNumber(phonebook::decodeNumber(row.numberField, set), row.type);
    return PhonebookEntry{qint16(row.index), phonebook::decodeText(row.textField, set), number};
}

qint16 PellixGsmModem::PhonebookCount()
{
    Operation op(*this);
    requireConnected();
    const auto use = queryValue("AT+CPBS?", "+CPBS:", replies::phonebookStorage, "entry count");
    if (use.used >= 0)
        return qint16(qBound(0, use.used, 32767));
    // Some modems answer +CPBS: "SM" without counts. 0 would send the console to position 1,
    // over an entry: the entries are counted instead.
    const auto bounds = queryValue("AT+CPBR=?", "+CPBR:", replies::phonebookRange, "index range");
    const QByteArray read = "AT+CPBR=" + num(bounds.first) + ',' + num(bounds.last);
    const AtResponse answer = exec(listingCommand(AtCommand::prefixed(read, "+CPBR:", listTimeout()),
                                                  bounds.last - bounds.first + 1), false);
    if (answer.final == FinalCode::CmeError && answer.errorCode == 22)
        return 0;
    if (answer.final != FinalCode::Ok)
        AtChannel::raiseFor(answer, read);
    const auto rows = std::count_if(answer.lines.begin(), answer.lines.end(),
                                    [](const QByteArray &line) { return replies::phonebookRow(line).has_value(); });
    return qint16(qMin<qsizetype>(rows, 32767));
}

QList<PhonebookEntry> PellixGsmModem::ReadPhonebook(qint32 first, qint32 last)
{
    Operation op(*this);
    requireConnected();
    if (first < 0 || last < 0 || (last != 0 && last < first))
        raise(ErrorCode::InvalidArgument, QStringLiteral("phonebook range %1..%2").arg(first).arg(last));
    return inPhonebookSet([&](phonebook::Session &session) {
        if (first == 0 && last == 0) {
            const auto bounds = queryValue("AT+CPBR=?", "+CPBR:", replies::phonebookRange, "index range");
            first = bounds.first;
            last = bounds.last;
            session.nameLength = bounds.textLength;
            session.nameLengthAsked = true;
        } else if (last == 0) {
            last = first;
        }
        // An empty range is answered with OK alone by some modems and +CME ERROR 22 (not found) by
        // others; both mean no entries.
        const QByteArray read = "AT+CPBR=" + num(first) + ',' + num(last);
        const AtResponse answer = exec(listingCommand(AtCommand::prefixed(read, "+CPBR:", listTimeout()),
                                                      last - first + 1), false);
        QList<PhonebookEntry> entries;
        if (answer.final == FinalCode::CmeError && answer.errorCode == 22)
            return entries;
        if (answer.final != FinalCode::Ok)
            AtChannel::raiseFor(answer, read);
        for (const QByteArray &line : answer.lines) {
            const auto row = replies::phonebookRow(line);
            if (!row) {
                note(QStringLiteral("phonebook line not understood: %1").arg(QString::fromLatin1(line)));
                continue;
            }
            entries << phonebookEntry(*row);
        }
        return entries;
    });
}

void PellixGsmModem::WritePhonebookEntry(PhonebookEntry &entry)
{
    Operation op(*this);
    requireConnected();
    checkDialString(entry.Number);
    if (entry.Name.contains(QLatin1Char('"')))
        raise(ErrorCode::InvalidArgument, QStringLiteral("a phonebook name cannot hold '\"'"));
    inPhonebookSet([&](phonebook::Session &session) {
        using phonebook::Charset;
        // A name the storage cannot hold is refused here: a modem would cut or mangle it.
        const QByteArray name = phonebook::encodeText(entry.Name, session.set);
        if (!session.nameLengthAsked) {
            session.nameLengthAsked = true;
            const AtResponse range = tryCommand("AT+CPBR=?", "+CPBR:", localTimeout());
            const auto bounds = range.ok() && !range.lines.isEmpty() ? replies::phonebookRange(range.lines.first()) : std::nullopt;
            session.nameLength = bounds ? bounds->textLength : -1;
        }
        const int length = phonebook::textLength(entry.Name, session.set);
        if (session.nameLength >= 0 && length > session.nameLength)
            raise(ErrorCode::InvalidArgument, QStringLiteral("the name \"%1\" takes %2 characters in the %3 set; the phonebook holds %4")
                  .arg(entry.Name).arg(length).arg(QString::fromLatin1(phonebook::name(session.set))).arg(session.nameLength));
        const auto write = [&](const QByteArray &number) {
            return "AT+CPBW=" + num(entry.Index) + ",\"" + number + "\"," + num(numberType(entry.Number)) + ",\"" + name + '"';
        };
        // In UCS2 most modems want the number in hex as well, some plainly: plain first, unless
        // this modem has shown its numbers in hex; a refusal for its characters tries hex.
        const bool ucs2 = session.set == Charset::Ucs2;
        const bool hexFirst = ucs2 && session.hexNumbers.value_or(false);
        QByteArray line = write(hexFirst ? phonebook::hexNumber(entry.Number) : entry.Number.toLatin1());
        AtResponse answer = tryCommand(line, QByteArray(), listTimeout());
        const bool forCharacters = answer.final == FinalCode::Error
            || (answer.final == FinalCode::CmeError && (answer.errorCode == 25 || answer.errorCode == 27));
        if (!answer.ok() && ucs2 && !session.hexNumbers && forCharacters) {
            const QByteArray hexLine = write(phonebook::hexNumber(entry.Number));
            const AtResponse hex = tryCommand(hexLine, QByteArray(), listTimeout());
            if (hex.ok()) {
                session.hexNumbers = true;
                answer = hex;
            }
        }
        if (!answer.ok())
            AtChannel::raiseFor(answer, line);
        // Read back what the SIM holds now: it may have normalised the number.
        const AtResponse back = tryCommand("AT+CPBR=" + num(entry.Index), "+CPBR:", listTimeout());
        if (back.final == FinalCode::Ok && !back.lines.isEmpty()) {
            if (const auto row = replies::phonebookRow(back.lines.first()))
                entry = phonebookEntry(*row);
        }
        return true;
    });
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
