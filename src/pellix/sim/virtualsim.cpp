// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualsim.h"

#include "pdu/smspdu.h"
#include "seededrandom.h"

namespace pellix::sim {

int tpduLengthOf(const QByteArray &hexPdu)
{
    if (hexPdu.size() < 2 || hexPdu.size() % 2 != 0)
        return -1;
    bool ok = false;
    const int smscLength = hexPdu.left(2).toInt(&ok, 16);
    const int octets = int(hexPdu.size() / 2);
    if (!ok || octets < 1 + smscLength)
        return -1;
    return octets - 1 - smscLength;
}

MessageStore::MessageStore(QByteArray name, int capacity)
    : m_name(std::move(name))
    , m_capacity(capacity)
{
}

int MessageStore::add(StoredMessage message)
{
    // The first gap in the ordered places, in one pass.
    int index = 1;
    for (auto it = m_items.begin(); it != m_items.end() && it->first == index; ++it)
        ++index;
    if (index > m_capacity)
        return -1;
    m_items.emplace(index, std::move(message));
    return index;
}

StoredMessage *MessageStore::find(int index)
{
    const auto it = m_items.find(index);
    return it == m_items.end() ? nullptr : &it->second;
}

bool MessageStore::remove(int index)
{
    return m_items.erase(index) > 0;
}

VirtualSim::VirtualSim(const QString &pin)
    : m_sm("SM", MessageCapacity)
    , m_me("ME", MessageCapacity)
    , m_sr("SR", ReportCapacity)
    , m_pin(pin)
    , m_lock(pin.isEmpty() ? Lock::Ready : Lock::Pin)
{
}

MessageStore *VirtualSim::store(const QByteArray &name)
{
    const QByteArray upper = name.toUpper();
    if (upper == "SM")
        return &m_sm;
    if (upper == "ME")
        return &m_me;
    if (upper == "SR")
        return &m_sr;
    return nullptr;
}

int VirtualSim::firstFreePhonebookIndex() const
{
    for (int index = 1; index <= PhonebookCapacity; ++index)
        if (m_phonebook.find(index) == m_phonebook.end())
            return index;
    return 0;
}

VirtualSim::PinResult VirtualSim::enterPin(const QString &pin)
{
    if (m_lock != Lock::Pin)
        return PinResult::NotExpected;
    if (pin == m_pin) {
        m_lock = Lock::Ready;
        m_attemptsLeft = PinAttempts;
        return PinResult::Accepted;
    }
    if (--m_attemptsLeft <= 0)
        m_lock = Lock::Puk;
    return PinResult::Wrong;
}

void VirtualSim::powerCycle()
{
    if (!m_pin.isEmpty() && m_lock == Lock::Ready)
        m_lock = Lock::Pin;
}

VirtualSim::PinResult VirtualSim::enterPuk(const QString &puk, const QString &newPin)
{
    if (m_lock == Lock::Ready)
        return PinResult::NotExpected;
    // 11.11 / 31.102: ten wrong PUKs block the SIM for good.
    if (m_pukAttemptsLeft <= 0)
        return PinResult::Wrong;
    if (puk != QLatin1String(Puk) || newPin.isEmpty()) {
        if (puk != QLatin1String(Puk))
            --m_pukAttemptsLeft;
        return PinResult::Wrong;
    }
    m_pin = newPin;
    m_lock = Lock::Ready;
    m_attemptsLeft = PinAttempts;
    m_pukAttemptsLeft = PukAttempts;
    return PinResult::Accepted;
}

void VirtualSim::setAttemptsLeft(int attempts)
{
    m_attemptsLeft = std::clamp(attempts, 0, int(PinAttempts));
    if (!m_pin.isEmpty() && m_attemptsLeft == 0)
        m_lock = Lock::Puk;
}

namespace {

pdu::Address international(const QString &number)
{
    return pdu::Address{number, 0x91};
}

StoredMessage stored(MessageStat stat, const QByteArray &hex)
{
    return StoredMessage{stat, hex, tpduLengthOf(hex)};
}

pdu::DeliverPdu deliver(const QString &serviceCentre, const pdu::Address &from, const QDateTime &when, int alphabet,
                        const QString &text, const QByteArray &udh = QByteArray())
{
    pdu::DeliverPdu d;
    d.smsc = international(serviceCentre);
    d.originator = from;
    d.dcs.alphabet = alphabet;
    d.dcs.raw = alphabet == pdu::Ucs2 ? 0x08 : alphabet == pdu::Bit8 ? 0x04 : 0x00;
    d.timestamp = when;
    d.udh = udh;
    d.text = text;
    return d;
}

} // namespace

void VirtualSim::loadStartingContents(quint64 seed, const QDateTime &now, const QString &serviceCentre,
                                      const QString &ownNumber)
{
    SeededRandom random(seed ^ 0x5EEDC0DEull);
    auto earlier = [&](int minHours, int maxHours) {
        return now.addSecs(-qint64(random.between(minHours * 60, maxHours * 60)) * 60 - random.between(0, 59));
    };

    const QString anna = QStringLiteral("+393471234567");
    const QString juergen = QStringLiteral("+4915112345678");
    const QDateTime t1 = earlier(72, 96);
    const QDateTime t2 = earlier(30, 48);
    const QDateTime t3 = earlier(20, 28);
    const QDateTime t4 = earlier(10, 18);
    const QDateTime t5 = earlier(3, 8);
    const QDateTime t6 = earlier(1, 2);

    m_sm.add(stored(MessageStat::RecRead,
                    pdu::encodeDeliver(deliver(serviceCentre, international(anna), t1, pdu::Gsm7,
                                               QStringLiteral("Welcome to the virtual network! Your number is %1. "
                                                              "Send a message to it and it comes back.")
                                                   .arg(ownNumber)))));
    m_sm.add(stored(MessageStat::RecUnread,
                    pdu::encodeDeliver(deliver(serviceCentre, international(juergen), t2, pdu::Gsm7,
                                               QStringLiteral("Grüße aus München! Das Ticket kostet 25€ "
                                                              "{Bahn} [ICE 597] ~ 12:30 | Gleis 4")))));
    m_sm.add(stored(MessageStat::RecUnread,
                    pdu::encodeDeliver(deliver(serviceCentre, international(QStringLiteral("+74951234567")), t3,
                                               pdu::Ucs2, QStringLiteral("Привет из Москвы! 你好 ☺")))));
    // A business card as phones send it: 8-bit data to the vCard port 9204 (16-bit port addressing).
    m_sm.add(stored(MessageStat::RecRead,
                    pdu::encodeDeliver(deliver(serviceCentre, international(QStringLiteral("+3902123456")), t4,
                                               pdu::Bit8,
                                               QStringLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Rossi;Anna\r\n"
                                                              "TEL;CELL:%1\r\nEND:VCARD\r\n").arg(anna),
                                               QByteArray::fromHex("06050423F40000")))));

