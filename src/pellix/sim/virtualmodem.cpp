// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"

#include "pdu/gsmalphabet.h"
#include "pdu/smspdu.h"
#include "pellixerror.h"

#include <QStringDecoder>

namespace pellix::sim {
namespace {

constexpr char CtrlZ = 0x1A;
constexpr char Esc = 0x1B;
// Longest command line kept; real modems take a few hundred characters.
constexpr int MaxLineLength = 1024;
// A TPDU has at most 164 octets and the SMSC field 12: anything longer is not a PDU.
constexpr int MaxPduHexLength = 2 * (176 + 12);
// A line that has stopped arriving no longer holds back unsolicited codes.
constexpr qint64 TypingPauseMs = 2000;
// 27.005 3.4.4: without +CNMA in time the network gives up on the routed message.
constexpr qint64 AckTimeoutMs = 15000;
// Bounds for codes waiting on a client that never finishes its line or never leaves +CNMI mode
// 0; beyond them the oldest go, as from a modem's full buffer.
constexpr qsizetype MaxHeldCodes = 1000;
constexpr qsizetype MaxBufferedIndications = 100;

QByteArray num(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray quote(const QByteArray &text)
{
    return '"' + text + '"';
}

int addressType(const QString &number)
{
    return number.startsWith(QLatin1Char('+')) ? 145 : 129;
}

// The number as an address field of a PDU (23.040 9.1.2.5: 0x91 international, 0x81 unknown).
pdu::Address addressOf(const QString &number)
{
    return pdu::Address{number, quint8(addressType(number) == 145 ? 0x91 : 0x81)};
}

// <oper> of 27.007 7.3 in its formats: 0 long alphanumeric, 1 short alphanumeric, 2 numeric.
const QByteArray OperatorNames[3] = {QByteArray(VirtualNetwork::OperatorName), "Pellix", "00101"};

// <stat>[,<lac>,<ci>] of 27.007 7.2 as presentation <n> shows it: the cell only with n = 2.
QByteArray registrationState(int presentation, bool registered)
{
    return num(registered ? 1 : 0) + (presentation == 2 && registered ? ",\"1A2B\",\"00C3D4\"" : "");
}

// Digits (and the dialling characters of 27.007 8.14) with an optional leading "+".
bool isDialString(const QString &number)
{
    for (int i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        if (c == QLatin1Char('+') && i == 0)
            continue;
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digit && c != QLatin1Char('*') && c != QLatin1Char('#') && c.toLower() != QLatin1Char('p')
            && c.toLower() != QLatin1Char('w'))
            return false;
    }
    return true;
}

int digitCount(const QString &number)
{
    return int(number.startsWith(QLatin1Char('+')) ? number.size() - 1 : number.size());
}

bool isHex(const QByteArray &text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// Type of address of TP-DA in an SMS-SUBMIT: the decoder gives the number, not its type.
quint8 destinationType(const QByteArray &hexPdu)
{
    const QByteArray octets = QByteArray::fromHex(hexPdu);
    if (octets.isEmpty())
        return 0x81;
    const int tpdu = 1 + quint8(octets.at(0));
    return octets.size() > tpdu + 3 ? quint8(octets.at(tpdu + 3)) : 0x81;
}

QByteArray rangeList(const std::map<int, StoredMessage> &items)
{
    QByteArray list;
    auto it = items.begin();
    while (it != items.end()) {
        const int first = it->first;
        int last = first;
        while (++it != items.end() && it->first == last + 1)
            last = it->first;
        if (!list.isEmpty())
            list += ',';
        list += first == last ? num(first) : num(first) + '-' + num(last);
    }
    return '(' + list + ')';
}

} // namespace

VirtualModem::VirtualModem(const VirtualModemOptions &options, std::shared_ptr<VirtualClock> clock)
    : m_options(options)
    , m_clock(clock ? std::move(clock) : std::make_shared<RealClock>())
    , m_sim(options.pin)
    , m_network(options.seed)
    , m_serviceCentre(QLatin1String(VirtualNetwork::ServiceCentre))
{
    m_sim.loadStartingContents(options.seed, m_clock->now(), m_serviceCentre, QLatin1String(VirtualNetwork::OwnNumber));
    reset();
    m_registered = reachable();
}

VirtualModem::~VirtualModem() = default;

void VirtualModem::reset()
{
    m_settings = Settings();
    m_settings.echo = m_options.echo;
    m_settings.registers = {{0, 0}, {3, 13}, {4, 10}, {5, 8}, {6, 2}, {7, 50}, {8, 2}, {10, 14}};
    m_srSelected = false;
    m_cnmiBuffer.clear();
}

// ---------------------------------------------------------------------------------------------
// Input

void VirtualModem::feed(const QByteArray &bytes)
{
    poll();
    for (char c : bytes)
        takeByte(c);
}

void VirtualModem::lineOpened()
{
    if (m_input == Input::Prompt)
        trace(TraceKind::Data, "(abandoned)");
    m_input = Input::Idle;
    m_line.clear();
    m_prompt = Prompt{};
    flushHeld();
}

void VirtualModem::takeByte(char c)
{
    m_lastInputMs = m_clock->elapsedMs();
    if (m_input == Input::Prompt) {
        takePromptByte(c);
        return;
    }
    // V.250 5.2.1 (ATE1): every character of command state is echoed as it arrives.
    if (m_settings.echo)
        m_output += c;
    const char cr = char(reg(3));
    const char bs = char(reg(5));
    switch (m_input) {
    case Input::Idle:
        if (c == 'A' || c == 'a')
            m_input = Input::AfterA;
        break;
    case Input::AfterA:
        if (c == 'T' || c == 't') {
            m_input = Input::Line;
            m_line.clear();
            m_lineTooLong = false;
        } else if (c == '/') {
            // V.250 5.2.4: "A/" repeats the previous command line at once.
            m_input = Input::Idle;
            executeLine(m_lastLine);
        } else if (c != 'A' && c != 'a') {
            m_input = Input::Idle;
        }
        break;
    case Input::Line:
        if (c == cr) {
            m_input = Input::Idle;
            if (m_lineTooLong) {
                trace(TraceKind::Command, "AT" + m_line.left(40) + "... (too long)");
                writeFinal(Outcome{Outcome::Error});
                flushHeld();
            } else {
                m_lastLine = m_line;
                executeLine(m_line);
            }
        } else if (c == bs) {
            if (!m_line.isEmpty())
                m_line.chop(1);
        } else if (c == Esc) {
            m_input = Input::Idle;  // an escape abandons the line (gammu sends ESC before it starts)
        } else if (quint8(c) >= 0x20) {
            if (m_line.size() < MaxLineLength)
                m_line += c;
            else
                m_lineTooLong = true;
        }
        break;
    case Input::Prompt:
        break;
    }
}

void VirtualModem::takePromptByte(char c)
{
    if (c == CtrlZ) {
        m_input = Input::Idle;
        finishPrompt();
        return;
    }
    if (c == Esc) {
        // 27.005 3.5.1: <ESC> quits without sending; the command still ends with OK.
        m_input = Input::Idle;
        trace(TraceKind::Data, "<ESC> (cancelled)");
        writeFinal(Outcome{Outcome::Ok});
        flushHeld();
        return;
    }
    if (m_settings.echo)
        m_output += c;
    if (c == '\r' || c == '\n' || c == ' ')
        return;
    if (c == char(reg(5))) {
        if (!m_prompt.hex.isEmpty())
            m_prompt.hex.chop(1);
        return;
    }
    if (m_prompt.hex.size() < MaxPduHexLength)
        m_prompt.hex += c;
    else
        m_prompt.tooLong = true;
}

bool VirtualModem::linkBusy() const
{
    // Codes that arise while a command runs come after its final result, as on real modems.
    if (m_input == Input::Prompt || m_executing)
        return true;
    return m_input != Input::Idle && m_clock->elapsedMs() - m_lastInputMs < TypingPauseMs;
}

void VirtualModem::executeLine(const QByteArray &body)
{
    trace(TraceKind::Command, "AT" + body);
    const auto commands = AtCommandLine::parse(body);
    Outcome outcome{Outcome::Ok};
    m_executing = true;
    if (!commands) {
        outcome = Outcome{Outcome::Error};
    } else {
        for (const AtCommand &command : *commands) {
            m_info.clear();
            outcome = execute(command);
            writeInfo();
            // V.250 5.7.1: the first failing command ends the line; a prompt waits for its data.
            if (outcome.kind != Outcome::Ok)
                break;
        }
    }
    m_executing = false;
    if (outcome.kind == Outcome::Prompt) {
        m_input = Input::Prompt;
        write("\r\n> ");
        return;
    }
    writeFinal(outcome);
    flushHeld();
}

const std::map<QByteArray, VirtualModem::CommandEntry> &VirtualModem::commandTable()
{
    using N = Needs;
    constexpr quint8 A = ActionForm;
    constexpr quint8 R = ReadForm;
    constexpr quint8 S = SetForm;
    const QByteArray ok;  // a test form that lists nothing: OK alone
    static const std::map<QByteArray, CommandEntry> table = {
        {"E", {&VirtualModem::basicE, N::Nothing}},
        {"V", {&VirtualModem::basicV, N::Nothing}},
        {"Q", {&VirtualModem::basicQ, N::Nothing}},
        {"Z", {&VirtualModem::basicZ, N::Nothing}},
        {"&F", {&VirtualModem::basicZ, N::Nothing}},
        {"I", {&VirtualModem::basicI, N::Nothing}},
        {"A", {&VirtualModem::basicA, N::Nothing}},
        {"D", {&VirtualModem::basicD, N::SimForCme}},
        {"H", {&VirtualModem::basicH, N::Nothing}},
        {"X", {&VirtualModem::basicAccepted, N::Nothing}},
        {"L", {&VirtualModem::basicAccepted, N::Nothing}},
        {"M", {&VirtualModem::basicAccepted, N::Nothing}},
        {"&C", {&VirtualModem::basicAccepted, N::Nothing}},
        {"&D", {&VirtualModem::basicAccepted, N::Nothing}},
        {"&K", {&VirtualModem::basicAccepted, N::Nothing}},
        {"&W", {&VirtualModem::basicAccepted, N::Nothing}},
        {"+CMEE", {&VirtualModem::cmee, N::Nothing, R | S}},
        {"+CGMI", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+CGMM", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+CGMR", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+CGSN", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+GMI", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+GMM", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+GMR", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+GSN", {&VirtualModem::identity, N::Nothing, A, ok}},
        {"+CIMI", {&VirtualModem::cimi, N::SimForCme, A, ok}},
        {"+CPIN", {&VirtualModem::cpin, N::Nothing, R | S, ok}},
        {"+CFUN", {&VirtualModem::cfun, N::Nothing, R | S, "+CFUN: (0,1,4),(0,1)"}},
        {"+CSCS", {&VirtualModem::cscs, N::Nothing, R | S, "+CSCS: (\"GSM\",\"IRA\",\"UCS2\")"}},
        {"+CSCA", {&VirtualModem::csca, N::SimForCms, R | S, ok}},
        {"+CREG", {&VirtualModem::creg, N::Nothing, R | S}},
        {"+CGREG", {&VirtualModem::cgreg, N::Nothing, R | S}},
        {"+CGATT", {&VirtualModem::cgatt, N::Nothing, R | S, "+CGATT: (0,1)"}},
        {"+CSQ", {&VirtualModem::csq, N::Nothing, A, "+CSQ: (0-31,99),(0-7,99)"}},
        {"+COPS", {&VirtualModem::cops, N::Nothing, R | S,
                   "+COPS: (2," + quote(OperatorNames[0]) + ',' + quote(OperatorNames[1]) + ','
                       + quote(OperatorNames[2]) + "),,(0-4),(0-2)"}},
        {"+CMGF", {&VirtualModem::cmgf, N::Nothing, R | S, "+CMGF: (0)"}},
        {"+CSMS", {&VirtualModem::csms, N::Nothing, R | S, "+CSMS: (0,1)"}},
        // Without the outer parentheses some modems add (protocol notes 1.4).
        {"+CPMS", {&VirtualModem::cpms, N::SimForCms, R | S, "+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")"}},
        {"+CNMI", {&VirtualModem::cnmi, N::Nothing, R | S, "+CNMI: (0-3),(0-3),(0,2),(0-2),(0,1)"}},
        {"+CNMA", {&VirtualModem::cnma, N::Nothing, A | S, "+CNMA: (0-2)"}},
        {"+CMGS", {&VirtualModem::cmgs, N::SimForCms, S, ok}},
        {"+CMGW", {&VirtualModem::cmgw, N::SimForCms, S, ok}},
        {"+CMSS", {&VirtualModem::cmss, N::SimForCms, S, ok}},
        {"+CMGL", {&VirtualModem::cmgl, N::SimForCms, A | S, "+CMGL: (0-4)"}},
        {"+CMGR", {&VirtualModem::cmgr, N::SimForCms, S, ok}},
        {"+CMGD", {&VirtualModem::cmgd, N::SimForCms, S}},
        {"+CSMP", {&VirtualModem::csmp, N::Nothing, R | S, ok}},
        {"+CPBS", {&VirtualModem::cpbs, N::SimForCme, R | S, "+CPBS: (\"SM\")"}},
        {"+CPBR", {&VirtualModem::cpbr, N::SimForCme, S,
                   "+CPBR: (1-" + num(VirtualSim::PhonebookCapacity) + ")," + num(VirtualSim::NumberLength) + ','
                       + num(VirtualSim::NameLength)}},
        {"+CPBW", {&VirtualModem::cpbw, N::SimForCme, S,
                   "+CPBW: (1-" + num(VirtualSim::PhonebookCapacity) + ")," + num(VirtualSim::NumberLength)
                       + ",(129,145)," + num(VirtualSim::NameLength)}},
        {"+CNUM", {&VirtualModem::cnum, N::SimForCme, A, ok}},
        {"+CCFC", {&VirtualModem::ccfc, N::SimForCme, S, "+CCFC: (0-5)"}},
        {"+CLIP", {&VirtualModem::clip, N::Nothing, R | S}},
        {"+CRC", {&VirtualModem::crc, N::Nothing, R | S}},
        {"+CUSD", {&VirtualModem::cusd, N::SimForCme, R | S}},
        {"+CHUP", {&VirtualModem::chup, N::Nothing, A, ok}},
        {"+CLCC", {&VirtualModem::clcc, N::Nothing, A, ok}},
        {"+CBC", {&VirtualModem::cbc, N::Nothing, A, "+CBC: (0-3),(0-100)"}},
        {"+CCLK", {&VirtualModem::cclk, N::Nothing, R | S, ok}},
    };
    return table;
}

VirtualModem::Outcome VirtualModem::execute(const AtCommand &command)
{
    if (command.basic && command.name.startsWith('S') && command.name.size() > 1)
        return basicS(command);
    const auto &table = commandTable();
    const auto it = table.find(command.name);
    // Unknown commands, vendor probes included (gammu tries AT+MODE, AT^SBNR=?, AT$TSSPCSW=?),
    // get a plain ERROR as on any modem that lacks them.
    if (it == table.end())
        return Outcome{Outcome::Error};
    const CommandEntry &entry = it->second;
    // The test form answers without the SIM (27.007 8.3 lists what a locked SIM still allows).
    if (command.form == AtCommand::Form::Test) {
        if (!entry.test)
            return (this->*(entry.handler))(command);
        if (!entry.test->isEmpty())
            m_info << *entry.test;
        return Outcome{};
    }
    if (m_sim.lock() != VirtualSim::Lock::Ready) {
        const bool puk = m_sim.lock() == VirtualSim::Lock::Puk;
        if (entry.needs == Needs::SimForCme)
            return Outcome{Outcome::Cme, puk ? 12 : 11};
        if (entry.needs == Needs::SimForCms)
            return Outcome{Outcome::Cms, puk ? 316 : 311};
    }
    const quint8 form = command.form == AtCommand::Form::Action ? ActionForm
        : command.form == AtCommand::Form::Read                 ? ReadForm
                                                                : SetForm;
    if (!(entry.forms & form))
        return Outcome{Outcome::Error};
    return (this->*(entry.handler))(command);
}

// ---------------------------------------------------------------------------------------------
// Output

void VirtualModem::write(const QByteArray &bytes)
{
    m_output += bytes;
    if (!m_trace)
        return;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            trace(TraceKind::Response, text);
    }
}

QByteArray VirtualModem::takeOutput()
{
    QByteArray out;
    out.swap(m_output);
    return out;
}

QByteArray VirtualModem::eol() const
{
    // V.250 6.2.1/6.2.2: S3 ends a line, S4 follows it.
    return QByteArray(1, char(reg(3))) + char(reg(4));
}

int VirtualModem::reg(int number) const
{
    const auto it = m_settings.registers.find(number);
    return it == m_settings.registers.end() ? 0 : it->second;
}

void VirtualModem::writeInfo()
{
    if (m_info.isEmpty())
        return;
    const QByteArray eol = this->eol();
    // V.250 5.7.1: <CR><LF> text <CR><LF> with V1; without the leading pair with V0.
    write((m_settings.verbose ? eol : QByteArray()) + m_info.join(eol) + eol);
    m_info.clear();
}

void VirtualModem::writeFinal(const Outcome &outcome)
{
    if (m_settings.quiet)
        return;
    const QByteArray eol = this->eol();
    Outcome shown = outcome;
    // +CMEE=0: every +CME/+CMS error is a plain ERROR (27.007 9.1).
    if ((shown.kind == Outcome::Cme || shown.kind == Outcome::Cms) && m_settings.cmee == 0)
        shown = Outcome{Outcome::Error};
    QByteArray text;
    int numeric = 0;
    switch (shown.kind) {
    case Outcome::Ok:
        text = "OK";
        numeric = 0;
        break;
    case Outcome::Error:
        text = "ERROR";
        numeric = 4;
        break;
    case Outcome::NoCarrier:
        text = "NO CARRIER";
        numeric = 3;
        break;
    case Outcome::Busy:
        text = "BUSY";
        numeric = 7;
        break;
    case Outcome::Cme:
        text = "+CME ERROR: " + (m_settings.cmee == 2 ? cmeErrorText(shown.code).toLatin1() : num(shown.code));
        numeric = -1;
        break;
    case Outcome::Cms:
        text = "+CMS ERROR: " + (m_settings.cmee == 2 ? cmsErrorText(shown.code).toLatin1() : num(shown.code));
        numeric = -1;
        break;
    case Outcome::Prompt:
        return;
    }
    if (m_settings.verbose)
        write(eol + text + eol);
    else if (numeric >= 0)
        write(num(numeric) + char(reg(3)));
    else
        write(text + eol);
}

void VirtualModem::unsolicited(const QByteArray &line, const QByteArray &pduLine)
{
    const QByteArray eol = this->eol();
    QByteArray text = (m_settings.verbose ? eol : QByteArray()) + line + eol;
    if (!pduLine.isEmpty())
        text += pduLine + eol;
    // Codes wait while the client is typing a line or a PDU, so that they never split its echo
    // (27.005 3.4.1 <mode> 2: buffered while the link is reserved, flushed afterwards).
    if (!linkBusy()) {
        write(text);
        return;
    }
    if (m_held.size() >= MaxHeldCodes)
        m_held.removeFirst();
    m_held << text;
}

void VirtualModem::smsIndication(const QByteArray &line, const QByteArray &pduLine)
{
    if (m_settings.cnmiMode == 0) {
        const QByteArray eol = this->eol();
        if (m_cnmiBuffer.size() >= MaxBufferedIndications)
            m_cnmiBuffer.removeFirst();
        m_cnmiBuffer << eol + line + eol + (pduLine.isEmpty() ? QByteArray() : pduLine + eol);
        return;
    }
    unsolicited(line, pduLine);
}

void VirtualModem::flushHeld()
{
    if (m_held.isEmpty() || linkBusy())
        return;
    const QList<QByteArray> held = std::exchange(m_held, {});
    for (const QByteArray &text : held)
        write(text);
}

void VirtualModem::trace(TraceKind kind, const QByteArray &text) const
{
    if (m_trace)
        m_trace(kind, text);
}

void VirtualModem::note(const QString &text) const
{
    trace(TraceKind::Network, text.toUtf8());
}

std::optional<QString> VirtualModem::fromCharset(const QByteArray &bytes) const
{
    if (m_settings.charset == "UCS2") {
        if (bytes.size() % 4 != 0 || !isHex(bytes))
            return std::nullopt;
        const QByteArray raw = QByteArray::fromHex(bytes);
        QString text;
        for (int i = 0; i + 1 < raw.size(); i += 2)
            text += QChar(char16_t((quint8(raw.at(i)) << 8) | quint8(raw.at(i + 1))));
        return text;
    }
    if (m_settings.charset == "GSM") {
        QByteArray septets = bytes;
        for (char &c : septets) {
            if (quint8(c) > 0x7F)
                return std::nullopt;
        }
        return pdu::decodeGsm7(septets);
    }
    // IRA: 7-bit text by 27.007, but many modems pass 8-bit bytes through unchanged; UTF-8 (or
    // else Latin-1) keeps what a client wrote readable when it reads it back.
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString::fromLatin1(bytes) : text;
}

QByteArray VirtualModem::toCharset(const QString &text) const
{
    if (m_settings.charset == "UCS2") {
        QByteArray raw;
        for (QChar c : text) {
            raw += char(c.unicode() >> 8);
            raw += char(c.unicode() & 0xFF);
        }
        return raw.toHex().toUpper();
    }
    if (m_settings.charset == "GSM") {
        QByteArray septets;
        for (QChar c : text) {
            try {
                septets += pdu::encodeGsm7(QString(c));
            } catch (const RaisedError &) {
                septets += '?';
            }
        }
        return septets;
    }
    return text.toUtf8();
}

// ---------------------------------------------------------------------------------------------
// Clock and network

qint64 VirtualModem::nowMs() const
{
    return m_eventTime.value_or(m_clock->elapsedMs());
}

void VirtualModem::schedule(qint64 delayMs, std::function<void()> action)
{
    m_events.emplace(std::make_pair(nowMs() + delayMs, m_eventSequence++), std::move(action));
}

std::optional<qint64> VirtualModem::nextEventDue() const
{
    if (m_events.empty())
        return std::nullopt;
    return m_events.begin()->first.first;
}

void VirtualModem::poll()
{
    const qint64 now = m_clock->elapsedMs();
    while (!m_events.empty() && m_events.begin()->first.first <= now) {
        auto node = m_events.extract(m_events.begin());
        m_eventTime = node.key().first;
        node.mapped()();
    }
    m_eventTime.reset();
    flushHeld();
}

bool VirtualModem::reachable() const
{
    return m_functionality == 1 && m_sim.lock() == VirtualSim::Lock::Ready;
}

void VirtualModem::updateRegistration()
{
    const bool registered = reachable();
    if (registered == m_registered)
        return;
    m_registered = registered;
    note(registered ? QStringLiteral("registered on the network") : QStringLiteral("left the network"));
    if (m_settings.creg != 0)
        unsolicited("+CREG: " + registrationState(m_settings.creg, registered));
    if (m_settings.cgreg != 0)
        unsolicited("+CGREG: " + registrationState(m_settings.cgreg, registered));
    if (registered)
        deliverWaiting();
}

void VirtualModem::offer(Incoming item)
{
    m_waiting.append(std::move(item));
    deliverWaiting();
}

void VirtualModem::deliverWaiting()
{
    if (m_delivering)
        return;
    m_delivering = true;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (tryDeliver(*it))
            it = m_waiting.erase(it);
        else
            ++it;
    }
    m_delivering = false;
}

bool VirtualModem::tryDeliver(Incoming &item)
{
    // The centre keeps what the modem cannot take and tries again when it can (23.040 3.8:
    // memory capacity exceeded, then "memory available"): nothing is lost.
    if (!reachable())
        return false;
    const int length = tpduLengthOf(item.pdu);
    const Settings &s = m_settings;
    if (!item.report) {
        const bool route = s.cnmiMode != 0
            && ((s.cnmiMt == 2 && item.messageClass != 2) || (s.cnmiMt == 3 && item.messageClass == 3));
        if (route) {
            if (m_ackPending)
                return false;
            unsolicited("+CMT: ," + num(length), item.pdu);
            note(QStringLiteral("message routed to the client (+CMT)"));
            if (s.csmsService == 1)
                expectAck(item);
        } else {
            MessageStore *store = m_sim.store(s.mem3);
            const int index = store->add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
            if (index < 0) {
                note(QStringLiteral("%1 is full: the centre keeps the message").arg(QString::fromLatin1(s.mem3)));
                return false;
            }
            note(QStringLiteral("message stored at %1 %2").arg(QString::fromLatin1(s.mem3)).arg(index));
            if (s.cnmiMt != 0)
                smsIndication("+CMTI: " + quote(store->name()) + ',' + num(index));
        }
    } else {
        const bool route = s.cnmiMode != 0 && s.cnmiDs == 1;
        if (route) {
            if (m_ackPending)
                return false;
            unsolicited("+CDS: " + num(length), item.pdu);
            note(QStringLiteral("status report routed to the client (+CDS)"));
            if (s.csmsService == 1)
                expectAck(item);
        } else {
            MessageStore &store = m_srSelected ? m_sim.sr() : m_sim.sm();
            const int index = store.add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
            if (index < 0) {
                note(QStringLiteral("%1 is full: the centre keeps the status report").arg(QString::fromLatin1(store.name())));
                return false;
            }
            note(QStringLiteral("status report stored at %1 %2").arg(QString::fromLatin1(store.name())).arg(index));
            if (s.cnmiDs != 0)
                smsIndication("+CDSI: " + quote(store.name()) + ',' + num(index));
        }
    }
    if (item.onDelivered)
        std::exchange(item.onDelivered, nullptr)();
    return true;
}

void VirtualModem::expectAck(const Incoming &item)
{
    m_ackPending = true;
    m_unacked = item;
    m_unacked->onDelivered = nullptr;
    const quint64 token = ++m_ackToken;
    schedule(AckTimeoutMs, [this, token] { ackTimedOut(token); });
}

void VirtualModem::ackTimedOut(quint64 token)
{
    if (!m_ackPending || token != m_ackToken)
        return;
    // 27.005 3.4.4: no acknowledgement in time turns direct routing off (<mt> and <ds> 0); the
    // centre delivers the message again, which now goes to the storage.
    note(QStringLiteral("no +CNMA in time: routing switched off, the item is delivered again"));
    m_ackPending = false;
    m_settings.cnmiMt = 0;
    m_settings.cnmiDs = 0;
    if (m_unacked)
        m_waiting.prepend(*std::exchange(m_unacked, std::nullopt));
    deliverWaiting();
}

bool VirtualModem::incomingMessage(const QByteArray &hexPdu)
{
    try {
        if (pdu::pduType(hexPdu) != pdu::PduType::Deliver)
            return false;
        const pdu::DeliverPdu deliver = pdu::decodeDeliver(hexPdu);
        offer(Incoming{false, hexPdu.toUpper(), deliver.dcs.messageClass, nullptr});
        return true;
    } catch (const RaisedError &) {
        return false;
    }
}

void VirtualModem::sendSubmit(const QByteArray &hex, int length, quint8 &reference, Outcome &outcome)
{
    // 27.005 3.5.1: <length> counts the TPDU octets; a PDU that is not whole hex octets, does not
    // match it, or is not an SMS-SUBMIT is an invalid PDU mode parameter.
    if (hex.isEmpty() || !isHex(hex) || tpduLengthOf(hex) != length) {
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    pdu::SubmitPdu submit;
    try {
        if (pdu::pduType(hex) != pdu::PduType::Submit) {
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
        submit = pdu::decodeSubmit(hex);
    } catch (const RaisedError &error) {
        note(QStringLiteral("PDU refused: %1").arg(error.description()));
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    if (!reachable()) {
        outcome = Outcome{Outcome::Cms, 331};
        return;
    }
    if (const int refused = VirtualNetwork::refusal(submit.destination, destinationType(hex))) {
        note(QStringLiteral("the centre refuses destination \"%1\"").arg(submit.destination));
        outcome = Outcome{Outcome::Cms, refused};
        return;
    }
    QByteArray loopBackPdu;
    if (VirtualNetwork::isOwnNumber(submit.destination)) {
        try {
            loopBackPdu = loopBack(submit);
        } catch (const RaisedError &error) {
            note(QStringLiteral("PDU refused: %1").arg(error.description()));
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
    }
    reference = m_network.nextMessageReference();
    acceptSubmit(submit, loopBackPdu, reference);
    outcome = Outcome{Outcome::Ok};
}

QByteArray VirtualModem::loopBack(const pdu::SubmitPdu &submit) const
{
    // The centre hands the message on as it came: coding, class, header and text (23.040 9.2.2.1).
    pdu::DeliverPdu deliver;
    deliver.smsc = addressOf(m_serviceCentre);
    deliver.originator = pdu::Address{QLatin1String(VirtualNetwork::OwnNumber), 0x91};
    deliver.protocolId = submit.protocolId;
    deliver.dcs.alphabet = submit.alphabet;
    deliver.dcs.messageClass = submit.messageClass;
    deliver.dcs.raw = pdu::encodeDataCoding(submit.alphabet, submit.messageClass);
    deliver.timestamp = m_clock->wallTime(nowMs());
    deliver.udh = submit.udh;
    deliver.text = submit.text;
    deliver.statusReportIndication = submit.statusReportRequest;
    deliver.replyPath = submit.replyPath;
    return pdu::encodeDeliver(deliver);
}

void VirtualModem::acceptSubmit(const pdu::SubmitPdu &submit, const QByteArray &loopBackPdu, quint8 reference)
{
    const qint64 submittedAt = nowMs();
    const QString destination = submit.destination;
    note(QStringLiteral("message %1 to %2 taken by the centre%3").arg(reference).arg(destination,
         submit.statusReportRequest ? QStringLiteral(", report requested") : QString()));

    if (!loopBackPdu.isEmpty()) {
        Incoming item{false, loopBackPdu, submit.messageClass, nullptr};
        if (submit.statusReportRequest) {
            // The report tells of the delivery, so it follows it, however long the modem's full
            // storage held it up.
            item.onDelivered = [this, reference, destination, submittedAt] {
                const qint64 wait = qMax<qint64>(0, submittedAt + VirtualNetwork::ReportDelayMs - nowMs());
                schedule(wait, [this, reference, destination, submittedAt] {
                    reportDelivery(reference, destination, submittedAt, 0x00);
                });
            };
        }
        schedule(VirtualNetwork::LoopBackDelayMs, [this, item] { offer(item); });
    } else if (submit.statusReportRequest) {
        for (const VirtualNetwork::ReportStep &step : VirtualNetwork::deliveryReports(destination)) {
            const quint8 status = step.status;
            schedule(step.delayMs, [this, reference, destination, submittedAt, status] {
                reportDelivery(reference, destination, submittedAt, status);
            });
        }
    }
    if (VirtualNetwork::asksForCall(submit.text)) {
        schedule(VirtualNetwork::CallDelayMs, [this, destination] { incomingCall(destination); });
    }
}

void VirtualModem::reportDelivery(quint8 reference, const QString &recipient, qint64 submittedAt, quint8 status)
{
    pdu::StatusReportPdu report;
    report.smsc = addressOf(m_serviceCentre);
    report.messageReference = reference;
    report.recipient = addressOf(recipient);
    report.timestamp = m_clock->wallTime(submittedAt);
    report.dischargeTime = m_clock->wallTime(nowMs());
    report.status = status;
    report.statusText = pdu::statusText(status);
    note(QStringLiteral("delivery report for message %1: status 0x%2").arg(reference).arg(status, 2, 16, QLatin1Char('0')));
    try {
        offer(Incoming{true, pdu::encodeStatusReport(report), -1, nullptr});
    } catch (const RaisedError &error) {
        note(QStringLiteral("no report: %1").arg(error.description()));
    }
}

void VirtualModem::incomingCall(const QString &callerNumber)
{
    const CallForwarding &forwarding = m_network.forwarding();
    const auto forwardedBy = [&](int reason, const QString &why) {
        if (const auto target = forwarding.target(reason, CallForwarding::VoiceClass)) {
            note(QStringLiteral("call from %1 forwarded to %2 (%3)").arg(callerNumber, *target, why));
            return true;
        }
        return false;
    };
    if (!reachable()) {
        if (!forwardedBy(CallForwarding::NotReachable, QStringLiteral("not reachable")))
            note(QStringLiteral("call from %1 lost: the modem is not reachable").arg(callerNumber));
        return;
    }
    if (forwardedBy(CallForwarding::Unconditional, QStringLiteral("unconditional")))
        return;
    if (m_call) {
        if (!forwardedBy(CallForwarding::Busy, QStringLiteral("busy")))
            note(QStringLiteral("call from %1 gets busy").arg(callerNumber));
        return;
    }
    m_call = Call{callerNumber, true, false, ++m_callIds, 0};
    note(QStringLiteral("call from %1").arg(callerNumber));
    ring(m_call->id);
}

void VirtualModem::ring(quint64 callId)
{
    if (!m_call || m_call->id != callId || m_call->active)
        return;
    ++m_call->rings;
    unsolicited(m_settings.crc ? "+CRING: VOICE" : "RING");
    // 27.007 7.6: +CLIP follows every RING.
    if (m_settings.clip)
        unsolicited("+CLIP: " + quote(m_call->number.toLatin1()) + ',' + num(addressType(m_call->number)));
    const int autoAnswer = reg(0);
    if (autoAnswer > 0 && m_call->rings >= autoAnswer) {
        m_call->active = true;
        note(QStringLiteral("answered automatically (S0)"));
        const quint64 id = m_call->id;
        schedule(VirtualNetwork::AnsweredCallMs, [this, id] { endCall(id, "NO CARRIER", QStringLiteral("caller hung up")); });
        return;
    }
    if (m_call->rings < VirtualNetwork::RingCount) {
        schedule(VirtualNetwork::RingIntervalMs, [this, callId] { ring(callId); });
        return;
    }
    schedule(VirtualNetwork::RingIntervalMs, [this, callId] {
        if (!m_call || m_call->id != callId || m_call->active)
            return;
        const auto target = m_network.forwarding().target(CallForwarding::NoReply, CallForwarding::VoiceClass);
        endCall(callId, QByteArray(),
                target ? QStringLiteral("no answer: forwarded to %1").arg(*target)
                       : QStringLiteral("no answer: the caller gave up"));
    });
}

void VirtualModem::endCall(quint64 callId, const QByteArray &resultCode, const QString &why)
{
    if (!m_call || m_call->id != callId)
        return;
    note(QStringLiteral("call with %1 ended: %2").arg(m_call->number, why));
    m_call.reset();
    if (!resultCode.isEmpty())
        unsolicited(resultCode);
}

void VirtualModem::answerUssd(const QString &request)
{
    if (m_settings.cusd != 1)
        return;
    QString answer;
    if (request == QLatin1String("*100#"))
        answer = QStringLiteral("Credit: 12.34 EUR, valid until 31/12");
    else if (request == QLatin1String("*101#") || request == QLatin1String("*#100#"))
        answer = QStringLiteral("Your number is %1").arg(QLatin1String(VirtualNetwork::OwnNumber));
    if (answer.isEmpty()) {
        unsolicited("+CUSD: 4");  // 27.007 7.15: operation not supported
        return;
    }
    unsolicited("+CUSD: 0," + quote(toCharset(answer)) + ",15");
}

MessageStore &VirtualModem::readStore()
{
    return *m_sim.store(m_settings.mem1);
}

// ---------------------------------------------------------------------------------------------
// Basic commands (V.250 6.2)

VirtualModem::Outcome VirtualModem::basicE(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.echo = c.argument == "1";
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicV(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.verbose = c.argument == "1";
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicQ(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.quiet = c.argument == "1";
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicZ(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0")
        return Outcome{Outcome::Error};
    if (m_call)
        endCall(m_call->id, QByteArray(), QStringLiteral("reset"));
    reset();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicI(const AtCommand &)
{
    m_info << QByteArray(Manufacturer) + ' ' + Model + " virtual GSM modem" << "Revision: " + QByteArray(Revision);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicAccepted(const AtCommand &)
{
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicS(const AtCommand &c)
{
    const int number = c.name.mid(1).toInt();
    if (number > 255)
        return Outcome{Outcome::Error};
    if (c.form == AtCommand::Form::Read) {
        // V.250 6.1.1: the value in three decimal digits.
        m_info << QByteArray::number(reg(number)).rightJustified(3, '0');
        return Outcome{};
    }
    bool ok = false;
    const int value = c.argument.isEmpty() ? 0 : c.argument.toInt(&ok);
    if ((!ok && !c.argument.isEmpty()) || value > 255)
        return Outcome{Outcome::Error};
    // A line terminator, line feed or backspace of 0 would leave the line unusable.
    if ((number == 3 || number == 4 || number == 5) && value == 0)
        return Outcome{Outcome::Error};
    m_settings.registers[number] = value;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicA(const AtCommand &)
{
    if (!m_call || !m_call->incoming || m_call->active)
        return Outcome{Outcome::NoCarrier};
    m_call->active = true;
    note(QStringLiteral("call from %1 answered").arg(m_call->number));
    const quint64 id = m_call->id;
    schedule(VirtualNetwork::AnsweredCallMs, [this, id] { endCall(id, "NO CARRIER", QStringLiteral("caller hung up")); });
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicD(const AtCommand &c)
{
    QString number = QString::fromLatin1(c.argument).remove(QLatin1Char(' '));
    // Only voice calls (27.007 6.2: a trailing ';'); data calls find no carrier.
    if (!number.endsWith(QLatin1Char(';')))
        return Outcome{Outcome::NoCarrier};
    number.chop(1);
    if (number.isEmpty() || !isDialString(number))
        return Outcome{Outcome::Error};
    if (!reachable())
        return Outcome{Outcome::NoCarrier};
    if (m_call)
        return Outcome{Outcome::Cme, 3};
    if (VirtualNetwork::isOwnNumber(number))
        return Outcome{Outcome::Busy};
    m_call = Call{number, false, false, ++m_callIds, 0};
    note(QStringLiteral("dialling %1").arg(number));
    const quint64 id = m_call->id;
    schedule(VirtualNetwork::DialledCallMs, [this, id] { endCall(id, "NO ANSWER", QStringLiteral("no answer")); });
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::basicH(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0")
        return Outcome{Outcome::Error};
    if (m_call)
        endCall(m_call->id, QByteArray(), QStringLiteral("hung up by the client"));
    return Outcome{};
}

// ---------------------------------------------------------------------------------------------
// General commands (27.007 5, 7, 8)

VirtualModem::Outcome VirtualModem::cmee(const AtCommand &c)
{
    return numericSetting(c, "+CMEE", 2, m_settings.cmee);
}

VirtualModem::Outcome VirtualModem::identity(const AtCommand &c)
{
    // 27.007 5.1-5.4: the bare value, no prefix.
    const QByteArray name = c.name.mid(c.name.startsWith("+CG") ? 3 : 2);
    if (name == "MI")
        m_info << Manufacturer;
    else if (name == "MM")
        m_info << Model;
    else if (name == "MR")
        m_info << Revision;
    else
        m_info << Imei;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cimi(const AtCommand &)
{
    m_info << Imsi;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cpin(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        const VirtualSim::Lock lock = m_sim.lock();
        m_info << QByteArray("+CPIN: ")
                + (lock == VirtualSim::Lock::Ready ? "READY" : lock == VirtualSim::Lock::Pin ? "SIM PIN" : "SIM PUK");
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    VirtualSim::PinResult result;
    if (m_sim.lock() == VirtualSim::Lock::Puk) {
        if (!args->present(1))
            return Outcome{Outcome::Cme, 12};
        result = m_sim.enterPuk(QString::fromLatin1(args->text(0)), QString::fromLatin1(args->text(1)));
    } else {
        result = m_sim.enterPin(QString::fromLatin1(args->text(0)));
    }
    if (result == VirtualSim::PinResult::NotExpected)
        return Outcome{Outcome::Cme, 3};
    if (result == VirtualSim::PinResult::Wrong) {
        note(QStringLiteral("wrong PIN/PUK, %1 attempts left").arg(m_sim.attemptsLeft()));
        return Outcome{Outcome::Cme, 16};
    }
    note(QStringLiteral("SIM unlocked"));
    updateRegistration();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cfun(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CFUN: " + num(m_functionality);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto fun = args ? args->integer(0, 0, 4) : std::nullopt;
    const auto restart = args ? args->integerOr(1, 0, 1, 0) : std::nullopt;
    if (!fun || !restart || *fun == 2 || *fun == 3 || args->count() > 2)
        return Outcome{Outcome::Error};
    if (*restart == 1) {
        if (m_call)
            endCall(m_call->id, QByteArray(), QStringLiteral("restart"));
        reset();
    }
    m_functionality = *fun;
    updateRegistration();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cscs(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSCS: " + quote(m_settings.charset);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const QByteArray set = args ? args->text(0).toUpper() : QByteArray();
    if (!args || args->count() != 1 || (set != "GSM" && set != "IRA" && set != "UCS2"))
        return Outcome{Outcome::Error};
    m_settings.charset = set;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::csca(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSCA: " + quote(m_serviceCentre.toLatin1()) + ',' + num(addressType(m_serviceCentre));
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    QString number = QString::fromLatin1(args->text(0));
    const auto type = args->integerOr(1, 128, 255, addressType(number));
    if (!type || number.isEmpty() || !isDialString(number) || digitCount(number) > VirtualSim::NumberLength)
        return Outcome{Outcome::Error};
    if (*type == 145 && !number.startsWith(QLatin1Char('+')))
        number.prepend(QLatin1Char('+'));
    m_serviceCentre = number;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::creg(const AtCommand &c)
{
    return registration(c, "+CREG", m_settings.creg);
}

// Packet-domain registration (27.007 10.1.20) follows the circuit one: one network, one cell.
VirtualModem::Outcome VirtualModem::cgreg(const AtCommand &c)
{
    return registration(c, "+CGREG", m_settings.cgreg);
}

VirtualModem::Outcome VirtualModem::cgatt(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CGATT: " + num(m_attached && m_registered ? 1 : 0);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto state = args ? args->integer(0, 0, 1) : std::nullopt;
    if (!state || args->count() > 1)
        return Outcome{Outcome::Error};
    if (*state == 1 && !m_registered)
        return Outcome{Outcome::Cme, 30};
    m_attached = *state == 1;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::registration(const AtCommand &c, const QByteArray &prefix, int &presentation)
{
    if (c.form != AtCommand::Form::Read)
        return numericSetting(c, prefix, 2, presentation);
    m_info << prefix + ": " + num(presentation) + ',' + registrationState(presentation, m_registered);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::numericSetting(const AtCommand &c, const QByteArray &prefix, int high, int &value,
                                                   const QByteArray &readTail)
{
    switch (c.form) {
    case AtCommand::Form::Test:
        m_info << prefix + ": " + (high == 1 ? QByteArray("(0,1)") : "(0-" + num(high) + ')');
        return Outcome{};
    case AtCommand::Form::Read:
        m_info << prefix + ": " + num(value) + readTail;
        return Outcome{};
    case AtCommand::Form::Set: {
        const auto args = AtArguments::parse(c.argument);
        const auto n = args ? args->integerOr(0, 0, high, 0) : std::nullopt;
        if (!n || args->count() > 1)
            return Outcome{Outcome::Error};
        value = *n;
        return Outcome{};
    }
    case AtCommand::Form::Action:
        break;
    }
    return Outcome{Outcome::Error};
}

VirtualModem::Outcome VirtualModem::csq(const AtCommand &)
{
    // The walk runs on whether or not the radio is on, so turning it off does not shift it.
    const VirtualNetwork::Signal signal = m_network.signalAt(nowMs());
    if (m_functionality != 1)
        m_info << "+CSQ: 99,99";
    else
        m_info << "+CSQ: " + num(signal.rssi) + ',' + num(signal.ber);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cops(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        if (m_registered)
            m_info << "+COPS: 0," + num(m_settings.copsFormat) + ',' + quote(OperatorNames[m_settings.copsFormat]);
        else
            m_info << "+COPS: 0";
        return Outcome{};
    }
    // 27.007 7.3: mode 3 sets the format only; any other choice ends on the one network there is.
    const auto args = AtArguments::parse(c.argument);
    const auto mode = args ? args->integer(0, 0, 4) : std::nullopt;
    const auto format = args ? args->integerOr(1, 0, 2, m_settings.copsFormat) : std::nullopt;
    if (!mode || !format || args->count() > 4)
        return Outcome{Outcome::Error};
    if (*mode == 1 || *mode == 4) {
        const QByteArray wanted = args->text(2);
        if (args->present(2) && wanted != OperatorNames[*format])
            return *mode == 1 ? Outcome{Outcome::Cme, 32} : Outcome{};
    }
    m_settings.copsFormat = *format;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::clip(const AtCommand &c)
{
    // <m> 1: the network provides the caller's number.
    return numericSetting(c, "+CLIP", 1, m_settings.clip, ",1");
}

VirtualModem::Outcome VirtualModem::crc(const AtCommand &c)
{
    return numericSetting(c, "+CRC", 1, m_settings.crc);
}

VirtualModem::Outcome VirtualModem::cusd(const AtCommand &c)
{
    if (c.form != AtCommand::Form::Set)
        return numericSetting(c, "+CUSD", 2, m_settings.cusd);
    const auto args = AtArguments::parse(c.argument);
    const auto n = args ? args->integerOr(0, 0, 2, 0) : std::nullopt;
    const auto dcs = args ? args->integerOr(2, 0, 255, 15) : std::nullopt;
    if (!n || !dcs || args->count() > 3)
        return Outcome{Outcome::Error};
    if (*n == 2)
        return Outcome{};  // no session stays open, so there is nothing to cancel
    m_settings.cusd = *n;
    if (!args->present(1))
        return Outcome{};
    const auto request = fromCharset(args->text(1));
    if (!request)
        return Outcome{Outcome::Cme, 25};
    if (!reachable())
        return Outcome{Outcome::Cme, 30};
    const QString text = *request;
    note(QStringLiteral("USSD request %1").arg(text));
    schedule(VirtualNetwork::UssdDelayMs, [this, text] { answerUssd(text); });
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::chup(const AtCommand &)
{
    if (m_call)
        endCall(m_call->id, QByteArray(), QStringLiteral("hung up by the client"));
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::clcc(const AtCommand &)
{
    if (m_call) {
        // 27.007 7.18: <stat> 0 active, 3 alerting, 4 incoming.
        const int stat = m_call->active ? 0 : m_call->incoming ? 4 : 3;
        m_info << "+CLCC: 1," + num(m_call->incoming ? 1 : 0) + ',' + num(stat) + ",0,0,"
                + quote(m_call->number.toLatin1()) + ',' + num(addressType(m_call->number));
    }
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cbc(const AtCommand &)
{
    m_info << "+CBC: 0," + num(m_network.batteryAt(nowMs()));
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cclk(const AtCommand &c)
{
    // 27.007 8.15: "yy/MM/dd,hh:mm:ss±zz", the zone in quarter hours.
    if (c.form == AtCommand::Form::Read) {
        QDateTime now = m_clock->wallTime(nowMs()).addSecs(m_clockOffsetSecs);
        if (m_clockZoneSecs)
            now = now.toOffsetFromUtc(*m_clockZoneSecs);
        const int quarters = now.offsetFromUtc() / 900;
        m_info << "+CCLK: \"" + now.toString(QStringLiteral("yy/MM/dd,hh:mm:ss")).toLatin1()
                + (quarters < 0 ? '-' : '+') + QByteArray::number(qAbs(quarters)).rightJustified(2, '0') + '"';
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const QByteArray text = args && args->count() == 1 ? args->text(0) : QByteArray();
    if (text.size() != 20 || (text.at(17) != '+' && text.at(17) != '-'))
        return Outcome{Outcome::Error};
    bool ok = false;
    const int quarters = text.mid(18).toInt(&ok);
    QDateTime set = QDateTime::fromString(QString::fromLatin1(text.left(17)), QStringLiteral("yy/MM/dd,hh:mm:ss"));
    if (!ok || !set.isValid() || quarters > 56)
        return Outcome{Outcome::Error};
    // Two-digit years are this century's.
    set = QDateTime(set.date().addYears(set.date().year() < 2000 ? 100 : 0), set.time(), Qt::OffsetFromUTC,
                    (text.at(17) == '-' ? -quarters : quarters) * 900);
    m_clockOffsetSecs = m_clock->wallTime(nowMs()).secsTo(set);
    m_clockZoneSecs = set.offsetFromUtc();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cnum(const AtCommand &)
{
    m_info << "+CNUM: " + quote(toCharset(QStringLiteral("Own number"))) + ','
            + quote(QByteArray(VirtualNetwork::OwnNumber)) + ",145";
    return Outcome{};
}

// ---------------------------------------------------------------------------------------------
// Messages (27.005 3, PDU mode only)

VirtualModem::Outcome VirtualModem::cmgf(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CMGF: 0";
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto mode = args ? args->integerOr(0, 0, 1, 0) : std::nullopt;
    if (!mode || args->count() > 1)
        return Outcome{Outcome::Error};
    // Text mode is not offered: 303 "operation not supported".
    return *mode == 0 ? Outcome{} : Outcome{Outcome::Cms, 303};
}

VirtualModem::Outcome VirtualModem::csms(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSMS: " + num(m_settings.csmsService) + ",1,1,1";
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto service = args ? args->integer(0, 0, 1) : std::nullopt;
    if (!service || args->count() > 1)
        return Outcome{Outcome::Error};
    m_settings.csmsService = *service;
    m_info << "+CSMS: 1,1,1";
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cpms(const AtCommand &c)
{
    const auto use = [this](const QByteArray &name) {
        const MessageStore &store = *m_sim.store(name);
        return num(store.used()) + ',' + num(store.capacity());
    };
    if (c.form == AtCommand::Form::Read) {
        const Settings &s = m_settings;
        m_info << "+CPMS: " + quote(s.mem1) + ',' + use(s.mem1) + ',' + quote(s.mem2) + ',' + use(s.mem2) + ','
                + quote(s.mem3) + ',' + use(s.mem3);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 3)
        return Outcome{Outcome::Error};
    QByteArray mem[3] = {m_settings.mem1, m_settings.mem2, m_settings.mem3};
    for (int i = 0; i < args->count(); ++i) {
        if (!args->present(i))
            continue;
        const QByteArray name = args->text(i).toUpper();
        // "SR" can be read and cleared, but nothing is written or received into it by choice.
        if (!m_sim.store(name) || (i > 0 && name == "SR"))
            return Outcome{Outcome::Cms, 302};
        mem[i] = name;
    }
    m_settings.mem1 = mem[0];
    m_settings.mem2 = mem[1];
    m_settings.mem3 = mem[2];
    if (mem[0] == "SR")
        m_srSelected = true;
    m_info << "+CPMS: " + use(mem[0]) + ',' + use(mem[1]) + ',' + use(mem[2]);
    deliverWaiting();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cnmi(const AtCommand &c)
{
    Settings &s = m_settings;
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CNMI: " + num(s.cnmiMode) + ',' + num(s.cnmiMt) + ',' + num(s.cnmiBm) + ',' + num(s.cnmiDs) + ','
                + num(s.cnmiBfr);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() > 5)
        return Outcome{Outcome::Error};
    // V.250 5.4.2.1: an omitted value keeps the current one.
    const auto mode = args->integerOr(0, 0, 3, s.cnmiMode);
    const auto mt = args->integerOr(1, 0, 3, s.cnmiMt);
    const auto bm = args->integerOr(2, 0, 2, s.cnmiBm);
    const auto ds = args->integerOr(3, 0, 2, s.cnmiDs);
    const auto bfr = args->integerOr(4, 0, 1, s.cnmiBfr);
    if (!mode || !mt || !bm || !ds || !bfr || *bm == 1)
        return Outcome{Outcome::Error};
    s.cnmiMode = *mode;
    s.cnmiMt = *mt;
    s.cnmiBm = *bm;
    s.cnmiDs = *ds;
    s.cnmiBfr = *bfr;
    // 27.005 3.4.1 <bfr>: entering mode 1..3 flushes the buffered codes (after the OK) or clears them.
    if (*mode != 0) {
        const QList<QByteArray> buffered = std::exchange(m_cnmiBuffer, {});
        if (*bfr == 0)
            for (const QByteArray &text : buffered)
                m_held << text;
    }
    deliverWaiting();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cnma(const AtCommand &c)
{
    std::optional<int> n = 0;
    if (c.form == AtCommand::Form::Set) {
        const auto args = AtArguments::parse(c.argument);
        n = args ? args->integerOr(0, 0, 2, 0) : std::nullopt;
        // The acknowledgement PDU form (<length> and a prompt) is not offered.
        if (!n || args->count() > 1)
            return Outcome{Outcome::Cms, 303};
    }
    if (!m_ackPending)
        return Outcome{Outcome::Cms, 340};
    m_ackPending = false;
    ++m_ackToken;
    auto item = std::exchange(m_unacked, std::nullopt);
    if (*n == 2 && item) {
        // RP-ERROR: the centre tries again a little later.
        note(QStringLiteral("negative acknowledgement: the centre retries"));
        schedule(VirtualNetwork::ReportDelayMs, [this, again = *item] { offer(again); });
    }
    deliverWaiting();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cmgs(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() != 1 || !args->present(0))
        return Outcome{Outcome::Error};
    const auto length = args->integer(0, 0, 999);
    if (!length || *length < 7 || *length > 164)
        return Outcome{Outcome::Cms, 304};
    m_prompt = Prompt{};
    m_prompt.length = *length;
    return Outcome{Outcome::Prompt};
}

VirtualModem::Outcome VirtualModem::cmgw(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const auto length = args->integer(0, 0, 999);
    const auto stat = args->integerOr(1, 0, 3, 2);
    if (!length || !stat || *length < 7 || *length > 176)
        return Outcome{Outcome::Cms, 304};
    if (m_sim.store(m_settings.mem2)->isFull())
        return Outcome{Outcome::Cms, 322};
    m_prompt = Prompt{};
    m_prompt.write = true;
    m_prompt.length = *length;
    m_prompt.stat = MessageStat(*stat);
    return Outcome{Outcome::Prompt};
}

void VirtualModem::finishPrompt()
{
    const Prompt prompt = std::exchange(m_prompt, Prompt{});
    const QByteArray hex = prompt.hex.toUpper();
    trace(TraceKind::Data, hex);
    Outcome outcome{Outcome::Ok};
    m_executing = true;
    if (prompt.tooLong) {
        outcome = Outcome{Outcome::Cms, 304};
    } else if (!prompt.write) {
        quint8 reference = 0;
        sendSubmit(hex, prompt.length, reference, outcome);
        if (outcome.kind == Outcome::Ok)
            m_info << "+CMGS: " + num(reference);
    } else if (hex.isEmpty() || !isHex(hex) || tpduLengthOf(hex) != prompt.length) {
        outcome = Outcome{Outcome::Cms, 304};
    } else {
        try {
            const pdu::PduType type = pdu::pduType(hex);
            if (type == pdu::PduType::Submit)
                pdu::decodeSubmit(hex);
            else if (type == pdu::PduType::Deliver)
                pdu::decodeDeliver(hex);
            else
                outcome = Outcome{Outcome::Cms, 304};
        } catch (const RaisedError &) {
            outcome = Outcome{Outcome::Cms, 304};
        }
        if (outcome.kind == Outcome::Ok) {
            const int index = m_sim.store(m_settings.mem2)->add(StoredMessage{prompt.stat, hex, prompt.length});
            if (index < 0)
                outcome = Outcome{Outcome::Cms, 322};
            else
                m_info << "+CMGW: " + num(index);
        }
    }
    writeInfo();
    m_executing = false;
    writeFinal(outcome);
    flushHeld();
}

VirtualModem::Outcome VirtualModem::cmss(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 3)
        return Outcome{Outcome::Error};
    MessageStore &store = *m_sim.store(m_settings.mem2);
    const auto index = args->integer(0, 0, 999);
    StoredMessage *message = index && store.validIndex(*index) ? store.find(*index) : nullptr;
    if (!message)
        return Outcome{Outcome::Cms, 321};
    QByteArray hex = message->pdu;
    try {
        if (pdu::pduType(hex) != pdu::PduType::Submit)
            return Outcome{Outcome::Cms, 302};
        if (args->present(1)) {
            pdu::SubmitPdu submit = pdu::decodeSubmit(hex);
            submit.destination = QString::fromLatin1(args->text(1));
            if (!isDialString(submit.destination) || digitCount(submit.destination) > VirtualSim::NumberLength)
                return Outcome{Outcome::Cms, 304};
            hex = pdu::encodeSubmit(submit).hex;
        }
    } catch (const RaisedError &) {
        return Outcome{Outcome::Cms, 304};
    }
    quint8 reference = 0;
    Outcome outcome;
    sendSubmit(hex, tpduLengthOf(hex), reference, outcome);
    if (outcome.kind != Outcome::Ok)
        return outcome;
    if (StoredMessage *sent = store.find(*index))
        sent->stat = MessageStat::StoSent;
    m_info << "+CMSS: " + num(reference);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cmgl(const AtCommand &c)
{
    int stat = 0;  // 27.005 3.4.2: REC UNREAD when omitted
    if (c.form == AtCommand::Form::Set) {
        const auto args = AtArguments::parse(c.argument);
        const auto value = args && args->count() <= 1 ? args->integerOr(0, 0, 4, 0) : std::nullopt;
        if (!value)
            return Outcome{Outcome::Cms, 304};
        stat = *value;
    }
    MessageStore &store = readStore();
    for (auto &[index, message] : store.items()) {
        if (stat != 4 && int(message.stat) != stat)
            continue;
        m_info << "+CMGL: " + num(index) + ',' + num(int(message.stat)) + ",," + num(message.tpduLength) << message.pdu;
        // 27.005 3.4.2: listed "received unread" messages become "received read".
        if (message.stat == MessageStat::RecUnread)
            message.stat = MessageStat::RecRead;
    }
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cmgr(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() != 1 || !args->present(0))
        return Outcome{Outcome::Error};
    MessageStore &store = readStore();
    const auto index = args->integer(0, 0, 99999);
    StoredMessage *message = index && store.validIndex(*index) ? store.find(*index) : nullptr;
    if (!message)
        return Outcome{Outcome::Cms, 321};
    m_info << "+CMGR: " + num(int(message->stat)) + ",," + num(message->tpduLength) << message->pdu;
    if (message->stat == MessageStat::RecUnread)
        message->stat = MessageStat::RecRead;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cmgd(const AtCommand &c)
{
    MessageStore &store = readStore();
    if (c.form == AtCommand::Form::Test) {
        m_info << "+CMGD: " + rangeList(store.items()) + ",(0-4)";
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const auto flag = args->integerOr(1, 0, 4, 0);
    if (!flag)
        return Outcome{Outcome::Cms, 304};
    const auto index = args->integer(0, 0, 99999);
    if (*flag == 0) {
        // An empty but valid place deletes nothing and is not an error (as most modems answer).
        if (!index || !store.validIndex(*index))
            return Outcome{Outcome::Cms, 321};
        store.remove(*index);
    } else {
        // 27.005 3.5.4: <delflag> 1 read, 2 read and sent, 3 read, sent and unsent, 4 all; the
        // index is then ignored.
        QList<int> doomed;
        for (const auto &[i, message] : store.items()) {
            const MessageStat s = message.stat;
            const bool remove = *flag == 4 || s == MessageStat::RecRead
                || (*flag >= 2 && s == MessageStat::StoSent) || (*flag >= 3 && s == MessageStat::StoUnsent);
            if (remove)
                doomed << i;
        }
        for (int i : doomed)
            store.remove(i);
    }
    deliverWaiting();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::csmp(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSMP: " + num(m_settings.csmp[0]) + ',' + num(m_settings.csmp[1]) + ',' + num(m_settings.csmp[2])
                + ',' + num(m_settings.csmp[3]);
        return Outcome{};
    }
    // Text-mode parameters: kept and shown, never used in PDU mode.
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() > 4)
        return Outcome{Outcome::Error};
    int values[4];
    for (int i = 0; i < 4; ++i) {
        const auto v = args->integerOr(i, 0, 255, m_settings.csmp[i]);
        if (!v)
            return Outcome{Outcome::Error};
        values[i] = *v;
    }
    std::copy(values, values + 4, m_settings.csmp);
    return Outcome{};
}

// ---------------------------------------------------------------------------------------------
// Phonebook (27.007 8.11-8.14) and call forwarding (27.007 7.11)

VirtualModem::Outcome VirtualModem::cpbs(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CPBS: \"SM\"," + num(qint64(m_sim.phonebook().size())) + ',' + num(VirtualSim::PhonebookCapacity);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const QByteArray name = args->text(0).toUpper();
    if (name == "SM")
        return Outcome{};
    // The other 27.007 storages exist on phones, not on this modem.
    static const QList<QByteArray> known = {"ME", "MT", "FD", "LD", "MC", "RC", "DC", "ON", "EN", "TA", "SN"};
    return known.contains(name) ? Outcome{Outcome::Cme, 4} : Outcome{Outcome::Error};
}

VirtualModem::Outcome VirtualModem::cpbr(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const auto first = args->integer(0, 1, VirtualSim::PhonebookCapacity);
    if (!first)
        return Outcome{Outcome::Cme, 21};
    const auto last = args->integerOr(1, *first, VirtualSim::PhonebookCapacity, *first);
    if (!last)
        return Outcome{Outcome::Cme, 21};
    const auto &book = m_sim.phonebook();
    for (auto it = book.lower_bound(*first); it != book.end() && it->first <= *last; ++it) {
        const PhonebookRecord &entry = it->second;
        m_info << "+CPBR: " + num(it->first) + ',' + quote(entry.number.toLatin1()) + ',' + num(entry.type) + ','
                + quote(toCharset(entry.name));
    }
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cpbw(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() > 4 || (!args->present(0) && !args->present(1)))
        return Outcome{Outcome::Error};
    auto &book = m_sim.phonebook();
    std::optional<int> index;
    if (args->present(0)) {
        index = args->integer(0, 1, VirtualSim::PhonebookCapacity);
        if (!index)
            return Outcome{Outcome::Cme, 21};
    }
    // 27.007 8.14: the index alone deletes the entry.
    if (!args->present(1) && !args->present(3)) {
        book.erase(*index);
        return Outcome{};
    }
    QString number = QString::fromLatin1(args->text(1));
    const auto type = args->integerOr(2, 128, 255, addressType(number));
    if (!type)
        return Outcome{Outcome::Error};
    const auto name = fromCharset(args->text(3));
    if (!name)
        return Outcome{Outcome::Cme, 25};
    if (digitCount(number) > VirtualSim::NumberLength)
        return Outcome{Outcome::Cme, 26};
    if (!isDialString(number))
        return Outcome{Outcome::Cme, 27};
    if (name->size() > VirtualSim::NameLength)
        return Outcome{Outcome::Cme, 24};
    if (!index) {
        const int free = m_sim.firstFreePhonebookIndex();
        if (free == 0)
            return Outcome{Outcome::Cme, 20};
        index = free;
    }
    int storedType = *type;
    if (number.startsWith(QLatin1Char('+')))
        storedType = 145;
    else if (storedType == 145 && !number.isEmpty())
        number.prepend(QLatin1Char('+'));
    book[*index] = PhonebookRecord{number, storedType, *name};
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::ccfc(const AtCommand &c)
{
    // <reason>,<mode>[,<number>[,<type>[,<class>[,<subaddr>[,<satype>[,<time>]]]]]]
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() > 8)
        return Outcome{Outcome::Error};
    const auto reason = args->integer(0, 0, 5);
    const auto mode = args->integer(1, 0, 4);
    const auto classes = args->integerOr(4, 1, 255, CallForwarding::DefaultClasses);
    const auto time = args->integerOr(7, 1, 30, 20);
    if (!reason || !mode || !classes || !time)
        return Outcome{Outcome::Error};
    if (*mode == CallForwarding::Query) {
        if (!reachable())
            return Outcome{Outcome::Cme, 30};
        m_info << m_network.forwarding().query(*reason, *classes);
        return Outcome{};
    }
    QString number = QString::fromLatin1(args->text(2));
    const auto type = args->integerOr(3, 128, 255, addressType(number));
    if (!type)
        return Outcome{Outcome::Error};
    if (*mode == CallForwarding::Register) {
        if (number.isEmpty())
            return Outcome{Outcome::Cme, 3};
        if (digitCount(number) > VirtualSim::NumberLength)
            return Outcome{Outcome::Cme, 26};
        if (!isDialString(number))
            return Outcome{Outcome::Cme, 27};
        if (*type == 145 && !number.startsWith(QLatin1Char('+')))
            number.prepend(QLatin1Char('+'));
    }
    if (!reachable())
        return Outcome{Outcome::Cme, 30};
    const int refused = m_network.forwarding().change(*reason, *mode, number, number.startsWith(QLatin1Char('+')) ? 145 : *type,
                                                      *classes, *time);
    if (refused)
        return Outcome{Outcome::Cme, refused};
    note(QStringLiteral("forwarding reason %1 mode %2 class %3%4").arg(*reason).arg(*mode).arg(*classes)
             .arg(number.isEmpty() ? QString() : QStringLiteral(" to ") + number));
    return Outcome{};
}

} // namespace pellix::sim
