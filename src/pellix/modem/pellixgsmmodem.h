// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gsmmodem.h"
#include "modem/cnmichoice.h"
#include "modem/inboundevents.h"
#include "modem/messagestorages.h"
#include "modem/modemfacts.h"
#include "modem/phonebooktext.h"
#include "raisederror.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace pellix {

class AtChannel;
class ByteTransport;
class TraceLog;
struct AtCommand;
struct AtResponse;
struct Unsolicited;
struct ModemProfile;
struct RawAtAnswer;
namespace replies { struct PhonebookRow; }

// The library's modem: the contract of gsmmodem.h over 27.005/27.007 AT commands in PDU mode, on a
// byte transport its factory opens (a serial port, the in-process virtual modem of type -1).
//
// SIM locations: messages carry their index in the profile's message storage (the SIM, as the
// console has always shown them). An item kept in another storage carries the index in a range
// of its own, so that DeleteMessage(item.SimLocation) deletes that item and not the message with
// the same index on the SIM: status reports "SR" ReportLocationBase + index, the phone memory
// "ME" 20000 + index, "MT" (SIM and phone together) 25000 + index, broadcasts "BM" 30000 +
// index. A profile whose message storage is another one gives its range to "SM". An index beyond
// its range has no location (-1). DeleteAllMessages empties the message and report storages.
//
// Restarts: once connected, the AT channel watches for the modem's boot lines and for an echo
// after ATE0. A command the restart interrupts fails at once (ModemRestarted); then, before the
// next command and from the event loop when idle, the modem is set up again as Connect did
// (pellixgsmmodemrestart.cpp), with Status 1 while it lasts, and what it stored meanwhile is
// handed over. A PDU is only ever written after the modem has confirmed PDU mode.
class PellixGsmModem : public GsmModem
{
    Q_OBJECT

public:
    static constexpr qint16 ReportLocationBase = 10000;
    // The ranges of the other storages, and how many indexes each holds.
    struct LocationRange
    {
        const char *storage;
        qint16 base;
        qint16 size;
    };
    static constexpr LocationRange OtherStorages[] = {
        {"SR", ReportLocationBase, 10000}, {"ME", 20000, 5000}, {"MT", 25000, 5000}, {"BM", 30000, 2768}};

    // Makes the byte transport for a connection; the default opens the serial port of the COM
    // number and has none for type -1 (modemTransports in connection/ adds the virtual modem).
    // Tests put a scripted one in its place.
    using TransportFactory = std::function<std::unique_ptr<ByteTransport>(
        qint32 modemType, const ModemProfile &profile, qint16 port, qint32 baudRate)>;

    explicit PellixGsmModem(QObject *parent = nullptr);
    explicit PellixGsmModem(TransportFactory factory, QObject *parent = nullptr);
    ~PellixGsmModem() override;

    qint32 Status() const override { return m_status; }
    QString StatusText() const override { return m_statusText; }
    QString Manufacturer() const override { return m_manufacturer; }
    QString Model() const override { return m_model; }
    QString Revision() const override { return m_revision; }
    QString IMEI() const override { return m_imei; }
    qint16 PhonebookCount() override;
    bool AutoDelete() const override { return m_autoDelete; }
    void setAutoDelete(bool on) override { m_autoDelete = on; }
    void setConnectOptionA(bool on) override { m_checkSim = on; }
    void setConnectOptionB(bool on) override { m_callerId = on; }

