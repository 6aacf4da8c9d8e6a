// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "fieldbehaviour.h"
#include "messagecentre.h"
#include "modemoutput.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::digitCount;
using detail::isDialString;
using detail::num;
using detail::quote;

namespace {

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


// 27.005 3.1 <stat> in text mode.
const char *const StatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};

} // namespace

CommandInterpreter::Outcome CommandInterpreter::cmgf(const AtCommand &c)
{
    const bool textOffered = m_rooms.field.storedTextMode;
    if (c.form == AtCommand::Form::Test) {
        m_info << (textOffered ? QByteArray("+CMGF: (0,1)") : QByteArray("+CMGF: (0)"));
        return Outcome{};
    }
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CMGF: " + num(m_settings.cmgf);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto mode = args ? args->integerOr(0, 0, 1, 0) : std::nullopt;
    if (!mode || args->count() > 1)
        return Outcome{Outcome::Error};
    // A modem without text mode answers 303 "operation not supported".
    if (*mode == 1 && !textOffered)
        return Outcome{Outcome::Cms, 303};
    m_settings.cmgf = *mode;
    return Outcome{};
}

MessageStore &CommandInterpreter::readStore()
{
    return *m_rooms.sim.store(m_settings.mem1);
}

CommandInterpreter::Outcome CommandInterpreter::csms(const AtCommand &c)
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

CommandInterpreter::Outcome CommandInterpreter::cpms(const AtCommand &c)
{
    const auto use = [this](const QByteArray &name) {
        const MessageStore &store = *m_rooms.sim.store(name);
        return num(store.used()) + ',' + num(store.capacity());
    };
    if (c.form == AtCommand::Form::Read) {
        const ModemSettings &s = m_settings;
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
        if (!m_rooms.sim.store(name) || (i > 0 && name == "SR"))
            return Outcome{Outcome::Cms, 302};
        mem[i] = name;
    }
    m_settings.mem1 = mem[0];
    m_settings.mem2 = mem[1];
    m_settings.mem3 = mem[2];
    if (mem[0] == "SR")
        m_rooms.centre.storeReportsInSr(true);
    m_info << "+CPMS: " + use(mem[0]) + ',' + use(mem[1]) + ',' + use(mem[2]);
    m_rooms.centre.deliverWaiting();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cnmi(const AtCommand &c)
{
    ModemSettings &s = m_settings;
    const bool strict = m_rooms.field.strictCnmi;
    if (c.form == AtCommand::Form::Test) {
        // A modem that only stores and indicates says so here (protocol notes 7: drivers pick
        // their values from this answer).
        m_info << (strict ? QByteArray("+CNMI: (0-3),(0,1),(0,2),(0,2),(0,1)")
                          : QByteArray("+CNMI: (0-3),(0-3),(0,2),(0-2),(0,1)"));
        return Outcome{};
    }
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
    // 303 "operation not supported", as such modems answer direct routing.
    if (strict && (*mt > 1 || *ds == 1))
        return Outcome{Outcome::Cms, 303};
    s.cnmiMode = *mode;
    s.cnmiMt = *mt;
    s.cnmiBm = *bm;
    s.cnmiDs = *ds;
    s.cnmiBfr = *bfr;
    // 27.005 3.4.1 <bfr>: entering mode 1..3 flushes the buffered codes (after the OK) or clears them.
    if (*mode != 0) {
        m_rooms.out.leaveBuffering(*bfr == 0);
    }
    m_rooms.centre.routingChosen(*mode, *mt);
    m_rooms.centre.deliverWaiting();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cnma(const AtCommand &c)
{
    std::optional<int> n = 0;
    if (c.form == AtCommand::Form::Set) {
        const auto args = AtArguments::parse(c.argument);
        n = args ? args->integerOr(0, 0, 2, 0) : std::nullopt;
        // The acknowledgement PDU form (<length> and a prompt) is not offered.
        if (!n || args->count() > 1)
            return Outcome{Outcome::Cms, 303};
    }
    if (const int refused = m_rooms.centre.acknowledge(*n))
        return Outcome{Outcome::Cms, refused};
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cmgl(const AtCommand &c)
{
    int stat = 0;  // 27.005 3.4.2: REC UNREAD when omitted
    if (c.form == AtCommand::Form::Set) {
        const auto args = AtArguments::parse(c.argument);
        // In text mode <stat> is a string ("ALL"); a number is no parameter there.
        if (m_settings.cmgf == 1)
            return Outcome{Outcome::Cms, 304};
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
    // --empty-list-error: nothing to list is "invalid memory index", as on some Siemens and
    // Huawei firmware.
    if (m_info.isEmpty() && m_rooms.field.emptyListError)
        return Outcome{Outcome::Cms, 321};
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cmgr(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() != 1 || !args->present(0))
        return Outcome{Outcome::Error};
    MessageStore &store = readStore();
    const auto index = args->integer(0, 0, 99999);
    StoredMessage *message = index && store.validIndex(*index) ? store.find(*index) : nullptr;
    if (!message && index && store.validIndex(*index) && m_rooms.field.emptyRead != FieldBehaviour::EmptyRead::Error) {
        if (m_rooms.field.emptyRead == FieldBehaviour::EmptyRead::Header)
            m_info << "+CMGR: 0,,0";
        return Outcome{};
    }
    if (!message)
        return Outcome{Outcome::Cms, 321};
    if (m_settings.cmgf == 1)
        textCmgr(*message);
    else
        m_info << "+CMGR: " + num(int(message->stat)) + ",," + num(message->tpduLength) << message->pdu;
    if (message->stat == MessageStat::RecUnread)
        message->stat = MessageStat::RecRead;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::textCmgr(const StoredMessage &message)
{
    // 27.005 3.4.3 text mode: +CMGR: <stat>,<oa>,[<alpha>],<scts> and the text on the next line.
    QByteArray header = "+CMGR: " + quote(StatNames[int(message.stat)]);
    QByteArray text;
    try {
        if (pdu::pduType(message.pdu) == pdu::PduType::Deliver) {
            const pdu::DeliverPdu deliver = pdu::decodeDeliver(message.pdu);
            header += ',' + quote(deliver.originator.number.toLatin1()) + ",,"
                + quote(deliver.timestamp.toString(QStringLiteral("yy/MM/dd,hh:mm:ss")).toLatin1());
            text = toCharset(deliver.text);
        }
    } catch (const RaisedError &) {
        // shown without its fields, as modems show what they cannot render
    }
    m_info << header << text;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cmgd(const AtCommand &c)
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
    m_rooms.centre.deliverWaiting();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::csmp(const AtCommand &c)
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

} // namespace pellix::sim
