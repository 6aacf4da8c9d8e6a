// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "callforwarding.h"
#include "virtualnetwork.h"

namespace pellix::sim {

using detail::addressType;
using detail::digitCount;
using detail::isDialString;
using detail::num;
using detail::quote;

CommandInterpreter::Outcome CommandInterpreter::cpbs(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CPBS: \"SM\"," + num(qint64(m_rooms.sim.phonebook().size())) + ',' + num(VirtualSim::PhonebookCapacity);
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

CommandInterpreter::Outcome CommandInterpreter::cpbr(const AtCommand &c)
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
    const auto &book = m_rooms.sim.phonebook();
    for (auto it = book.lower_bound(*first); it != book.end() && it->first <= *last; ++it) {
        const PhonebookRecord &entry = it->second;
        m_info << "+CPBR: " + num(it->first) + ',' + quote(entry.number.toLatin1()) + ',' + num(entry.type) + ','
                + quote(toCharset(entry.name));
    }
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cpbw(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() > 4 || (!args->present(0) && !args->present(1)))
        return Outcome{Outcome::Error};
    auto &book = m_rooms.sim.phonebook();
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
        const int free = m_rooms.sim.firstFreePhonebookIndex();
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

CommandInterpreter::Outcome CommandInterpreter::ccfc(const AtCommand &c)
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
        m_info << m_rooms.network.forwarding().query(*reason, *classes);
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
    const int refused = m_rooms.network.forwarding().change(*reason, *mode, number, number.startsWith(QLatin1Char('+')) ? 145 : *type,
                                                      *classes, *time);
    if (refused)
        return Outcome{Outcome::Cme, refused};
    note(QStringLiteral("forwarding reason %1 mode %2 class %3%4").arg(*reason).arg(*mode).arg(*classes)
             .arg(number.isEmpty() ? QString() : QStringLiteral(" to ") + number));
    return Outcome{};
}

} // namespace pellix::sim