    void Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode, qint32 timeout,
                 qint32 baudRate) override;
    void Disconnect() override;
    std::optional<RaisedError> ConnectionEndReason() const override { return m_endReason; }
    bool GetSignalQuality(qint16 &rssi, qint16 &ber) override;
    qint32 SendMessage(SmsMessage &message) override;
    qint32 SendLongMessage(const QString &number, const QString &text, bool statusReport) override;
    QList<ReceivedMessage> ReadMessages(qint32 filter, bool deleteAfterReading) override;
    QList<SmsStatusReport> ReadStatusReports(qint32 filter, bool deleteAfterReading) override;
    // The same, with the items handed to a reader before anything is deleted: deleteAfterReading
    // deletes them only when handOver returns true, so that what could not be passed on (a
    // command line's output that could not be written) stays on the SIM.
    template <typename Item>
    using HandOver = std::function<bool(const QList<Item> &items)>;
    // What the deleting after a hand-over did: the SIM locations deleted, those handed over but
    // still stored, those whose delete went out and got no answer (the modem may have carried it
    // out), and why (the lost connection that ended the deleting, else the first refusal).
    // Deleting goes on past a refusal and stops when the connection ends.
    struct Deletion
    {
        QList<qint16> deleted;
        QList<qint16> remaining;
        QList<qint16> unconfirmed;
        std::optional<RaisedError> failure;
        bool complete() const { return remaining.isEmpty() && unconfirmed.isEmpty(); }
    };
    QList<ReceivedMessage> ReadMessages(qint32 filter, bool deleteAfterReading, const HandOver<ReceivedMessage> &handOver,
                                        Deletion *deletion = nullptr);
    QList<SmsStatusReport> ReadStatusReports(qint32 filter, bool deleteAfterReading,
                                             const HandOver<SmsStatusReport> &handOver, Deletion *deletion = nullptr);
    void DeleteMessage(qint16 simLocation) override;
    void DeleteAllMessages() override;
    QList<PhonebookEntry> ReadPhonebook(qint32 first, qint32 last) override;
    void WritePhonebookEntry(PhonebookEntry &entry) override;
    void DeletePhonebookEntry(qint16 position) override;
    QString ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number) override;

    // Where the AT trace goes; empty path: no trace. Default: Pellix.log in the user's temporary
    // folder (TraceLog::defaultPath). TraceFailed tells once when it cannot be written.
    void setTracePath(const QString &path);
    // Also hands every trace line (newline included, PINs masked) to sink as it is written; the
    // trace file is written as before. Empty: none.
    void setTraceSink(std::function<void(const QByteArray &record)> sink);

    // One command line typed by a person (pellix at), through the connection's own AT channel:
    // the same deadlines, the same unsolicited handling (codes that come meanwhile become
    // events), the same end of a lost connection. Any final code is returned, not raised.
    // timeoutMs <= 0: the profile's deadline for local commands. Raises NotConnected, Timeout,
    // ConnectionLost, and InvalidArgument with rawCommandRefusal's reason (pellixgsmmodemraw.cpp).
    RawAtAnswer rawCommand(const QByteArray &line, int timeoutMs = 0);
    // Why a typed line may not go to the modem (it would break the session), empty when it may.
    static QString rawCommandRefusal(const QByteArray &line);
    // Why a number may not be dialled, sent to or stored (empty, or a character other than 0-9 * #
    // and a leading +); empty when it may. Operations raise InvalidPhoneNumber with it.
    static QString dialStringRefusal(const QString &number);
    // Why a text cannot go out in a message of the alphabet (7: a character neither GSM 7-bit
    // table holds, named with its position); empty when it can. SendMessage and SendLongMessage
    // raise TextNotRepresentable with it.
    static QString textRefusal(const QString &text, qint32 alphabet);
    // The septets a text of the GSM alphabet takes, an extension character ("€", "[") two; -1 when
    // a character has none.
    static int gsm7Septets(const QString &text);

    // Whether the modem still answers, for a caller that has heard nothing for a while (a
    // monitor on a quiet line: a hung modem keeps its port open and says nothing). A plain AT,
    // asked again after a timeout until it is answered (any final code) or the channel gives the
    // link up; then the connection ends and ConnectionLost is raised, saying the modem stopped
    // answering. Raises NotConnected when no connection is open.
    void checkAlive();

    // What a test bench asks of a modem (pellixgsmmodemfacts.cpp, pellixgsmmodemussd.cpp). Each
    // needs Status 2 and raises like the other operations; a command the modem refuses as one it
    // does not know (ERROR, +CME ERROR 3 or 4) raises NotSupported, so that a caller can tell an
    // absent feature from a failure. Optional parts of an answer (a registration domain, the
    // ICCID, the attempts left) are left empty instead.
    NetworkFacts readNetwork();
    SimFacts readSim();
    SmscFacts readSmsc();
    // Raises InvalidArgument with smscRefusal's reason before anything is sent.
    void setSmsc(const QString &number);
    // Why number cannot be an SMS centre (digits with an optional leading +, at most 20), empty
    // when it can.
    static QString smscRefusal(const QString &number);
    static constexpr int MaxSmscDigits = 20;
    // The three memories of +CPMS?, in its order.
    QList<StorageUse> readStorage();
    // Unstructured supplementary service (27.007 7.15): the network's answer, unsolicited, is
    // waited for in the event loop until timeoutMs (<= 0: the profile's network deadline); none
    // by then gives NoAnswer, and the session is cancelled (+CUSD=2) so none stays open.
    UssdAnswer sendUssd(const QString &code, int timeoutMs = 0);
    // The answer to a menu (the last answer was MoreExpected).
    UssdAnswer replyUssd(const QString &text, int timeoutMs = 0);
    void cancelUssd();
    // Connect never enters a PIN when the modem says one attempt is left (a wrong one would lock
    // the SIM behind its PUK), unless forced; it raises PinRequired saying "1 attempt left".
    void setForcePin(bool on) { m_forcePin = on; }
    bool forcePin() const { return m_forcePin; }
    // Receive mode 2 signals a message or status report only once the modem has stored it
    // (+CNMI <mt> 1, <ds> 2 where the modem offers it; the item is fetched with +CMGR), never
    // routed to the port: for a client that may die without a Disconnect (kill -9, power loss),
    // after which a routed item would reach a port nobody reads. Kept for the set-up after a
    // modem restart; takes effect at the next Connect.
    void setStoreFirst(bool on) { m_storeFirst = on; }
    bool storeFirst() const { return m_storeFirst; }
    // Commands in a row without an answer after which the link is given up and the connection
    // ends (0: the channel's default, AtChannel::DefaultMaxConsecutiveTimeouts): a caller with a
    // patience of its own (reopen after N timeouts) raises it. Takes effect at the next Connect.
    void setMaxConsecutiveTimeouts(int n) { m_maxConsecutiveTimeouts = n > 0 ? n : 0; }
    int maxConsecutiveTimeouts() const { return m_maxConsecutiveTimeouts; }

