// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atcommandline.h"
#include "callcontrol.h"
#include "commandlinereader.h"
#include "eventschedule.h"
#include "fieldbehaviour.h"
#include "lateanswer.h"
#include "messagecentre.h"
#include "modemoutput.h"
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
#include <map>
#include <memory>
#include <optional>

namespace pellix::pdu {
struct SubmitPdu;
}

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

    static constexpr char Manufacturer[] = "Pellix";
    static constexpr char Model[] = "PVM-1";
    static constexpr char Revision[] = "PVM-1 2.6.0";
    static constexpr char Imei[] = "357920061482624";
    static constexpr char Imsi[] = "001011234567890";

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

    struct Settings
    {
        bool echo = true;
        bool verbose = true;          // V1
        bool quiet = false;           // Q1
        int cmee = 0;
        int cmgf = 0;                 // 0 PDU mode, 1 text mode (27.005 3.2.3)
        QByteArray charset = "IRA";
        int cnmiMode = 0;
        int cnmiMt = 0;
        int cnmiBm = 0;
        int cnmiDs = 0;
        int cnmiBfr = 0;
        int clip = 0;
        int crc = 0;
        int creg = 0;
        int cgreg = 0;
        int copsFormat = 0;           // 0 long name, 1 short name, 2 numeric
        int csmsService = 0;
        int cusd = 0;
        QByteArray mem1 = "SM";
        QByteArray mem2 = "SM";
        QByteArray mem3 = "SM";
        int csmp[4] = {17, 167, 0, 0};
        std::map<int, int> registers;  // S-registers
    };

    struct Prompt
    {
        bool write = false;          // +CMGW rather than +CMGS
        int length = 0;
        MessageStat stat = MessageStat::StoUnsent;
        QByteArray hex;
        bool tooLong = false;
        bool text = false;           // a text-mode +CMGS: what is typed is the message itself
        QString destination;         // its <da>
    };

    using Handler = Outcome (VirtualModem::*)(const AtCommand &);
    using Needs = SimNeed;
    // The forms of 27.007 4.1 other than the test form, as bits of CommandEntry::forms.
    enum FormBits : quint8 { ActionForm = 1, ReadForm = 2, SetForm = 4, AnyForm = 7 };
    struct CommandEntry
    {
        Handler handler;
        Needs needs;
        // The forms the handler takes; any other is an ERROR (after the SIM is asked for).
        quint8 forms = AnyForm;
        // The answer to the test form: its information line, or OK alone when empty. Unset: the
        // handler answers it (values that follow the modem's state, or a setting's range).
        std::optional<QByteArray> test = std::nullopt;
    };
    static const std::map<QByteArray, CommandEntry> &commandTable();

    // Input side.
    void executeLine(const QByteArray &body);
    Outcome execute(const AtCommand &command);
    bool linkBusy() const;
    void reset();

    // The field behaviours of power-up (FieldBehaviour): quiet, stuck prompt, boot lines, SIM busy.
    void powerUp();
    void emitBootLine();
    // Restarts (virtualmodemrestart.cpp): what the old boot loses and what the new one brings.
    void loseBoot();
    void wakeWithStoredProfile();
    void sayBootLine(const QByteArray &line);

    // Field behaviours of the output side (virtualmodemfieldoutput.cpp): vendor lines and late
    // answers.
    QByteArray vendorLines(int percent);
    void holdLateAnswer(qsizetype answerStart);
    void takeInput(const QByteArray &bytes);
    // Field behaviours of the network and the firmware (virtualmodemfieldevents.cpp): a flood of
    // messages at once, a modem that stops answering.
    void flood();
    bool frozen();
    void trace(TraceKind kind, const QByteArray &text) const;
    void note(const QString &text) const;
    int reg(int number) const;
    // Text of phonebook entries and USSD in the +CSCS character set.
    std::optional<QString> fromCharset(const QByteArray &bytes) const;
    QByteArray toCharset(const QString &text) const;

    // Network side.
    qint64 nowMs() const;
    void schedule(qint64 delayMs, std::function<void()> action);
    bool reachable() const;
    void updateRegistration();
    void sendSubmit(const QByteArray &hex, int length, quint8 &reference, Outcome &outcome);
    void sendText(const Prompt &prompt, Outcome &outcome);
    void answerUssd(const QString &request);

    // Basic commands (V.250 6.2).
    Outcome basicE(const AtCommand &c);
    Outcome basicV(const AtCommand &c);
    Outcome basicQ(const AtCommand &c);
    Outcome basicZ(const AtCommand &c);
    Outcome basicI(const AtCommand &c);
    Outcome basicA(const AtCommand &c);
    Outcome basicD(const AtCommand &c);
    Outcome basicH(const AtCommand &c);
    Outcome basicAccepted(const AtCommand &c);
    Outcome basicS(const AtCommand &c);

    // General commands (27.007 5, 7, 8).
    Outcome cmee(const AtCommand &c);
    Outcome identity(const AtCommand &c);
    Outcome cimi(const AtCommand &c);
    Outcome cpin(const AtCommand &c);
    Outcome cfun(const AtCommand &c);
    Outcome cscs(const AtCommand &c);
    Outcome csca(const AtCommand &c);
    Outcome creg(const AtCommand &c);
    Outcome cgreg(const AtCommand &c);
    Outcome cgatt(const AtCommand &c);
    Outcome registration(const AtCommand &c, const QByteArray &prefix, int &presentation);
    // A setting held in one number, in the forms of 27.007 4.1: test lists 0..high, read shows the
    // value (followed by readTail), set takes one value, 0 when it is left out.
    Outcome numericSetting(const AtCommand &c, const QByteArray &prefix, int high, int &value,
                           const QByteArray &readTail = QByteArray());
    Outcome csq(const AtCommand &c);
    Outcome cops(const AtCommand &c);
    Outcome clip(const AtCommand &c);
    Outcome crc(const AtCommand &c);
    Outcome cusd(const AtCommand &c);
    Outcome chup(const AtCommand &c);
    Outcome clcc(const AtCommand &c);
    Outcome cbc(const AtCommand &c);
    Outcome cclk(const AtCommand &c);
    Outcome cnum(const AtCommand &c);

    // Message commands (27.005 3, PDU mode only).
    MessageStore &readStore();
    void finishPrompt();
    Outcome cmgf(const AtCommand &c);
    // Text mode (27.005 3.5.1, 3.4.3), offered only with FieldBehaviour::storedTextMode.
    Outcome textCmgs(const AtCommand &c);
    Outcome textCmgr(const StoredMessage &message);
    Outcome csms(const AtCommand &c);
    Outcome cpms(const AtCommand &c);
    Outcome cnmi(const AtCommand &c);
    Outcome cnma(const AtCommand &c);
    Outcome cmgs(const AtCommand &c);
    Outcome cmgw(const AtCommand &c);
    Outcome cmss(const AtCommand &c);
    Outcome cmgl(const AtCommand &c);
    Outcome cmgr(const AtCommand &c);
    Outcome cmgd(const AtCommand &c);
    Outcome csmp(const AtCommand &c);

    // Phonebook (27.007 8.11-8.14) and call forwarding (27.007 7.11).
    Outcome cpbs(const AtCommand &c);
    Outcome cpbr(const AtCommand &c);
    Outcome cpbw(const AtCommand &c);
    Outcome ccfc(const AtCommand &c);

    VirtualModemOptions m_options;
    std::shared_ptr<VirtualClock> m_clock;
    VirtualSim m_sim;
    VirtualNetwork m_network;
    Settings m_settings;
    CallControl m_calls;
    MessageCentre m_centre;
    Trace m_trace;

    CommandLineReader m_reader;
    bool m_executing = false;          // a command line is being answered
    Prompt m_prompt;

    ModemOutput m_out;
    QList<QByteArray> m_info;          // information lines of the command being run
    VendorNoise m_vendorNoise;
    LateAnswer m_lateAnswer;

    EventSchedule m_schedule;

    int m_functionality = 1;           // +CFUN
    qint64 m_clockOffsetSecs = 0;      // +CCLK set by the client, against the network's time
    std::optional<int> m_clockZoneSecs;
    bool m_registered = false;
    bool m_attached = true;            // +CGATT

    bool m_lineOpen = true;            // a client has the line open (lineOpened/lineClosed)
    SimBusy m_simBusy;
    QList<QByteArray> m_bootLines;     // boot noise still to come, one before each answer
    RestartCycle m_restarts;
    bool m_flooded = false;            // the flood has come (once per power-up)
    bool m_frozen = false;
};

} // namespace pellix::sim
