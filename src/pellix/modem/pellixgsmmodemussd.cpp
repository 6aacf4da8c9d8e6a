// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/unsolicited.h"
#include "modem/factreplies.h"
#include "modem/phonebooktext.h"
#include "modem/ussdtext.h"
#include "pellixerror.h"
#include "transport/bytetransport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace pellix {
namespace {

// A +CUSD text in plain letters may hold line breaks: the line ends inside its quotes, and the
// rest follows on lines of its own. Beyond this it is noise that opened a quote.
constexpr qsizetype LongestAnswer = 4096;

bool quoteOpen(const QByteArray &line)
{
    return line.count('"') % 2 != 0;
}

bool isUssdCode(const QString &code)
{
    return !code.isEmpty() && std::all_of(code.begin(), code.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*') || c == QLatin1Char('#')
            || c == QLatin1Char('+');
    });
}

// A line that is a result code of the modem's ("+CMTI: ...", "^RSSI: 17", "+QIND: ..."), not a
// line of a text a network wrote: a known code, or '+' or '^', a name in capitals and a colon.
bool isUnsolicitedCode(const Unsolicited &code)
{
    if (code.kind != UnsolicitedKind::Unknown)
        return true;
    const QByteArray &line = code.line;
    if (line.size() < 3 || (line.at(0) != '+' && line.at(0) != '^'))
        return false;
    qsizetype end = 1;
    while (end < line.size() && ((line.at(end) >= 'A' && line.at(end) <= 'Z') || (line.at(end) >= '0' && line.at(end) <= '9')))
        ++end;
    return end > 1 && end < line.size() && line.at(end) == ':';
}

} // namespace

QByteArray PellixGsmModem::ussdCharset()
{
    const AtResponse answer = tryCommand("AT+CSCS?", "+CSCS:", localTimeout());
    return answer.ok() && !answer.lines.isEmpty() ? phonebook::currentSet(answer.lines.last()).toUpper() : QByteArray();
}

QByteArray PellixGsmModem::ussdArgument(const QString &text, const QByteArray &charset, bool packed) const
{
    // "HEX" leaves the coding to us: the network's own, packed 7-bit.
    if (packed || charset == "HEX")
        return ussd::packedHex(text);
    if (charset == "UCS2") {
        QByteArray hex;
        for (QChar c : text)
            hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
        return hex;
    }
    return text.toLatin1();
}

UssdAnswer PellixGsmModem::sendUssd(const QString &code, int timeoutMs)
{
    if (!isUssdCode(code))
        raise(ErrorCode::InvalidArgument,
              QStringLiteral("\"%1\" is no USSD code (the digits 0 to 9, * and #, as *100#)").arg(code));
    return ussdExchange(code, false, timeoutMs);
}

UssdAnswer PellixGsmModem::replyUssd(const QString &text, int timeoutMs)
{
    for (QChar c : text) {
        if (c == QLatin1Char('"') || c.unicode() < 0x20)
            raise(ErrorCode::InvalidArgument, QStringLiteral("a USSD reply cannot hold quotes or control characters"));
    }
    if (text.isEmpty())
        raise(ErrorCode::InvalidArgument, QStringLiteral("the USSD reply is empty"));
    return ussdExchange(text, true, timeoutMs);
}

UssdAnswer PellixGsmModem::ussdExchange(const QString &text, bool reply, int timeoutMs)
{
    Operation op(*this);
    requireConnected();
    if (reply && !m_ussdOpen)
        raise(ErrorCode::InvalidArgument, QStringLiteral("no USSD session waits for a reply (the network's last "
                                                         "answer asked for none)"));
    const int budgetMs = timeoutMs > 0 ? timeoutMs : m_networkTimeoutMs;
    QElapsedTimer clock;
    clock.start();
    const QByteArray charset = ussdCharset();
    // An answer of an earlier session that came after its caller stopped waiting answers
    // nothing of this one.
    if (m_channel) {
        for (const Unsolicited &code : m_channel->takeUnsolicited()) {
            if (code.kind == UnsolicitedKind::Cusd)
                note(QStringLiteral("late USSD answer ignored: %1").arg(QString::fromLatin1(code.line)));
            else
                handle(code);
        }
    }
    m_ussdPartial.clear();
    m_ussdOpen = false;

    const auto cancelQuietly = [this] {
        try {
            if (m_status == Connected && m_channel)
                tryCommand("AT+CUSD=2", QByteArray(), localTimeout());
        } catch (const RaisedError &error) {
            note(QStringLiteral("USSD cancel: %1").arg(error.description()));
        }
    };
    // The text as the modem's set writes it; a modem that refuses it may want it packed, as the
    // network carries it (Huawei, Qualcomm).
    const bool packedFirst = charset == "HEX";
    for (bool packed : {packedFirst, true}) {
        const QByteArray line = "AT+CUSD=1,\"" + ussdArgument(text, charset, packed) + "\",15";
        const int leftMs = int(qMax<qint64>(1, budgetMs - clock.elapsed()));
        AtResponse sent;
        try {
            // Some modems answer OK only once the network has answered.
            sent = tryCommand(line, QByteArray(), qMax(leftMs, localTimeout()));
        } catch (const RaisedError &error) {
            if (error.number() != libraryErrorNumber(quint16(ErrorCode::Timeout)))
                throw;
            cancelQuietly();
            return UssdAnswer{};
        }
        if (sent.ok())
            break;
        if (!refusedAsUnknown(sent))
            AtChannel::raiseFor(sent, line);
        if (packed) {
            // What came meanwhile may still say why (+CUSD: 4).
            if (auto answer = takeUssd(charset); answer && answer->status == UssdStatus::NotSupported)
                return *answer;
            throw notSupportedError(QStringLiteral("AT+CUSD"), QString::fromLatin1(sent.finalLine));
        }
        note(QStringLiteral("USSD refused in the %1 set: trying it packed").arg(QString::fromLatin1(charset)));
    }
    const int leftMs = int(qMax<qint64>(0, budgetMs - clock.elapsed()));
    const std::optional<UssdAnswer> answer = awaitUssd(charset, leftMs);
    if (!answer) {
        note(QStringLiteral("no USSD answer within %1 ms: cancelling the session").arg(budgetMs));
        cancelQuietly();
        return UssdAnswer{};
    }
    m_ussdOpen = answer->status == UssdStatus::MoreExpected;
    return *answer;
}