private:
    class Operation;
    struct StoredItem { int index; int stat; QByteArray pdu; };

    // Runs one command; a lost link ends the connection before the error goes on.
    AtResponse command(const QByteArray &line, int timeoutMs);
    AtResponse query(const QByteArray &line, const QByteArray &prefix, int timeoutMs);
    AtResponse tryCommand(const QByteArray &line, const QByteArray &prefix, int timeoutMs);
    AtResponse exec(const AtCommand &command, bool raiseOnFinal);
    // The first answer line as `parse` reads it; UnexpectedAnswer when there is none it can read.
    template <typename Parse>
    auto queryValue(const QByteArray &line, const QByteArray &prefix, Parse parse, const char *missing);
    int localTimeout() const;
    int listTimeout() const;
    QString identity(const QByteArray &command, bool optional);
    void clearIdentity();

    // The steps of Connect (pellixgsmmodemconnect.cpp).
    void wakeUp();
    // Takes what comes until the line has been quiet for quietMs.
    void drainLine(int quietMs);
    void initialise();
    void readCapabilities(const QList<QByteArray> &lines);
    QString silentPortText() const;
    void checkSim(const QString &pin);
    QByteArray simState();
    void configureMessaging(qint32 receiveMode);
    bool setCnmi(const QList<CnmiValues> &candidates, bool required);
    // Leaves the modem storing what arrives (+CNMI <mt> 1, <ds> 2) when the connection ends while
    // it routes items to the port, or may (settingUnknown: a Connect that failed half-way).
    void leaveStoring(bool settingUnknown);
    // A SIM or message stack that is not ready yet answers "busy" for a while after power-up or
    // the PIN: true when the command should be tried again (after a pause on the modem's time).
    bool waitIfBusy(const AtCommand &command, const AtResponse &answer);
    bool backOff(const QString &why);
    qint32 sendPdu(const QByteArray &hex, int tpduLength);
    // Status 2, and a modem that restarted meanwhile set up again first.
    void requireConnected();

    // counted: select it even when it is selected, for the number of items it holds now (the
    // cap of the listing that follows; messages arrive between listings).
    void selectStorage(const QByteArray &storage, bool counted = false);
    // selectStorage, but false (and traced) when the modem turns a storage other than the message
    // storage down (a report storage of its own, a phone memory).
    bool selectReportStorage(const QByteArray &storage, bool counted = false);
    // The message storage, and the report storage when it is another one.
    QList<QByteArray> storages() const;
    // Where received messages may be: the message storage, and each other storage the modem may
    // keep one in and lets us read (the <mem3> list of AT+CPMS=?, asked once a connection; the
    // profile's; those +CMTI named), so that a listing misses none.
    QList<QByteArray> messageStorages();
    qint16 locationIn(const QByteArray &storage, int index) const;
    // The storage and index a location names; nullopt for one in no range.
    std::optional<StoredRef> storedAt(qint16 location) const;
    // AT+CPMS, or a listing, as a command that ends by silence (a slow line, a large storage);
    // items: how many the modem announced (-1 not known).
    AtCommand listingCommand(const AtCommand &command, int items) const;
    QList<StoredItem> listStored(qint32 filter);
    Deletion deleteRead(const QList<StoredRef> &items, quint64 connection);

    // Phonebook names and numbers travel in the +CSCS set negotiated at the first phonebook
    // operation of a connection; work runs in it, and the modem's own set is put back after.
    phonebook::Session &textSession();
    template <typename Work>
    auto inPhonebookSet(Work work);
    bool selectSet(const QByteArray &set, bool fromUcs2);
    PhonebookEntry phonebookEntry(const replies::PhonebookRow &row);

    void setStatus(qint32 status, const QString &text);
    void teardown();
    // The connection ends by itself for `why`; kept as ConnectionEndReason when no caller of
    // ours is there to hear it.
    void endConnection(const RaisedError &why);
    bool callerHears() const { return m_depth > 0 && !m_background; }

    // Restarts of the modem (pellixgsmmodemrestart.cpp).
    bool restartToCheck() const;
    void recoverIfRestarted();
    void verifySettings(const QString &readinessLine);
    void recover(const QString &evidence);
    // The steps of Connect after the port is open, started over when the modem restarts in
    // between; again: after a restart of a connected modem (the identity is not read again).
    void setUp(const QString &pin, bool again);
    void setUpOnce(const QString &pin, bool again);
    // The unread items stored while the modem announced nothing, queued as events; returns them.
    QList<StoredRef> catchUpStored();
    void confirmPduMode();
    void noticeLostLink();
    void onLinkLost(const QString &reason);
    void note(const QString &text);

    // The facts and USSD (pellixgsmmodemfacts.cpp, pellixgsmmodemussd.cpp).
    // ERROR, or +CME ERROR 3/4: the modem does not know the command or does not offer it.
    static bool refusedAsUnknown(const AtResponse &answer);
    // Runs the command; a refusal as unknown raises NotSupported, any other the usual error.
    AtResponse offered(const AtCommand &command);
    void readOperator(NetworkFacts &facts);
    void readPinAttempts(SimFacts &facts);
    QString readIccid();
    // The modem's +CSCS, in which <str> of +CUSD travels; empty when it does not say.
    QByteArray ussdCharset();
    QByteArray ussdArgument(const QString &text, const QByteArray &charset, bool packed) const;
    UssdAnswer ussdExchange(const QString &text, bool reply, int timeoutMs);
    // Waits in the event loop for the network's +CUSD until the deadline.
    std::optional<UssdAnswer> awaitUssd(const QByteArray &charset, int timeoutMs);
    // The first complete +CUSD among the codes queued now; the others are handled as usual.
    std::optional<UssdAnswer> takeUssd(const QByteArray &charset);

    // Unsolicited codes become events here, and are delivered from the event loop only.
    void absorbUnsolicited();
    void handle(const Unsolicited &code);
    void handleRouted(const Unsolicited &code);
    QString callerNumber(const QByteArray &clip) const;
    void scheduleDelivery();
    void deliverEvents();
    void fetchIndicated();
    void acknowledgeRouted();

    TransportFactory m_factory;
    std::unique_ptr<ByteTransport> m_transport;
    std::unique_ptr<AtChannel> m_channel;
    std::unique_ptr<ModemProfile> m_profile;
    std::unique_ptr<TraceLog> m_trace;
    QString m_tracePath;
    std::function<void(const QByteArray &)> m_traceSink;

    qint32 m_status = Disconnected;
    QString m_statusText = QStringLiteral("Disconnected");
    QString m_manufacturer;
    QString m_model;
    QString m_revision;
    QString m_imei;
    bool m_autoDelete = false;
    bool m_checkSim = false;
    bool m_callerId = false;
    bool m_forcePin = false;
    bool m_storeFirst = false;
    int m_maxConsecutiveTimeouts = 0;
    bool m_ussdOpen = false;         // the network's last +CUSD: 1 awaits our reply
    QByteArray m_ussdPartial;        // a +CUSD whose quoted text runs over lines, so far
    qint16 m_port = 0;
    QString m_pin;                   // given to this connection's Connect
    qint32 m_receiveMode = 0;
    int m_networkTimeoutMs = 60000;
    quint8 m_concatReference = 0;
    MessageStorages m_storages;
    quint64 m_connection = 0;        // counts closed connections: work of an old one stops

    int m_depth = 0;                 // public operations under way (nesting from event handlers)
    bool m_background = false;       // the library's own work from the event loop: nobody hears its errors
    bool m_recovering = false;       // the modem is being set up again after a restart
    std::optional<RaisedError> m_endReason;
    // What the modem said unasked, until the event loop hands it over (pellixgsmmodemevents.cpp).
    InboundEvents m_inbound{[this] { scheduleDelivery(); }};
    std::optional<phonebook::Session> m_text; // of the connection it names

    // What Connect learnt and chose for new messages.
    TestRanges m_cnmiSupport;        // AT+CNMI=?
    bool m_csmsOffered = false;      // AT+CSMS=? offers service 1 (+CNMA)
    CnmiValues m_cnmiSetting;        // the +CNMI the modem took for this connection
    bool m_acknowledge = false;      // routed items are acknowledged with +CNMA
    bool m_modemAnswered = false;    // this Connect has heard the modem answer
    bool m_wakeUpUnanswered = false; // not a byte came back to the wake-up

    // Patience with a SIM that is not ready yet.
    struct Patience
    {
        bool inConnect = false;      // the connect sequence runs: its commands are retried
        bool settling = false;       // the SIM showed it was starting (busy answer, PIN entered)
        bool afterConnect = false;   // first SIM commands after a Connect that saw it settling
        int waitedMs = 0;
        int nextMs = 0;
    };
    Patience m_patience;
};

} // namespace pellix
