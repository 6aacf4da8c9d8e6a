// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "transport/bytetransport.h"
#include "transport/serialtransport.h"
#include "transport/tracelog.h"

#include <algorithm>

namespace pellix {

using detail::num;

namespace {

constexpr char Esc = 0x1B;
// The drain after ESC: an OK that ends a prompt, or the ERROR of a half-typed line, arrives
// within a few milliseconds even at 9600 baud; bytes that keep coming are taken until the line
// is quiet. The most a previous session can have left coming is the listing of a full storage
// (a program killed during its +CMGL: some 20 KB, 21 s at 9600 baud): taken to its end, or its
// final OK would pass for the answer to this session's first command, and every answer after it
// for the one before. A line that never falls quiet is given up after a minute.
constexpr int DrainQuietMs = 50;
constexpr int DrainMaxMs = 60000;
// Once an answer has shown the line out of step, what is still on its way (the answer to our own
// line, at the modem's speed) must come before the line counts as quiet.
constexpr int ResyncQuietMs = 1000;
// The wake-up's answer does not matter (gammu: "We don't need to check whether this fails"),
// only whether anything at all comes back. With the stale-reply grace of the channel and the
// shortened deadline of the init line after a wake-up that heard nothing, a silent port is given
// up within 2 s.
constexpr int WakeUpTimeoutMs = 500;
constexpr int SilentInitTimeoutMs = 1200;
// Modules need up to about 20 s after power-up or the PIN before their message and phonebook
// stacks answer (protocol notes 7); retries back off from a quarter second to two.
constexpr int SimPatienceMs = 20000;
constexpr int FirstBackOffMs = 250;
constexpr int MaxBackOffMs = 2000;
// A setting sent while the connection ends must not hold the caller long.
constexpr int ClosingTimeoutMs = 2000;

bool isCode(const AtResponse &answer, FinalCode final, int code)
{
    return answer.final == final && answer.errorCode == code;
}

// 27.007 9.2: 14 "SIM busy", 515 "please wait, init or command processing in progress";
// 27.005 3.2.5: 314 "SIM busy".
bool answersBusy(const AtResponse &answer)
{
    return isCode(answer, FinalCode::CmeError, 14) || isCode(answer, FinalCode::CmeError, 515)
        || isCode(answer, FinalCode::CmsError, 314);
}

// 302 "operation not allowed" and 500 "unknown error" are what some modules answer while their
// message stack starts; from a ready modem they are real refusals, so they count only while the
// SIM is known to be starting.
bool answersBusyWhileStarting(const AtResponse &answer)
{
    return isCode(answer, FinalCode::CmsError, 302) || isCode(answer, FinalCode::CmsError, 500);
}

// The commands that need the SIM's message or phonebook storage after Connect.
bool needsSimStorage(const QByteArray &line)
{
    static const char *const Prefixes[] = {"AT+CPMS", "AT+CMGL", "AT+CMGR", "AT+CMGD", "AT+CPBS",
                                           "AT+CPBR", "AT+CPBW", "AT+CPBF", "AT+CNUM"};
    for (const char *prefix : Prefixes)
        if (line.startsWith(prefix))
            return true;
    return false;
}

} // namespace

void PellixGsmModem::wakeUp()
{
    // A modem left inside a +CMGS prompt (a program killed mid-send) takes every command as PDU
    // text until ESC cancels the entry (27.005 3.5.1); the CR ends a half-typed line.
    const QByteArray escape(1, Esc);
    if (m_trace)
        m_trace->sent(escape + '\r');
    if (!m_transport->write(escape + '\r'))
        raise(ErrorCode::ConnectionLost, m_transport->errorText());
    drainLine(DrainQuietMs);

    // Wakes a sleeping or autobauding modem. Its answer may be missing (quiet mode) or be the
    // last program's: only whether the modem said anything at all counts.
    const auto heard = [this] {
        return m_channel->statistics().discardedLines + m_channel->queuedUnsolicited();
    };
    const qint64 before = heard();
    try {
        tryCommand("AT", QByteArray(), WakeUpTimeoutMs);
        m_modemAnswered = true;
    } catch (const RaisedError &error) {
        if (error.number() != libraryErrorNumber(quint16(ErrorCode::Timeout)))
            throw;
        m_wakeUpUnanswered = heard() == before;
        // Heard but not answered: quiet mode. The settings line sets Q0 and, echoed, is told from
        // anything late; a draining AT would go unanswered like the wake-up.
        if (!m_wakeUpUnanswered)
            m_channel->skipResync();
        note(m_wakeUpUnanswered ? QStringLiteral("no answer to the wake-up AT")
                                : QStringLiteral("the wake-up AT was heard but not answered (quiet mode?)"));
    }
}

void PellixGsmModem::drainLine(int quietMs)
{
    // What the ESC brings and what a previous session left on the line answers nothing of ours.
    // Counted on the modem's time, which the pauses let run (a virtual modem's clock may be a
    // test's own).
    QByteArray junk;
    int waited = 0;
    int quiet = 0;
    while (waited < DrainMaxMs && quiet < quietMs) {
        m_transport->pause(DrainQuietMs);
        waited += DrainQuietMs;
        quiet += DrainQuietMs;
        // A serial port's bytes that came during the pause are still the device's until looked for.
        m_transport->waitForBytes(QDeadlineTimer(0));
        const QByteArray more = m_transport->takeAvailable();
        if (more.isEmpty())
            continue;
        junk += more;
        quiet = 0;
    }
    if (!junk.isEmpty() && waited >= 1000)
        note(QStringLiteral("the line was drained of %1 bytes a previous session left coming (%2 s)")
                 .arg(junk.size()).arg(double(waited) / 1000, 0, 'f', 1));
    if (!m_trace)
        return;
    for (const QByteArray &line : junk.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            m_trace->discarded(text);
    }
}

void PellixGsmModem::initialise()
{
    // Q0 brings back the result codes of a modem left quiet; the test forms ride on the same
    // line (V.250 5.2.1), each answer told apart by its prefix. Another test form fits here too.
    const QByteArray echo = m_profile->echo ? "ATE1Q0V1" : "ATE0Q0V1";
    const QByteArray cmee = "+CMEE=" + num(m_profile->cmeeMode);
    const QByteArray probe = "+CNMI=?;+CSMS=?";
    AtResponse answer;
    // An OK to this line without the +CNMI: that +CNMI=? must bring (27.005 3.4.1) is no answer to
    // it: it is the end of what a previous session left coming (a listing still under way when
    // that program was killed) that the drain ended before. Taken as the answer, it would put
    // every answer after it one command behind (the IMEI read as the model). What is still
    // coming is drained, and the line asked again.
    constexpr int InitAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        try {
            answer = exec(AtCommand::bare(echo + cmee + ';' + probe,
                                          m_wakeUpUnanswered ? SilentInitTimeoutMs : localTimeout()),
                          false);
        } catch (const RaisedError &error) {
            // Neither the wake-up nor the first settings line: whatever is behind the port, it
            // does not take AT commands.
            if (error.number() == libraryErrorNumber(quint16(ErrorCode::Timeout)) && !m_modemAnswered)
                raise(ErrorCode::Timeout, silentPortText());
            throw;
        }
        const bool described = std::any_of(answer.lines.cbegin(), answer.lines.cend(),
                                           [](const QByteArray &line) { return line.startsWith("+CNMI:"); });
        if (!answer.ok() || described || attempt == InitAttempts)
            break;
        note(QStringLiteral("OK without +CNMI: to the settings line, an answer left over from before: the line is "
                            "drained and the settings sent again"));
        drainLine(ResyncQuietMs);
    }
    m_modemAnswered = true;
    if (answer.ok()) {
        readCapabilities(answer.lines);
        return;
    }
    // A modem that refuses the joined line: one setting at a time, error reporting and the test
    // forms optional (without them the profile's settings are taken as they are).
    command(echo, localTimeout());
    tryCommand("AT" + cmee, QByteArray(), localTimeout());
    answer = exec(AtCommand::bare("AT" + probe, localTimeout()), false);
    if (!answer.ok())
        answer = exec(AtCommand::prefixed("AT+CNMI=?", "+CNMI:", localTimeout()), false);
    if (answer.ok())
        readCapabilities(answer.lines);
}

