// SPDX-License-Identifier: GPL-3.0-or-later
// USSD (27.007 7.15, 22.090): a request goes to the network and its answer comes later as the
// unsolicited +CUSD. The network here knows a balance, the own number and one menu that takes a
// reply; FieldBehaviour::ussd gives the codings and silences of real modems.
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "fieldbehaviour.h"
#include "modemoutput.h"
#include "networkregistration.h"
#include "pdu/gsmalphabet.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::num;
using detail::quote;

namespace {

constexpr char Balance[] = "*100#";
constexpr char OwnNumberCode[] = "*101#";
constexpr char OwnNumberCodeAlt[] = "*#100#";
constexpr char MenuCode[] = "*111#";

// 23.038 5: the language-unspecified GSM 7-bit coding and UCS2.
constexpr int DcsGsm7 = 15;
constexpr int DcsUcs2 = 72;

// 27.007 7.15 <m>.
constexpr int Done = 0;
constexpr int MoreExpected = 1;
constexpr int NotSupported = 4;

QString menuText()
{
    return QStringLiteral("Pellix menu: 1 Balance, 2 My number, reply with a number");
}

} // namespace

CommandInterpreter::Outcome CommandInterpreter::cusd(const AtCommand &c)
{
    // A modem whose firmware has no USSD at all (some data-only sticks).
    if (m_rooms.field.ussd == FieldBehaviour::Ussd::NotSupported)
        return Outcome{Outcome::Cme, 4};
    if (c.form != AtCommand::Form::Set)
        return numericSetting(c, "+CUSD", 2, m_settings.cusd);
    const auto args = AtArguments::parse(c.argument);
    const auto n = args ? args->integerOr(0, 0, 2, 0) : std::nullopt;
    const auto dcs = args ? args->integerOr(2, 0, 255, DcsGsm7) : std::nullopt;
    if (!n || !dcs || args->count() > 3)
        return Outcome{Outcome::Error};
    if (*n == 2) {
        // Ends the session and drops an answer still on its way.
        if (m_ussdMenu)
            note(QStringLiteral("USSD session cancelled"));
        m_ussdMenu = false;
        ++m_ussdSession;
        return Outcome{};
    }
    m_settings.cusd = *n;
    if (!args->present(1))
        return Outcome{};
    const auto request = fromCharset(args->text(1));
    if (!request)
        return Outcome{Outcome::Cme, 25};
    if (!reachable())
        return Outcome{Outcome::Cme, 30};
    const QString text = *request;
    note(QStringLiteral("USSD %1 %2").arg(m_ussdMenu ? QStringLiteral("reply") : QStringLiteral("request"), text));
    const int session = ++m_ussdSession;
    schedule(VirtualNetwork::UssdDelayMs, [this, text, session] { answerUssd(text, session); });
    return Outcome{};
}

void CommandInterpreter::answerUssd(const QString &request, int session)
{
    if (session != m_ussdSession || m_settings.cusd != 1)
        return;
    if (m_rooms.field.ussd == FieldBehaviour::Ussd::Silent) {
        note(QStringLiteral("USSD: the network does not answer"));
        m_ussdMenu = false;
        return;
    }
    const QString balance = QStringLiteral("Credit: 12.34 EUR, valid until 31/12");
    const QString own = QStringLiteral("Your number is %1").arg(m_rooms.network.ownNumber());
    if (std::exchange(m_ussdMenu, false)) {
        const QString choice = request.trimmed();
        if (choice == QLatin1String("1"))
            sayUssd(Done, balance);
        else if (choice == QLatin1String("2"))
            sayUssd(Done, own);
        else {
            m_ussdMenu = true;
            sayUssd(MoreExpected, QStringLiteral("Unknown choice. ") + menuText());
        }
        return;
    }
    if (request == QLatin1String(Balance)) {
        sayUssd(Done, balance);
    } else if (request == QLatin1String(OwnNumberCode) || request == QLatin1String(OwnNumberCodeAlt)) {
        sayUssd(Done, own);
    } else if (request == QLatin1String(MenuCode)) {
        m_ussdMenu = true;
        sayUssd(MoreExpected, menuText());
    } else {
        m_rooms.out.unsolicited("+CUSD: " + num(NotSupported));
    }
}

void CommandInterpreter::sayUssd(int status, const QString &text)
{
    QByteArray body;
    int dcs = DcsGsm7;
    switch (m_rooms.field.ussd) {
    case FieldBehaviour::Ussd::Ucs2:
        // Whatever +CSCS says: the network's UCS2 as hex (Qualcomm-based modules).
        for (const QChar ch : text)
            body += QByteArray::number(ch.unicode() | 0x10000, 16).mid(1).toUpper();
        dcs = DcsUcs2;
        break;
    case FieldBehaviour::Ussd::Packed: {
        // The septets packed as on the air (Huawei). 23.038 6.1.2.3.1: seven spare bits at the
        // end would read as '@', so a carriage return fills them.
        QByteArray septets;
        try {
            septets = pdu::encodeGsm7(text);
        } catch (const RaisedError &) {
            septets = pdu::encodeGsm7(QStringLiteral("?"));
        }
        if (septets.size() % 8 == 7)
            septets += '\r';
        body = pdu::packSeptets(septets).toHex().toUpper();
        break;
    }
    case FieldBehaviour::Ussd::Text:
        // Plain text whatever +CSCS says.
        body = text.toLatin1();
        break;
    default:
        body = toCharset(text);
        break;
    }
    m_rooms.out.unsolicited("+CUSD: " + num(status) + ',' + quote(body) + ',' + num(dcs));
}

} // namespace pellix::sim