std::optional<UssdAnswer> PellixGsmModem::awaitUssd(const QByteArray &charset, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (auto answer = takeUssd(charset))
            return answer;
        if (m_status != Connected || !m_channel || !m_transport || !m_transport->isOpen())
            raise(ErrorCode::ConnectionLost, QStringLiteral("the link dropped while the USSD answer was awaited"));
        if (!m_channel->restartEvidence().isEmpty())
            raise(ErrorCode::ModemRestarted, QStringLiteral("while the USSD answer was awaited (%1)")
                                                 .arg(m_channel->restartEvidence()));
        if (deadline.hasExpired())
            return std::nullopt;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(m_channel.get(), &AtChannel::unsolicitedArrived, &loop, &QEventLoop::quit);
        connect(m_transport.get(), &ByteTransport::failed, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        connect(this, &GsmModem::NewStatus, &loop, &QEventLoop::quit);
        timer.start(int(qMax<qint64>(0, deadline.remainingTime())));
        loop.exec();
    }
}

std::optional<UssdAnswer> PellixGsmModem::takeUssd(const QByteArray &charset)
{
    if (!m_channel)
        return std::nullopt;
    std::optional<UssdAnswer> found;
    for (const Unsolicited &code : m_channel->takeUnsolicited()) {
        QByteArray line;
        if (!m_ussdPartial.isEmpty() && code.kind == UnsolicitedKind::Cusd) {
            note(QStringLiteral("USSD answer without its closing quote dropped"));
            m_ussdPartial.clear();
        }
        if (!m_ussdPartial.isEmpty() && isUnsolicitedCode(code)) {
            // A modem's own codes fall between the lines of a text too (^RSSI:, +CMTI:): they
            // are its events, not the network's words.
            handle(code);
            continue;
        }
        if (!m_ussdPartial.isEmpty()) {
            m_ussdPartial += '\n' + code.line;
            if (m_ussdPartial.size() > LongestAnswer) {
                note(QStringLiteral("USSD answer without its closing quote dropped"));
                m_ussdPartial.clear();
                continue;
            }
            if (quoteOpen(m_ussdPartial))
                continue;
            line = std::exchange(m_ussdPartial, QByteArray());
        } else if (code.kind == UnsolicitedKind::Cusd) {
            if (quoteOpen(code.line)) {
                m_ussdPartial = code.line;
                continue;
            }
            line = code.line;
        } else {
            handle(code);
            continue;
        }
        const std::optional<facts::UssdCode> parsed = facts::ussdCode(line);
        if (!parsed) {
            note(QStringLiteral("USSD answer not understood: %1").arg(QString::fromLatin1(line)));
            continue;
        }
        if (found) {
            note(QStringLiteral("further USSD answer ignored: %1").arg(QString::fromLatin1(line)));
            continue;
        }
        UssdAnswer answer;
        answer.status = UssdStatus(parsed->status);
        answer.dcs = parsed->dcs;
        answer.text = ussd::decode(parsed->str, parsed->dcs, charset);
        found = answer;
    }
    return found;
}

void PellixGsmModem::cancelUssd()
{
    Operation op(*this);
    requireConnected();
    const bool open = std::exchange(m_ussdOpen, false);
    const AtResponse answer = tryCommand("AT+CUSD=2", QByteArray(), localTimeout());
    // Many modems answer ERROR when there is no session to end: nothing is left open then.
    if (answer.ok() || !open)
        return;
    if (refusedAsUnknown(answer))
        throw notSupportedError(QStringLiteral("AT+CUSD=2"), QString::fromLatin1(answer.finalLine));
    AtChannel::raiseFor(answer, "AT+CUSD=2");
}

} // namespace pellix