void PellixGsmModem::readCapabilities(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        if (line.startsWith("+CNMI:"))
            m_cnmiSupport = TestRanges::parse(line, "+CNMI:");
        else if (line.startsWith("+CSMS:"))
            m_csmsOffered = TestRanges::parse(line, "+CSMS:").values.value(0).contains(1);
    }
}

QString PellixGsmModem::silentPortText() const
{
    QString where = QStringLiteral("COM%1").arg(m_port);
    QString speed;
    if (const auto *serial = dynamic_cast<const SerialTransport *>(m_transport.get())) {
        where = serial->displayName();
        speed = QStringLiteral(", at %1 baud").arg(serial->baudRate());
    } else if (m_profile && m_profile->code == -1) {
        where = QStringLiteral("the virtual modem");
    }
    const QString what = (m_wakeUpUnanswered ? QStringLiteral("nothing came back within 2 s of the wake-up AT")
                                             : QStringLiteral("it sends something, but no answer to AT"))
        + speed;
    return QStringLiteral("%1 does not answer AT commands (%2). Likely causes: the wrong port of a USB modem that "
                          "makes several (only one or two of its ports take AT commands; /dev/serial/by-id tells "
                          "them apart), a wrong speed, or a diagnostics or GPS port; see the help topic \"Modem ports\"")
        .arg(where, what);
}

