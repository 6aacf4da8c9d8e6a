// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"

namespace pellix::sim {

namespace {

// A line that has stopped arriving no longer holds back unsolicited codes.
constexpr qint64 TypingPauseMs = 2000;

} // namespace

VirtualModem::VirtualModem(const VirtualModemOptions &options, std::shared_ptr<VirtualClock> clock)
    : m_options(options)
    , m_clock(clock ? std::move(clock) : std::make_shared<RealClock>())
    , m_sim(options.pin)
    , m_network(options.seed, options.field.ownNumber)
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
                         m_registration.update();
                     }})
    , m_registration(m_options.field,
                     NetworkRegistration::Links{
                         [this] { return m_restarts.restarting(); },
                         [this] { return m_sim.lock() == VirtualSim::Lock::Ready; },
                         [this] { return m_interpreter.settings().creg; },
                         [this] { return m_interpreter.settings().cgreg; },
                         [this] { return m_interpreter.settings().cereg; },
                         [this](const QByteArray &line) { m_out.unsolicited(line); },
                         [this](const QString &text) { note(text); },
                         [this] { m_centre.deliverWaiting(); }})
    , m_calls(m_network.forwarding(),
              CallControl::Links{
                  [this] { return m_registration.reachable(); },
                  [this] {
                      const ModemSettings &s = m_interpreter.settings();
                      return CallControl::Presentation{s.crc != 0, s.clip != 0, s.reg(0)};
                  },
                  [this](const QByteArray &line) { m_out.unsolicited(line); },
                  [this](const QString &text) { note(text); },
                  [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); }})
    , m_centre(m_sim, *m_clock, m_options.field,
               MessageCentre::Links{
                   [this] { return m_registration.reachable(); },
                   [this] { return m_lineOpen; },
                   [this] {
                       const ModemSettings &s = m_interpreter.settings();
                       return MessageCentre::Routing{s.cnmiMode, s.cnmiMt, s.cnmiDs, s.csmsService, s.mem3};
                   },
                   [this] {
                       m_interpreter.settings().cnmiMt = 0;
                       m_interpreter.settings().cnmiDs = 0;
                   },
                   [this](const QByteArray &line, const QByteArray &pduLine) { m_out.unsolicited(line, pduLine); },
                   [this](const QByteArray &line) { m_out.indication(line); },
                   [this](const QString &text) { note(text); },
                   [this] { return nowMs(); },
                   [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                   [this](const QString &number) { incomingCall(number); }})
    , m_out(ModemOutput::Links{
          [this] {
              const ModemSettings &s = m_interpreter.settings();
              return ModemOutput::Framing{s.verbose, s.quiet, s.cmee, char(s.reg(3)), char(s.reg(4)), s.cnmiMode};
          },
          [this] { return linkBusy(); },
          [this] { return m_restarts.restarting(); },
          [this](int percent) {
              // Only with V1: a vendor's own codes are verbose lines, and with V0 a client would
              // read them as digits of a numeric result.
              if (!m_options.field.vendorNoise || !m_interpreter.settings().verbose)
                  return QByteArray();
              return m_vendorNoise.lines(percent, m_out.eol());
          },
          [this] { return bool(m_trace); },
          [this](const QByteArray &line) { trace(TraceKind::Response, line); }})
    , m_interpreter(ModemRooms{m_sim, m_network, m_calls, m_centre, m_out, m_simBusy, m_registration, m_moduleClock,
                               m_options.field, *m_clock},
                    CommandInterpreter::Links{
                        [this](const QString &text) { note(text); },
                        [this] { return nowMs(); },
                        [this](qint64 delayMs, std::function<void()> action) { schedule(delayMs, std::move(action)); },
                        [this](const QByteArray &typed) { trace(TraceKind::Data, typed); }},
                    options.echo)
    , m_reader(CommandLineReader::Links{
          [this] { return m_interpreter.settings().echo; },
          [this](int number) { return m_interpreter.settings().reg(number); },
          [this] { return m_clock->elapsedMs(); },
          [this](char c) { m_out.raw(c); },
          [this](const QByteArray &body) { executeLine(body); },
          [this](const QByteArray &start) {
              trace(TraceKind::Command, "AT" + start + "... (too long)");
              m_out.final(Outcome{Outcome::Error});
              m_out.flushHeld();
          },
          [this](const QByteArray &typed, bool tooLong) { m_interpreter.finishPrompt(typed, tooLong); },
          [this] {
              trace(TraceKind::Data, "<ESC> (cancelled)");
              m_out.final(Outcome{Outcome::Ok});
              m_out.flushHeld();
          }})
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
    , m_hang(m_options.field, [this](const QString &text) { note(text); })
{
    m_sim.loadStartingContents(options.seed, m_clock->now(), m_centre.address(), m_network.ownNumber());
    if (options.field.pinAttempts >= 0)
        m_sim.setAttemptsLeft(options.field.pinAttempts);
    if (options.field.noSmsc)
        m_centre.setAddress(QString());
    m_interpreter.reset();
    m_registration.settle();
    powerUp();
}

VirtualModem::~VirtualModem() = default;

void VirtualModem::feed(const QByteArray &bytes)
{
    if (m_hang.hung(m_clock->elapsedMs()))
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
    m_interpreter.abandon();
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
    if (m_reader.inPrompt() || m_interpreter.running() || m_lateAnswer.holding())
        return true;
    return m_reader.typing(TypingPauseMs);
}

void VirtualModem::executeLine(const QByteArray &body)
{
    trace(TraceKind::Command, "AT" + body);
    m_restarts.sayPendingBootLine();
    const auto commands = AtCommandLine::parse(body);
    if (commands && m_restarts.triggeredBy(*commands)) {
        restart();
        return;
    }
    const qsizetype answerStart = m_out.size();
    const bool late = commands && m_lateAnswer.due(*commands);
    const Outcome outcome = commands ? m_interpreter.run(*commands) : Outcome{Outcome::Error};
    if (outcome.kind == Outcome::Prompt) {
        m_reader.enterPrompt(m_interpreter.promptTakesText());
        m_out.write("\r\n> ");
    } else {
        m_out.final(outcome);
    }
    // What the line's commands answered, information lines and final code, waits on the clock
    // (a modem busy with the network); the echo had gone out as the line was typed.
    if (late)
        m_lateAnswer.hold(m_out.cut(answerStart));
    if (outcome.kind != Outcome::Prompt)
        m_out.flushHeld();
}

QByteArray VirtualModem::takeOutput()
{
    // A hung firmware says nothing, whatever the network does meanwhile.
    const bool mute = m_hang.hung(m_clock->elapsedMs());
    const QByteArray out = m_out.take();
    return mute ? QByteArray() : out;
}

void VirtualModem::takeInput(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_lateAnswer.holding()) {
            m_lateAnswer.buffer(bytes.mid(i));
            return;
        }
        m_reader.take(bytes.at(i));
    }
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

} // namespace pellix::sim
