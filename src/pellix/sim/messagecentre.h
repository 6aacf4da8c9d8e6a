// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace pellix::pdu {
struct SubmitPdu;
}

namespace pellix::sim {

class VirtualClock;
class VirtualSim;
struct FieldBehaviour;

// The service centre as this modem meets it: what it hands over (messages and status reports),
// what it keeps while the modem cannot take them, the routed item that waits for +CNMA, and what
// it took from the client. Nothing handed over is lost unless a field behaviour says so.
class MessageCentre
{
public:
    // What the client chose with +CNMI, +CSMS and +CPMS for new items (27.005 3.4.1, 3.2.1).
    struct Routing
    {
        int mode = 0;
        int mt = 0;
        int ds = 0;
        int service = 0;
        QByteArray storage = "SM";
    };
    struct Links
    {
        std::function<bool()> reachable;
        std::function<bool()> lineOpen;
        std::function<Routing()> routing;
        // 27.005 3.4.4: no acknowledgement in time turns direct routing off.
        std::function<void()> routingOff;
        std::function<void(const QByteArray &line, const QByteArray &pduLine)> unsolicited;
        std::function<void(const QByteArray &line)> indication;
        std::function<void(const QString &)> note;
        std::function<qint64()> nowMs;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
        // A message that asks for a call back.
        std::function<void(const QString &number)> callFrom;
    };
    struct Submission
    {
        QString destination;
        QString text;
        bool textMode = false;
    };

    MessageCentre(VirtualSim &sim, const VirtualClock &clock, const FieldBehaviour &field, Links links);

    const QString &address() const { return m_address; }
    void setAddress(const QString &number) { m_address = number; }
    // A client chose "SR" for reading: status reports are stored there from now on, until reset.
    void storeReportsInSr(bool yes) { m_reportsInSr = yes; }

    // An SMS-DELIVER (hex PDU with SMSC field) arrives now; false when it does not decode as one.
    bool deliverMessage(const QByteArray &hexPdu);
    // count messages at once, routed without waiting for acknowledgements, into a storage grown
    // to hold them.
    void flood(int count);
    // FieldBehaviour::floodMessages: the first time the client asks for routed messages (+CNMI
    // <mode> and <mt> not 0), the network pushes what it held back, once per power-up.
    void routingChosen(int mode, int mt);
    // Tries again what the centre keeps: the modem may take it now.
    void deliverWaiting();
    // +CNMA: 0 when taken, else the +CMS ERROR code. n = 2 is RP-ERROR: the centre retries.
    int acknowledge(int n);
    // A restart: the routed item that was never acknowledged is delivered again later.
    void forgetAcknowledgement();

    // The PDU the centre hands back when the client writes to its own number.
    QByteArray loopBack(const pdu::SubmitPdu &submit, const QString &ownNumber) const;
    // The centre took submit under reference: loop it back, report on it, call back as asked.
    void accept(const pdu::SubmitPdu &submit, const QByteArray &loopBackPdu, quint8 reference);
    void record(const QString &destination, const QString &text, bool textMode);
    const QList<Submission> &submissions() const { return m_submissions; }

private:
    struct Incoming
    {
        bool report = false;
        QByteArray pdu;
        int messageClass = -1;
        std::function<void()> onDelivered;  // runs once, when it reached the modem
    };

    void offer(Incoming item);
    bool tryDeliver(Incoming &item);
    bool tryDeliverMessage(const Incoming &item, int length, const Routing &routing);
    bool tryDeliverReport(const Incoming &item, int length, const Routing &routing);
    bool routesIntoTheVoid() const;
    void expectAck(const Incoming &item);
    void ackTimedOut(quint64 token);
    void reportDelivery(quint8 reference, const QString &recipient, qint64 submittedAt, quint8 status);

    VirtualSim &m_sim;
    const VirtualClock &m_clock;
    const FieldBehaviour &m_field;
    Links m_links;
    QString m_address;
    bool m_reportsInSr = false;
    QList<Incoming> m_waiting;         // held: storage full, radio off, no ack yet
    bool m_delivering = false;
    bool m_ackPending = false;
    std::optional<Incoming> m_unacked;
    quint64 m_ackToken = 0;
    bool m_flooding = false;           // a flood is being delivered: routed without waiting
    int m_floodAcks = 0;               // +CNMA the flood's routed messages may still get
    bool m_flooded = false;            // the flood has come
    QList<Submission> m_submissions;
};

} // namespace pellix::sim