void PellixGsmModem::checkSim(const QString &pin)
{
    const QByteArray state = simState();
    if (state == "READY")
        return;
    if (state == "SIM PIN" && !pin.isEmpty()) {
        // ASCII digits only: QChar::isDigit takes every script's digits, which toLatin1 would
        // turn into '?' and the SIM count as a wrong PIN.
        for (QChar c : pin)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                raise(ErrorCode::InvalidArgument, QStringLiteral("the PIN may hold the digits 0 to 9 only"));
        // A wrong PIN on the last attempt locks the SIM behind its PUK: only a caller who said
        // so takes that risk.
        if (!m_forcePin) {
            SimFacts attempts;
            readPinAttempts(attempts);
            if (attempts.pinAttempts == 1)
                raise(ErrorCode::PinRequired,
                      QStringLiteral("the SIM has 1 attempt left for its PIN, and a wrong one would lock it behind its "
                                     "PUK: the PIN was not entered. Check it, then force it (pellix --force-pin)"));
        }
        command("AT+CPIN=\"" + pin.toLatin1() + '"', localTimeout());
        // The SIM opens its files after the PIN: the modem may answer busy for a while, and
        // +CPIN? says when the SIM itself is ready.
        m_patience.settling = true;
        m_patience.nextMs = 0;
        for (QByteArray now = simState(); now != "READY"; now = simState()) {
            if (!backOff(QStringLiteral("the SIM says %1 after the PIN").arg(QString::fromLatin1(now))))
                raise(ErrorCode::PinRequired, QStringLiteral("the SIM still says %1 after the PIN was entered")
                                                  .arg(QString::fromLatin1(now)));
        }
        return;
    }
    // No PIN is ever tried that was not given: a SIM has three attempts, then wants its PUK.
    if (state == "SIM PIN")
        raise(ErrorCode::PinRequired,
              QStringLiteral("the SIM asks for its PIN, and none was given. Enter it once with the command line "
                             "(pellix --pin NNNN identify): the SIM then stays unlocked until the modem loses its "
                             "power. Or switch the PIN request off with the SIM in a phone"));
    raise(ErrorCode::PinRequired, QStringLiteral("the SIM asks for %1; unlock it in a phone first").arg(QString::fromLatin1(state)));
}

QByteArray PellixGsmModem::simState()
{
    AtCommand cpin = AtCommand::prefixed("AT+CPIN?", "+CPIN:", localTimeout());
    cpin.finalMayBeMissing = m_profile->cpinWithoutOk;
    const AtResponse state = exec(cpin, true);
    // The answer is the last +CPIN: line: a "+CPIN: READY" of the boot may come before it.
    return state.lines.isEmpty() ? QByteArray("READY") : replies::fields(state.lines.last(), "+CPIN").value(0);
}

