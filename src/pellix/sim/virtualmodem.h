// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atcommandline.h"
#include "callcontrol.h"
#include "commandinterpreter.h"
#include "commandlinereader.h"
#include "eventschedule.h"
#include "fieldbehaviour.h"
#include "firmwarehang.h"
#include "lateanswer.h"
#include "messagecentre.h"
#include "modemidentity.h"
#include "modemoutput.h"
#include "moduleclock.h"
#include "networkregistration.h"
#include "restartcycle.h"
#include "simbusy.h"
#include "virtualclock.h"
#include "virtualnetwork.h"
#include "vendornoise.h"
#include "virtualsim.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pellix::sim {

struct VirtualModemOptions
{
    quint64 seed = 1;      // picks the starting SIM's time stamps, the signal and the battery
    QString pin;           // non-empty: the SIM asks for this PIN (+CPIN: SIM PIN)
    bool echo = true;      // echo at power-on and after ATZ / AT&F, as real modems start
    FieldBehaviour field;  // the quirks of real devices, all off by default
};

// A GSM modem that speaks AT commands (V.250, 27.007, 27.005 in PDU mode) to one client, with a
// SIM and a simulated network behind it. Bytes go in with feed() in any split, answers come out
// of takeOutput(). Commands are answered at once; only what the network does (returning
// messages, delivery reports, calls, USSD answers) waits for its time on the clock, and runs when
// poll() (or feed()) finds it due.
class VirtualModem
{
public:
    enum class TraceKind { Command, Data, Response, Network };
    using Trace = std::function<void(TraceKind, const QByteArray &)>;

    // What it says it is; a constant of the modem, kept here for the callers that name it so.
    static constexpr const auto &Manufacturer = ModemIdentity::Manufacturer;
    static constexpr const auto &Model = ModemIdentity::Model;
    static constexpr const auto &Revision = ModemIdentity::Revision;
    static constexpr const auto &Imei = ModemIdentity::Imei;
    static constexpr const auto &Imsi = ModemIdentity::Imsi;

    explicit VirtualModem(const VirtualModemOptions &options = VirtualModemOptions(),
                          std::shared_ptr<VirtualClock> clock = nullptr);
    ~VirtualModem();
    VirtualModem(const VirtualModem &) = delete;
    VirtualModem &operator=(const VirtualModem &) = delete;

    // Bytes from the client. Runs what fell due first, so that events keep their order.
    void feed(const QByteArray &bytes);
    // Runs the network events that fell due on the clock.
    void poll();
    QByteArray takeOutput();
    bool hasOutput() const { return !m_out.isEmpty(); }
    // Clock time of the next scheduled event; nullopt when nothing is scheduled.
    std::optional<qint64> nextEventDue() const;

    VirtualClock &clock() const { return *m_clock; }
    VirtualSim &sim() { return m_sim; }
    VirtualNetwork &network() { return m_network; }

    // Every command line, PDU, answer line and network decision, for --verbose and diagnostics.
    void setTrace(Trace trace) { m_trace = std::move(trace); }

    // A client opened the line (DTR raised, V.250 &D): whatever the previous one left half-typed,
    // a command line or a PDU after the prompt, is abandoned.
    void lineOpened();
    // The client closed the line: nobody reads what the modem says until the next lineOpened().
    void lineClosed();

    // The network calls the modem from callerNumber now (forwarding and reachability applied).
    void incomingCall(const QString &callerNumber);
    // The network brings an SMS-DELIVER (hex PDU with SMSC field) now; false when it does not
    // decode as one.
    bool incomingMessage(const QByteArray &hexPdu);

    // The modem restarts now (brown-out, watchdog, a hub's power cycle): what it was doing is
    // lost, it is deaf and mute for FieldBehaviour::restartSilenceMs, then says its boot lines
    // and comes back with its stored profile. Messages arriving meanwhile wait in the network.
    void restart();
    bool restarting() const { return m_restarts.restarting(); }

    // What the service centre took from this modem, oldest first (the last 100): a client's
    // message in PDU mode, or a text typed after a text-mode prompt.
    using Submission = MessageCentre::Submission;
    const QList<Submission> &submissions() const { return m_centre.submissions(); }

    const FieldBehaviour &field() const { return m_options.field; }
    // For a test that changes a behaviour in the middle of a session.
    FieldBehaviour &field() { return m_options.field; }

private:
    using Outcome = AtOutcome;

    void executeLine(const QByteArray &body);
    bool linkBusy() const;
    void takeInput(const QByteArray &bytes);
    // The field behaviours of power-up (FieldBehaviour): quiet, stuck prompt, boot lines, SIM busy.
    void powerUp();
    // Restarts (virtualmodemrestart.cpp): what the old boot loses and what the new one brings.
    void loseBoot();
    void wakeWithStoredProfile();
    void sayBootLine(const QByteArray &line);
    void trace(TraceKind kind, const QByteArray &text) const;
    void note(const QString &text) const;
    qint64 nowMs() const;
    void schedule(qint64 delayMs, std::function<void()> action);

    VirtualModemOptions m_options;
    std::shared_ptr<VirtualClock> m_clock;
    Trace m_trace;
    bool m_lineOpen = true;            // a client has the line open (lineOpened/lineClosed)

    VirtualSim m_sim;
    VirtualNetwork m_network;
    EventSchedule m_schedule;
    RestartCycle m_restarts;
    NetworkRegistration m_registration;
    ModuleClock m_moduleClock;
    CallControl m_calls;
    MessageCentre m_centre;
    ModemOutput m_out;
    CommandInterpreter m_interpreter;
    CommandLineReader m_reader;
    VendorNoise m_vendorNoise;
    LateAnswer m_lateAnswer;
    SimBusy m_simBusy;
    FirmwareHang m_hang;
};

} // namespace pellix::sim
