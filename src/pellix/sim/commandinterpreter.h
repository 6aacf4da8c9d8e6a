// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atcommandline.h"
#include "atoutcome.h"
#include "modemsettings.h"
#include "virtualsim.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace pellix::sim {

class CallControl;
class MessageCentre;
class ModemOutput;
class ModuleClock;
class NetworkRegistration;
class SimBusy;
class VirtualClock;
class VirtualNetwork;
struct FieldBehaviour;

// What the commands act on: the modem's other rooms, owned by the modem.
struct ModemRooms
{
    VirtualSim &sim;
    VirtualNetwork &network;
    CallControl &calls;
    MessageCentre &centre;
    ModemOutput &out;
    SimBusy &simBusy;
    NetworkRegistration &registration;
    ModuleClock &moduleClock;
    const FieldBehaviour &field;
    const VirtualClock &clock;
};

// The commands of V.250, 27.007 and 27.005 this modem answers, and the settings they share.
// Every command has one row in the table of commandinterpreter.cpp: its name, its handler, what it
// needs of the SIM, the forms it takes and its fixed test answer. The handlers live in the file
// of their concept (basic, general, message, message sending, phonebook commands).
class CommandInterpreter
{
public:
    using Outcome = AtOutcome;

    struct Links
    {
        std::function<void(const QString &)> note;
        std::function<qint64()> nowMs;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
        // What a client typed after the prompt, as the modem took it.
        std::function<void(const QByteArray &)> traceData;
    };

    CommandInterpreter(ModemRooms rooms, Links links, bool echoAtReset);

    const ModemSettings &settings() const { return m_settings; }
    ModemSettings &settings() { return m_settings; }
    // Back to the stored profile (ATZ, AT&F, +CFUN=1,1, a restart, power-up).
    void reset();

    // Runs a command line's commands in turn and says their information lines; the first that
    // does not end in OK ends the line (V.250 5.7.1). A Prompt outcome waits for finishPrompt().
    Outcome run(const QList<AtCommand> &commands);
    // A command line or the text after its prompt is being answered.
    bool running() const { return m_running; }
    // The prompt awaits a text-mode message rather than a PDU.
    bool promptTakesText() const { return m_prompt.text; }
    // What was typed after the prompt, up to Ctrl-Z; answered at once.
    void finishPrompt(const QByteArray &typed, bool tooLong);
    // A prompt a program left open before the modem was powered up, for a PDU of this length.
    void awaitPdu(int length);
    // A new client or a restart: the prompt and the lines not yet said are gone.
    void abandon();

private:
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

    using Handler = Outcome (CommandInterpreter::*)(const AtCommand &);
    // The forms of 27.007 4.1 other than the test form, as bits of CommandEntry::forms.
    enum FormBits : quint8 { ActionForm = 1, ReadForm = 2, SetForm = 4, AnyForm = 7 };
    struct CommandEntry
    {
        Handler handler;
        SimNeed needs;
        // The forms the handler takes; any other is an ERROR (after the SIM is asked for).
        quint8 forms = AnyForm;
        // The answer to the test form: its information line, or OK alone when empty. Unset: the
        // handler answers it (values that follow the modem's state, or a setting's range).
        std::optional<QByteArray> test = std::nullopt;
    };
    static const std::map<QByteArray, CommandEntry> &commandTable();
    Outcome execute(const AtCommand &command);

    void note(const QString &text) const { m_links.note(text); }
    qint64 nowMs() const { return m_links.nowMs(); }
    void schedule(qint64 delayMs, std::function<void()> action) { m_links.schedule(delayMs, std::move(action)); }
    bool reachable() const;
    // Text of phonebook entries and USSD in the +CSCS character set.
    std::optional<QString> fromCharset(const QByteArray &bytes) const;
    QByteArray toCharset(const QString &text) const;
    // A setting held in one number, in the forms of 27.007 4.1: test lists 0..high, read shows the
    // value (followed by readTail), set takes one value, 0 when it is left out.
    Outcome numericSetting(const AtCommand &c, const QByteArray &prefix, int high, int &value,
                           const QByteArray &readTail = QByteArray());

    // Basic commands (V.250 6.2), basiccommands.cpp.
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

    // General, network and call commands (27.007 5, 7, 8, 10), generalcommands.cpp.
    Outcome cmee(const AtCommand &c);
    Outcome identity(const AtCommand &c);
    Outcome cimi(const AtCommand &c);
    Outcome ccid(const AtCommand &c);
    Outcome cpin(const AtCommand &c);
    Outcome cpinr(const AtCommand &c);
    Outcome cfun(const AtCommand &c);
    Outcome cscs(const AtCommand &c);
    Outcome csca(const AtCommand &c);
    Outcome creg(const AtCommand &c);
    Outcome cgreg(const AtCommand &c);
    Outcome cereg(const AtCommand &c);
    Outcome cgatt(const AtCommand &c);
    Outcome registration(const AtCommand &c, const QByteArray &prefix, int &presentation);
    Outcome csq(const AtCommand &c);
    Outcome cops(const AtCommand &c);
    Outcome clip(const AtCommand &c);
    Outcome crc(const AtCommand &c);
    Outcome chup(const AtCommand &c);
    Outcome clcc(const AtCommand &c);
    Outcome cbc(const AtCommand &c);
    Outcome cclk(const AtCommand &c);
    Outcome cnum(const AtCommand &c);

    // Unstructured supplementary service data (27.007 7.15), ussdcommands.cpp.
    Outcome cusd(const AtCommand &c);
    void answerUssd(const QString &request, int session);
    void sayUssd(int status, const QString &text);

    // Message storage and routing (27.005 3), messagecommands.cpp.
    MessageStore &readStore();
    Outcome cmgf(const AtCommand &c);
    Outcome csms(const AtCommand &c);
    Outcome cpms(const AtCommand &c);
    Outcome cnmi(const AtCommand &c);
    Outcome cnma(const AtCommand &c);
    Outcome cmgl(const AtCommand &c);
    Outcome cmgr(const AtCommand &c);
    // Text mode (27.005 3.4.3), offered only with FieldBehaviour::storedTextMode.
    Outcome textCmgr(const StoredMessage &message);
    Outcome cmgd(const AtCommand &c);
    Outcome csmp(const AtCommand &c);

    // Sending and writing messages (27.005 3.5), messagesending.cpp.
    Outcome cmgs(const AtCommand &c);
    // Text mode (27.005 3.5.1), offered only with FieldBehaviour::storedTextMode.
    Outcome textCmgs(const AtCommand &c);
    Outcome cmgw(const AtCommand &c);
    Outcome cmss(const AtCommand &c);
    void sendSubmit(const QByteArray &hex, int length, quint8 &reference, Outcome &outcome);
    void sendText(const Prompt &prompt, Outcome &outcome);

    // Phonebook (27.007 8.11-8.14) and call forwarding (27.007 7.11), phonebookcommands.cpp.
    Outcome cpbs(const AtCommand &c);
    Outcome cpbr(const AtCommand &c);
    Outcome cpbw(const AtCommand &c);
    Outcome ccfc(const AtCommand &c);

    ModemRooms m_rooms;
    Links m_links;
    bool m_echoAtReset;
    ModemSettings m_settings;
    Prompt m_prompt;
    bool m_running = false;
    QList<QByteArray> m_info;          // information lines of the command being run
    // A USSD menu the network keeps open for a reply; the session number drops answers to a
    // request that was cancelled or followed by another one.
    bool m_ussdMenu = false;
    int m_ussdSession = 0;
};

} // namespace pellix::sim