void PellixGsmModem::configureMessaging(qint32 receiveMode)
{
    // Receive mode 2: the profile's live setting, as close as the modem offers it. Direct routing
    // only where the modem waits for our acknowledgement (+CSMS=1, +CNMA): otherwise a message
    // routed while nobody reads is acknowledged to the network and lost, and store-and-indicate
    // takes its place. Store-first asks for that place whatever the modem offers: a client that
    // may die without closing must find on the storage what arrived meanwhile. Receive mode 0:
    // the profile's storing setting.
    const bool acknowledged = !m_storeFirst && (m_csmsOffered || m_profile->cnmaRequired);
    const CnmiValues wanted = cnmiValues(receiveMode == 2 ? m_profile->cnmiLive : m_profile->cnmiStored);
    CnmiValues setting = closestCnmi(wanted, m_cnmiSupport,
                                     receiveMode == 2 ? CnmiPurpose::Live : CnmiPurpose::Stored, acknowledged);
    bool csms = cnmiRoutes(setting) && m_csmsOffered;

    const QByteArray cpms = "+CPMS=" + m_profile->cpmsArguments();
    const QByteArray cpbs = "+CPBS=\"" + m_profile->phonebookStorage + '"';
    // The modem keeps +CLIP until it is reset, so the setting is made either way.
    const QByteArray clip = m_callerId ? "+CLIP=1" : "+CLIP=0";
    QList<QByteArray> steps{"+CMGF=0"};
    if (csms)
        steps << "+CSMS=1";
    // A modem that leaves OK out after +CPMS cannot share a command line with it.
    if (!m_profile->cpmsWithoutOk)
        steps << cpms;
    steps << "+CNMI=" + cnmiText(setting) << cpbs << clip;
    const auto storedItems = [](const AtResponse &answer) { return MessageStorages::announcedItems(answer.lines); };
    if (m_profile->cpmsWithoutOk) {
        AtCommand select = AtCommand::prefixed("AT" + cpms, "+CPMS:", localTimeout());
        select.finalMayBeMissing = true;
        m_storages.setStoredItems(storedItems(exec(select, true)));
    }
    // One command line for all of them (V.250 5.2.1); when the modem refuses the line, the
    // settings are made one by one, so that the error names the one it refused.
    if (const AtResponse all = tryCommand("AT" + steps.join(';'), "+CPMS:", localTimeout()); all.ok()) {
        m_cnmiSetting = setting;
        m_acknowledge = cnmiRoutes(setting) && (csms || m_profile->cnmaRequired);
        m_storages.select(m_profile->messageStorage);
        m_storages.setStoredItems(storedItems(all));
        return;
    }
    const AtResponse pdu = tryCommand("AT+CMGF=0", QByteArray(), localTimeout());
    if (pdu.final != FinalCode::Ok)
        raise(ErrorCode::ModemAnsweredError, QStringLiteral("the modem has no SMS PDU mode (AT+CMGF=0: %1)")
              .arg(QString::fromLatin1(pdu.finalLine)));
    if (csms && tryCommand("AT+CSMS=1", "+CSMS:", localTimeout()).final != FinalCode::Ok) {
        csms = false;
        if (!m_profile->cnmaRequired && receiveMode == 2)
            setting = closestCnmi(wanted, m_cnmiSupport, CnmiPurpose::Live, false);
    }
    if (!m_profile->cpmsWithoutOk)
        m_storages.setStoredItems(storedItems(exec(AtCommand::prefixed("AT" + cpms, "+CPMS:", localTimeout()), true)));
    m_storages.select(m_profile->messageStorage);
    // When the chosen setting is refused after all: store-and-indicate with what the modem
    // offers, then the bare minimum.
    const QList<CnmiValues> candidates{setting,
                                       closestCnmi({2, 1, 0, 2, 0}, m_cnmiSupport, CnmiPurpose::Stored),
                                       {2, 1}};
    if (setCnmi(candidates, receiveMode == 2))
        m_acknowledge = cnmiRoutes(m_cnmiSetting) && (csms || m_profile->cnmaRequired);
    tryCommand("AT" + cpbs, QByteArray(), localTimeout());
    tryCommand("AT" + clip, QByteArray(), localTimeout());
}

