// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <algorithm>
#include <map>

namespace pellix::sim {

// 27.005 3.1 <stat>.
enum class MessageStat { RecUnread = 0, RecRead = 1, StoUnsent = 2, StoSent = 3 };

struct StoredMessage
{
    MessageStat stat = MessageStat::RecUnread;
    QByteArray pdu;          // SMSC field + TPDU, upper-case hex, as +CMGR shows it
    int tpduLength = 0;      // the <length> of +CMGR/+CMGL
};

// One message storage of 27.005 (+CPMS <mem>): numbered places 1..capacity.
class MessageStore
{
public:
    MessageStore(QByteArray name, int capacity);

    const QByteArray &name() const { return m_name; }
    int capacity() const { return m_capacity; }
    // A SIM or phone of another size; items beyond the new capacity stay until deleted.
    void setCapacity(int capacity) { m_capacity = capacity; }
    int used() const { return int(m_items.size()); }
    bool isFull() const { return used() >= m_capacity; }
    bool validIndex(int index) const { return index >= 1 && index <= m_capacity; }

    // Stores at the lowest free place; -1 when the storage is full.
    int add(StoredMessage message);
    // Room for at least this many (a phone memory far larger than a SIM's).
    void grow(int capacity) { m_capacity = std::max(m_capacity, capacity); }
    StoredMessage *find(int index);
    bool remove(int index);
    const std::map<int, StoredMessage> &items() const { return m_items; }
    std::map<int, StoredMessage> &items() { return m_items; }

private:
    QByteArray m_name;
    int m_capacity;
    std::map<int, StoredMessage> m_items;
};

struct PhonebookRecord
{
    QString number;          // with "+" when international (type 145)
    int type = 129;
    QString name;
};

// The SIM card with the phone memory beside it: message storages SM, ME and SR, the SM phonebook
// and the PIN.
class VirtualSim
{
public:
    static constexpr int MessageCapacity = 50;     // SM and ME each
    static constexpr int ReportCapacity = 20;      // SR
    static constexpr int PhonebookCapacity = 100;
    static constexpr int NameLength = 20;
    static constexpr int NumberLength = 20;        // digits, "+" not counted
    static constexpr int PinAttempts = 3;
    static constexpr int PukAttempts = 10;
    static constexpr char Puk[] = "12345678";

    enum class Lock { Ready, Pin, Puk };
    enum class PinResult { Accepted, Wrong, NotExpected };

    // An empty PIN leaves the SIM unlocked.
    explicit VirtualSim(const QString &pin = QString());

    // "SM", "ME" or "SR" (any case); nullptr for any other name.
    MessageStore *store(const QByteArray &name);
    MessageStore &sm() { return m_sm; }
    MessageStore &me() { return m_me; }
    MessageStore &sr() { return m_sr; }

    std::map<int, PhonebookRecord> &phonebook() { return m_phonebook; }
    const std::map<int, PhonebookRecord> &phonebook() const { return m_phonebook; }
    // 0 when every place is taken.
    int firstFreePhonebookIndex() const;

    Lock lock() const { return m_lock; }
    int attemptsLeft() const { return m_attemptsLeft; }
    int pukAttemptsLeft() const { return m_pukAttemptsLeft; }
    // A SIM that was handed over with wrong PINs already tried: 0 leaves it asking for the PUK.
    // Without a PIN the count is kept for +CPINR and nothing is locked.
    void setAttemptsLeft(int attempts);
    // 27.007 8.3: a wrong PIN counts down; the last wrong one asks for the PUK.
    PinResult enterPin(const QString &pin);
    // The PUK unblocks the SIM and sets a new PIN.
    PinResult enterPuk(const QString &puk, const QString &newPin);
    // The modem lost its power: a SIM with a PIN asks for it again.
    void powerCycle();

    // The SIM a fresh virtual modem holds: a read and an unread 7-bit message (the latter with
    // German and extension-table characters), a UCS-2 one, an 8-bit one, a two-part concatenated
    // one, a delivery report; one message in the phone memory; five phonebook entries. The seed
    // picks the time stamps (hours to days before now) and the reference of the reported message.
    void loadStartingContents(quint64 seed, const QDateTime &now, const QString &serviceCentre,
                              const QString &ownNumber);
    // FieldBehaviour::simFull: read messages from one sender, an hour and more before now, fill
    // every free place of the message storage.
    void fillMessageStorage(const QDateTime &now, const QString &serviceCentre);

private:
    MessageStore m_sm;
    MessageStore m_me;
    MessageStore m_sr;
    std::map<int, PhonebookRecord> m_phonebook;
    QString m_pin;
    Lock m_lock = Lock::Ready;
    int m_attemptsLeft = PinAttempts;
    int m_pukAttemptsLeft = PukAttempts;
};

} // namespace pellix::sim

namespace pellix::sim {

// Octets after the SMSC field of a hex PDU: the <length> that 27.005 commands name; -1 when the
// hex is not whole octets or shorter than its SMSC field says.
int tpduLengthOf(const QByteArray &hexPdu);

} // namespace pellix::sim