    // One long text in parts from an alphanumeric sender (TS 23.040 9.1.2.5).
    const QString tips = QStringLiteral(
        "Tips for trying the console: messages to %1 come back to you a second later. "
        "Ask for a delivery report and it arrives two seconds after sending. Numbers ending "
        "in 666 fail for good, 999 are busy first and delivered later, 888 never answer. A message "
        "beginning with RING or CALL ME makes the network call you from the number you wrote to.")
                             .arg(ownNumber);
    const quint8 reference = quint8(random.between(1, 255));
    const pdu::Address info{QStringLiteral("PellixInfo"), 0xD0};
    const QByteArray concat = QByteArray::fromHex("050003") + char(reference);
    // The text holds no extension-table characters, so 153 characters fill a part exactly.
    const int parts = int((tips.size() + 152) / 153);
    for (int part = 0; part < parts; ++part)
        m_sm.add(stored(MessageStat::RecUnread,
                        pdu::encodeDeliver(deliver(serviceCentre, info, t5, pdu::Gsm7, tips.mid(part * 153, 153),
                                                   concat + char(parts) + char(part + 1)))));

    pdu::StatusReportPdu report;
    report.smsc = international(serviceCentre);
    report.messageReference = quint8(random.between(1, 200));
    report.recipient = international(anna);
    report.timestamp = t6;
    report.dischargeTime = t6.addSecs(random.between(2, 40));
    report.status = 0x00;
    report.statusText = pdu::statusText(0x00);
    m_sm.add(stored(MessageStat::RecUnread, pdu::encodeStatusReport(report)));

    m_me.add(stored(MessageStat::RecRead,
                    pdu::encodeDeliver(deliver(serviceCentre, international(ownNumber), earlier(100, 120), pdu::Gsm7,
                                               QStringLiteral("This message lives in the phone memory (ME), "
                                                              "not on the SIM.")))));

    m_phonebook[1] = PhonebookRecord{anna, 145, QStringLiteral("Anna Rossi")};
    m_phonebook[2] = PhonebookRecord{juergen, 145, QStringLiteral("Jürgen Müller")};
    m_phonebook[3] = PhonebookRecord{QStringLiteral("4242"), 129, QStringLiteral("Voicemail")};
    m_phonebook[5] = PhonebookRecord{QStringLiteral("+393470000666"), 145, QStringLiteral("Always fails (666)")};
    m_phonebook[6] = PhonebookRecord{QStringLiteral("+393470000999"), 145, QStringLiteral("Busy first (999)")};
}

void VirtualSim::fillMessageStorage(const QDateTime &now, const QString &serviceCentre)
{
    for (int n = 1; !m_sm.isFull(); ++n) {
        pdu::DeliverPdu deliver;
        deliver.smsc = pdu::Address{serviceCentre, 0x91};
        deliver.originator = pdu::Address{QStringLiteral("+393470000000"), 0x91};
        deliver.timestamp = now.addSecs(-3600 - n * 60);
        deliver.text = QStringLiteral("Old message %1 that fills the SIM").arg(n);
        const QByteArray hex = pdu::encodeDeliver(deliver);
        m_sm.add(StoredMessage{MessageStat::RecRead, hex, tpduLengthOf(hex)});
    }
}

} // namespace pellix::sim
