// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "charsetcodec.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::num;
using detail::OperatorNames;
using detail::quote;

namespace {

// A line that has stopped arriving no longer holds back unsolicited codes.
constexpr qint64 TypingPauseMs = 2000;

} // namespace

VirtualModem::VirtualModem(const VirtualModemOptions &options, std::shared_ptr<VirtualClock> clock)
    : m_options(options)
    , m_clock(clock ? std::move(clock) : std::make_shared<RealClock>())
    , m_sim(options.pin)
    , m_network(options.seed)
    , m_calls(m_network.forwarding(),
              CallControl::Links{
                  [this] { return reachable(); },
                  [this] {
                      return CallControl::Presentation{m_settings.crc != 0, m_settings.clip != 0, reg(0)};
                  },
                  [this](const QByteArray &line) { m_out.unsolicited(line); },
                  [this](const QString &text) { note(text); },
                  [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); }})
    , m_centre(m_sim, *m_clock, m_options.field,
               MessageCentre::Links{
                   [this] { return reachable(); },
                   [this] { return m_lineOpen; },
                   [this] {
                       const Settings &s = m_settings;
                       return MessageCentre::Routing{s.cnmiMode, s.cnmiMt, s.cnmiDs, s.csmsService, s.mem3};
                   },
                   [this] {
                       m_settings.cnmiMt = 0;
                       m_settings.cnmiDs = 0;
                   },
                   [this](const QByteArray &line, const QByteArray &pduLine) { m_out.unsolicited(line, pduLine); },
                   [this](const QByteArray &line) { m_out.indication(line); },
                   [this](const QString &text) { note(text); },
                   [this] { return nowMs(); },
                   [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                   [this](const QString &number) { incomingCall(number); }})
    , m_reader(CommandLineReader::Links{
          [this] { return m_settings.echo; },
          [this](int number) { return reg(number); },
          [this] { return m_clock->elapsedMs(); },
          [this](char c) { m_out.raw(c); },
          [this](const QByteArray &body) { executeLine(body); },
          [this](const QByteArray &start) {
              trace(TraceKind::Command, "AT" + start + "... (too long)");
              m_out.final(Outcome{Outcome::Error});
              m_out.flushHeld();
          },
          [this](const QByteArray &typed, bool tooLong) {
              m_prompt.hex = typed;
              m_prompt.tooLong = tooLong;
              finishPrompt();
          },
          [this] {
              trace(TraceKind::Data, "<ESC> (cancelled)");
              m_out.final(Outcome{Outcome::Ok});
              m_out.flushHeld();
          }})
    , m_out(ModemOutput::Links{
          [this] {
              const Settings &s = m_settings;
              return ModemOutput::Framing{s.verbose, s.quiet, s.cmee, char(reg(3)), char(reg(4)), s.cnmiMode};
          },
          [this] { return linkBusy(); },
          [this] { return m_restarts.restarting(); },
          [this](int percent) { return vendorLines(percent); },
          [this] { return bool(m_trace); },
          [this](const QByteArray &line) { trace(TraceKind::Response, line); }})
    , m_vendorNoise(options.seed ^ 0x5E4D0E15E0000000ull)
    , m_lateAnswer(m_options.field,
                   LateAnswer::Links{
                       [this](const QString &text) { note(text); },
                       [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                       [this](const QByteArray &answer, const QByteArray &input) {
                           m_out.raw(answer);
                           m_out.flushHeld();
                           takeInput(input);
                       }})
    , m_simBusy(m_options.field,
                SimBusy::Links{
                    [this] { return m_clock->elapsedMs(); },
                    [this](const QString &text) { note(text); },
                    [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                    [this](const QByteArray &line) { m_out.unsolicited(line); }})
    , m_restarts(m_options.field,
                 RestartCycle::Links{
                     [this](const QString &text) { note(text); },
                     [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                     [this] { loseBoot(); },
                     [this] { wakeWithStoredProfile(); },
                     [this](const QByteArray &line) { sayBootLine(line); },
                     [this] {
                         if (m_options.field.simBusySeconds > 0)
                             m_simBusy.start(true);
                         updateRegistration();
                     }})
{
    m_sim.loadStartingContents(options.seed, m_clock->now(), m_centre.address(), QLatin1String(VirtualNetwork::OwnNumber));
    reset();
    m_registered = reachable();
    powerUp();
}

VirtualModem::~VirtualModem() = default;

void VirtualModem::reset()
{
    m_settings = Settings();
    m_settings.echo = m_options.echo;
    // The set at power-on: IRA where it is offered, as before; else the first one offered.
    const QList<QByteArray> sets = m_options.field.charsets.split(',');
    if (!sets.contains(m_settings.charset) && !sets.isEmpty())
        m_settings.charset = sets.first();
    m_settings.registers = {{0, 0}, {3, 13}, {4, 10}, {5, 8}, {6, 2}, {7, 50}, {8, 2}, {10, 14}};
    // ATZ, a restart and power-up all take the profile stored with AT&W.
    m_settings.cmgf = m_options.field.storedTextMode ? 1 : 0;
    m_centre.storeReportsInSr(false);
    m_out.clearBuffered();
}

void VirtualModem::feed(const QByteArray &bytes)
{
    if (frozen())
        return;
    poll();
    if (m_restarts.restarting()) {
        trace(TraceKind::Command, "(lost while the modem restarts: " + bytes.left(40).trimmed() + ')');
        return;
    }
    takeInput(bytes);
}

void VirtualModem::lineOpened()
{
    m_lineOpen = true;
    // A modem left inside a prompt that ignores DTR (&D0) keeps waiting for the PDU.
    if (m_reader.inPrompt() && m_options.field.stuckPrompt) {
        m_out.flushHeld();
        return;
    }
    if (m_reader.inPrompt())
        trace(TraceKind::Data, "(abandoned)");
    m_reader.abandon();
    m_prompt = Prompt{};
    m_lateAnswer.drop();
    m_out.flushHeld();
}

void VirtualModem::lineClosed()
{
    m_lineOpen = false;
}

bool VirtualModem::linkBusy() const
{
    // Codes that arise while a command runs come after its final result, as on real modems.
    if (m_reader.inPrompt() || m_executing || m_lateAnswer.holding())
        return true;
    return m_reader.typing(TypingPauseMs);
}

void VirtualModem::executeLine(const QByteArray &body)
{
    trace(TraceKind::Command, "AT" + body);
    emitBootLine();
    const auto commands = AtCommandLine::parse(body);
    if (commands && m_restarts.triggeredBy(*commands)) {
        restart();
        return;
    }
    const qsizetype answerStart = m_out.size();
    const bool late = commands && m_lateAnswer.due(*commands);
    Outcome outcome{Outcome::Ok};
    m_executing = true;
    if (!commands) {
        outcome = Outcome{Outcome::Error};
    } else {
        for (const AtCommand &command : *commands) {
            m_info.clear();
            outcome = execute(command);
            m_out.info(std::exchange(m_info, {}));
            // V.250 5.7.1: the first failing command ends the line; a prompt waits for its data.
            if (outcome.kind != Outcome::Ok)
                break;
        }
    }
    m_executing = false;
    if (outcome.kind == Outcome::Prompt) {
        m_reader.enterPrompt(m_prompt.text);
        m_out.write("\r\n> ");
        if (late)
            holdLateAnswer(answerStart);
        return;
    }
    m_out.final(outcome);
    if (late)
        holdLateAnswer(answerStart);
    m_out.flushHeld();
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
        {"+CSCS", {&VirtualModem::cscs, N::Nothing, R | S}},
        {"+CSCA", {&VirtualModem::csca, N::SimForCms, R | S, ok}},
        {"+CREG", {&VirtualModem::creg, N::Nothing, R | S}},
        {"+CGREG", {&VirtualModem::cgreg, N::Nothing, R | S}},
        {"+CGATT", {&VirtualModem::cgatt, N::Nothing, R | S, "+CGATT: (0,1)"}},
        {"+CSQ", {&VirtualModem::csq, N::Nothing, A, "+CSQ: (0-31,99),(0-7,99)"}},
        {"+COPS", {&VirtualModem::cops, N::Nothing, R | S,
                   "+COPS: (2," + quote(OperatorNames[0]) + ',' + quote(OperatorNames[1]) + ','
                       + quote(OperatorNames[2]) + "),,(0-4),(0-2)"}},
        {"+CMGF", {&VirtualModem::cmgf, N::Nothing, R | S}},
        {"+CSMS", {&VirtualModem::csms, N::Nothing, R | S, "+CSMS: (0,1)"}},
        // Without the outer parentheses some modems add (protocol notes 1.4).
        {"+CPMS", {&VirtualModem::cpms, N::SimForCms, R | S, "+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")"}},
        {"+CNMI", {&VirtualModem::cnmi, N::Nothing, R | S}},
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
    if (const auto busy = m_simBusy.answer(command, entry.needs))
        return *busy;
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

QByteArray VirtualModem::takeOutput()
{
    // A hung firmware says nothing, whatever the network does meanwhile.
    const bool mute = frozen();
    const QByteArray out = m_out.take();
    return mute ? QByteArray() : out;
}

int VirtualModem::reg(int number) const
{
    const auto it = m_settings.registers.find(number);
    return it == m_settings.registers.end() ? 0 : it->second;
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
    return CharsetCodec(m_settings.charset).decode(bytes);
}

QByteArray VirtualModem::toCharset(const QString &text) const
{
    return CharsetCodec(m_settings.charset).encode(text);
}

} // namespace pellix::sim
