// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "charsetcodec.h"
#include "fieldbehaviour.h"
#include "messagecentre.h"
#include "modemoutput.h"
#include "networkregistration.h"
#include "simbusy.h"

namespace pellix::sim {

using detail::num;
using detail::OperatorNames;
using detail::quote;

CommandInterpreter::CommandInterpreter(ModemRooms rooms, Links links, bool echoAtReset)
    : m_rooms(rooms)
    , m_links(std::move(links))
    , m_echoAtReset(echoAtReset)
{
}

// Adding a command takes one row here, and its handler in the file of its concept.
const std::map<QByteArray, CommandInterpreter::CommandEntry> &CommandInterpreter::commandTable()
{
    using N = SimNeed;
    using I = CommandInterpreter;
    constexpr quint8 A = ActionForm;
    constexpr quint8 R = ReadForm;
    constexpr quint8 S = SetForm;
    const QByteArray ok;  // a test form that lists nothing: OK alone
    static const std::map<QByteArray, CommandEntry> table = {
        {"E", {&I::basicE, N::Nothing}},
        {"V", {&I::basicV, N::Nothing}},
        {"Q", {&I::basicQ, N::Nothing}},
        {"Z", {&I::basicZ, N::Nothing}},
        {"&F", {&I::basicZ, N::Nothing}},
        {"I", {&I::basicI, N::Nothing}},
        {"A", {&I::basicA, N::Nothing}},
        {"D", {&I::basicD, N::SimForCme}},
        {"H", {&I::basicH, N::Nothing}},
        {"X", {&I::basicAccepted, N::Nothing}},
        {"L", {&I::basicAccepted, N::Nothing}},
        {"M", {&I::basicAccepted, N::Nothing}},
        {"&C", {&I::basicAccepted, N::Nothing}},
        {"&D", {&I::basicAccepted, N::Nothing}},
        {"&K", {&I::basicAccepted, N::Nothing}},
        {"&W", {&I::basicAccepted, N::Nothing}},
        {"+CMEE", {&I::cmee, N::Nothing, R | S}},
        {"+CGMI", {&I::identity, N::Nothing, A, ok}},
        {"+CGMM", {&I::identity, N::Nothing, A, ok}},
        {"+CGMR", {&I::identity, N::Nothing, A, ok}},
        {"+CGSN", {&I::identity, N::Nothing, A, ok}},
        {"+GMI", {&I::identity, N::Nothing, A, ok}},
        {"+GMM", {&I::identity, N::Nothing, A, ok}},
        {"+GMR", {&I::identity, N::Nothing, A, ok}},
        {"+GSN", {&I::identity, N::Nothing, A, ok}},
        {"+CIMI", {&I::cimi, N::SimForCme, A, ok}},
        {"+CCID", {&I::ccid, N::SimForCme, A | R, ok}},
        {"+ICCID", {&I::ccid, N::SimForCme, A | R, ok}},
        {"+CPIN", {&I::cpin, N::Nothing, R | S, ok}},
        {"+CPINR", {&I::cpinr, N::Nothing, A | S, ok}},
        {"+CFUN", {&I::cfun, N::Nothing, R | S, "+CFUN: (0,1,4),(0,1)"}},
        {"+CSCS", {&I::cscs, N::Nothing, R | S}},
        {"+CSCA", {&I::csca, N::SimForCms, R | S, ok}},
        {"+CREG", {&I::creg, N::Nothing, R | S}},
        {"+CGREG", {&I::cgreg, N::Nothing, R | S}},
        {"+CEREG", {&I::cereg, N::Nothing, R | S}},
        {"+CGATT", {&I::cgatt, N::Nothing, R | S, "+CGATT: (0,1)"}},
        {"+CSQ", {&I::csq, N::Nothing, A, "+CSQ: (0-31,99),(0-7,99)"}},
        {"+COPS", {&I::cops, N::Nothing, R | S,
                   "+COPS: (2," + quote(OperatorNames[0]) + ',' + quote(OperatorNames[1]) + ','
                       + quote(OperatorNames[2]) + "),,(0-4),(0-2)"}},
        {"+CMGF", {&I::cmgf, N::Nothing, R | S}},
        {"+CSMS", {&I::csms, N::Nothing, R | S, "+CSMS: (0,1)"}},
        // Without the outer parentheses some modems add (protocol notes 1.4).
        {"+CPMS", {&I::cpms, N::SimForCms, R | S, "+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")"}},
        {"+CNMI", {&I::cnmi, N::Nothing, R | S}},
        {"+CNMA", {&I::cnma, N::Nothing, A | S, "+CNMA: (0-2)"}},
        {"+CMGS", {&I::cmgs, N::SimForCms, S, ok}},
        {"+CMGW", {&I::cmgw, N::SimForCms, S, ok}},
        {"+CMSS", {&I::cmss, N::SimForCms, S, ok}},
        {"+CMGL", {&I::cmgl, N::SimForCms, A | S, "+CMGL: (0-4)"}},
        {"+CMGR", {&I::cmgr, N::SimForCms, S, ok}},
        {"+CMGD", {&I::cmgd, N::SimForCms, S}},
        {"+CSMP", {&I::csmp, N::Nothing, R | S, ok}},
        {"+CPBS", {&I::cpbs, N::SimForCme, R | S, "+CPBS: (\"SM\")"}},
        {"+CPBR", {&I::cpbr, N::SimForCme, S,
                   "+CPBR: (1-" + num(VirtualSim::PhonebookCapacity) + ")," + num(VirtualSim::NumberLength) + ','
                       + num(VirtualSim::NameLength)}},
        {"+CPBW", {&I::cpbw, N::SimForCme, S,
                   "+CPBW: (1-" + num(VirtualSim::PhonebookCapacity) + ")," + num(VirtualSim::NumberLength)
                       + ",(129,145)," + num(VirtualSim::NameLength)}},
        {"+CNUM", {&I::cnum, N::SimForCme, A, ok}},
        {"+CCFC", {&I::ccfc, N::SimForCme, S, "+CCFC: (0-5)"}},
        {"+CLIP", {&I::clip, N::Nothing, R | S}},
        {"+CRC", {&I::crc, N::Nothing, R | S}},
        {"+CUSD", {&I::cusd, N::SimForCme, R | S}},
        {"+CHUP", {&I::chup, N::Nothing, A, ok}},
        {"+CLCC", {&I::clcc, N::Nothing, A, ok}},
        {"+CBC", {&I::cbc, N::Nothing, A, "+CBC: (0-3),(0-100)"}},
        {"+CCLK", {&I::cclk, N::Nothing, R | S, ok}},
    };
    return table;
}

void CommandInterpreter::reset()
{
    m_settings = ModemSettings();
    m_settings.echo = m_echoAtReset;
    // The set at power-on: IRA where it is offered, as before; else the first one offered.
    const QList<QByteArray> sets = m_rooms.field.charsets.split(',');
    if (!sets.contains(m_settings.charset) && !sets.isEmpty())
        m_settings.charset = sets.first();
    // ATZ, a restart and power-up all take the profile stored with AT&W.
    m_settings.cmgf = m_rooms.field.storedTextMode ? 1 : 0;
    m_rooms.centre.storeReportsInSr(false);
    m_ussdMenu = false;
    ++m_ussdSession;
    m_rooms.out.clearBuffered();
}

CommandInterpreter::Outcome CommandInterpreter::run(const QList<AtCommand> &commands)
{
    Outcome outcome{Outcome::Ok};
    m_running = true;
    for (const AtCommand &command : commands) {
        m_info.clear();
        outcome = execute(command);
        m_rooms.out.info(std::exchange(m_info, {}));
        // V.250 5.7.1: the first failing command ends the line; a prompt waits for its data.
        if (outcome.kind != Outcome::Ok)
            break;
    }
    m_running = false;
    return outcome;
}

CommandInterpreter::Outcome CommandInterpreter::execute(const AtCommand &command)
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
    if (const auto busy = m_rooms.simBusy.answer(command, entry.needs))
        return *busy;
    if (m_rooms.sim.lock() != VirtualSim::Lock::Ready) {
        const bool puk = m_rooms.sim.lock() == VirtualSim::Lock::Puk;
        if (entry.needs == SimNeed::SimForCme)
            return Outcome{Outcome::Cme, puk ? 12 : 11};
        if (entry.needs == SimNeed::SimForCms)
            return Outcome{Outcome::Cms, puk ? 316 : 311};
    }
    const quint8 form = command.form == AtCommand::Form::Action ? ActionForm
        : command.form == AtCommand::Form::Read                 ? ReadForm
                                                                : SetForm;
    if (!(entry.forms & form))
        return Outcome{Outcome::Error};
    return (this->*(entry.handler))(command);
}

void CommandInterpreter::awaitPdu(int length)
{
    m_prompt = Prompt{};
    m_prompt.length = length;
}

void CommandInterpreter::abandon()
{
    m_prompt = Prompt{};
    m_info.clear();
}

bool CommandInterpreter::reachable() const
{
    return m_rooms.registration.reachable();
}

std::optional<QString> CommandInterpreter::fromCharset(const QByteArray &bytes) const
{
    return CharsetCodec(m_settings.charset).decode(bytes);
}

QByteArray CommandInterpreter::toCharset(const QString &text) const
{
    return CharsetCodec(m_settings.charset).encode(text);
}

CommandInterpreter::Outcome CommandInterpreter::numericSetting(const AtCommand &c, const QByteArray &prefix, int high, int &value,
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

} // namespace pellix::sim
