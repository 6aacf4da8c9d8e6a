// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::digitCount;
using detail::isDialString;
using detail::isHex;
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

} // namespace

MessageStore &VirtualModem::readStore()
{
    return *m_sim.store(m_settings.mem1);
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
        m_centre.storeReportsInSr(true);
    m_info << "+CPMS: " + use(mem[0]) + ',' + use(mem[1]) + ',' + use(mem[2]);
    m_centre.deliverWaiting();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cnmi(const AtCommand &c)
{
    Settings &s = m_settings;
    const bool strict = m_options.field.strictCnmi;
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
        m_out.leaveBuffering(*bfr == 0);
    }
    if (m_options.field.floodMessages > 0 && !m_flooded && *mode != 0 && *mt != 0) {
        // After this command's OK, as a network that has been waiting for the modem.
        m_flooded = true;
        schedule(0, [this] { flood(); });
    }
    m_centre.deliverWaiting();
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
    if (const int refused = m_centre.acknowledge(*n))
        return Outcome{Outcome::Cms, refused};
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cmgs(const AtCommand &c)
{
    if (m_settings.cmgf == 1)
        return textCmgs(c);
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
    if (prompt.text) {
        sendText(prompt, outcome);
    } else if (prompt.tooLong) {
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
    m_out.info(std::exchange(m_info, {}));
    m_executing = false;
    m_out.final(outcome);
    m_out.flushHeld();
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
    if (m_info.isEmpty() && m_options.field.emptyListError)
        return Outcome{Outcome::Cms, 321};
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
    if (!message && index && store.validIndex(*index) && m_options.field.emptyRead != FieldBehaviour::EmptyRead::Error) {
        if (m_options.field.emptyRead == FieldBehaviour::EmptyRead::Header)
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
    m_centre.deliverWaiting();
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

} // namespace pellix::sim