bool PellixGsmModem::setCnmi(const QList<CnmiValues> &candidates, bool required)
{
    AtResponse refusal;
    QByteArray refused;
    QList<QByteArray> tried;
    for (const CnmiValues &values : candidates) {
        const QByteArray line = "AT+CNMI=" + cnmiText(values);
        if (tried.contains(line))
            continue;
        tried << line;
        const AtResponse answer = tryCommand(line, QByteArray(), localTimeout());
        if (answer.final == FinalCode::Ok) {
            m_cnmiSetting = values;
            return true;
        }
        note(QStringLiteral("%1 refused: %2").arg(QString::fromLatin1(line), QString::fromLatin1(answer.finalLine)));
        if (refused.isEmpty()) {
            refusal = answer;
            refused = line;
        }
    }
    // Receive mode 0 leaves messages on the storage whatever +CNMI says: a refusal is no reason
    // to fail the connection. Without indications there is no receive mode 2.
    if (!required) {
        note(QStringLiteral("warning: the modem took no +CNMI setting; new messages are not announced"));
        return false;
    }
    AtChannel::raiseFor(refusal, refused);
}

void PellixGsmModem::leaveStoring(bool settingUnknown)
{
    // On every end of the connection that can still reach the modem: routed items would go to a
    // port nobody reads, and a modem without +CSMS=1 acknowledges them to the network and drops
    // them. After a lost link nothing can be sent: a modem left routing with +CSMS=1 stores again
    // once our acknowledgement times out; one without may lose what arrives until the next Connect
    // (which sets it anew).
    if (!m_channel || !m_transport || m_channel->running() || m_channel->linkLost() || !m_transport->isOpen())
        return;
    if (!settingUnknown && !cnmiRoutes(m_cnmiSetting))
        return;
    const CnmiValues base = m_cnmiSetting.isEmpty() ? cnmiValues(m_profile->cnmiStored) : m_cnmiSetting;
    CnmiValues storing = closestCnmi(base, m_cnmiSupport, CnmiPurpose::Closing);
    CnmiValues plain = storing;
    plain[3] = 0;  // <ds> 0 where <ds> 2 is refused: reports are lost either way, messages are not
    const int timeoutMs = qMin(localTimeout(), ClosingTimeoutMs);
    for (const CnmiValues &values : {storing, plain}) {
        const QByteArray line = "AT+CNMI=" + cnmiText(values);
        try {
            const AtResponse answer = m_channel->run(AtCommand::plain(line, timeoutMs));
            if (answer.ok()) {
                m_cnmiSetting = values;
                return;
            }
            note(QStringLiteral("%1 refused: %2").arg(QString::fromLatin1(line), QString::fromLatin1(answer.finalLine)));
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not leave the modem storing: %1").arg(error.description()));
            return;
        }
    }
}

bool PellixGsmModem::waitIfBusy(const AtCommand &command, const AtResponse &answer)
{
    // Not the PIN (a second try could cost an attempt) and nothing with a PDU (after the PDU an
    // error may come from the network, and a second try could send twice).
    if (!command.pdu.isEmpty() || command.line.startsWith("AT+CPIN="))
        return false;
    const bool inConnect = m_patience.inConnect;
    const bool afterConnect = !inConnect && m_patience.afterConnect && needsSimStorage(command.line);
    if (!inConnect && !afterConnect)
        return false;
    const bool busy = answersBusy(answer) || (m_patience.settling && answersBusyWhileStarting(answer));
    if (!busy) {
        // The first storage command after Connect that is not turned away: the SIM is ready.
        if (afterConnect)
            m_patience.afterConnect = false;
        return false;
    }
    m_patience.settling = true;
    return backOff(QStringLiteral("%1 answered %2").arg(QString::fromLatin1(TraceLog::masked(command.line)),
                                                        QString::fromLatin1(answer.finalLine)));
}

bool PellixGsmModem::backOff(const QString &why)
{
    Patience &p = m_patience;
    if (p.waitedMs >= SimPatienceMs) {
        note(QStringLiteral("the SIM is still not ready after %1 s: %2").arg(p.waitedMs / 1000.0, 0, 'f', 1).arg(why));
        p.afterConnect = false;
        return false;
    }
    p.nextMs = p.nextMs == 0 ? FirstBackOffMs : qMin(2 * p.nextMs, MaxBackOffMs);
    const int pauseMs = qMin(p.nextMs, SimPatienceMs - p.waitedMs);
    note(QStringLiteral("SIM not ready (%1); trying again in %2 ms (%3 of %4 s waited)")
             .arg(why).arg(pauseMs).arg(p.waitedMs / 1000.0, 0, 'f', 1).arg(SimPatienceMs / 1000));
    m_transport->pause(pauseMs);
    p.waitedMs += pauseMs;
    return true;
}

} // namespace pellix
