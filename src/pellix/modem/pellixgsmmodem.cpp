// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "modemtransports.h"
#include "pdu/smspdu.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "transport/bytetransport.h"
#include "transport/tracelog.h"

#include <QDir>
#include <QMetaObject>

#include <algorithm>

namespace pellix {

namespace {

// A RING is followed by its +CLIP within a few milliseconds; waiting longer would only delay the
// event of a modem that does not send one.
constexpr int ClipGraceMs = 250;

QByteArray num(int value)
{
    return QByteArray::number(value);
}

int numberType(const QString &number)
{
    return number.startsWith(QLatin1Char('+')) ? 145 : 129;
}

// Dial strings of 27.007 6.1: digits, "+" first, * and #. Anything else would either be refused by
// the modem with a less helpful error or, for '"', break the command line.
void checkDialString(const QString &number)
{
    if (number.isEmpty())
        raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("the number is empty"));
    for (int i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*')
            || c == QLatin1Char('#') || (c == QLatin1Char('+') && i == 0);
        if (!ok)
            raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("\"%1\" holds '%2'").arg(number, c));
    }
}

QString plainIdentity(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    // 27.007 5.x answers are the bare value; a few modems put the command's name in front.
    QStringList parts;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.startsWith(prefix)) {
            line = line.mid(prefix.size()).trimmed();
        } else if (line.startsWith('+') || line.startsWith('^')) {
            continue;  // a result code or vendor status line among the answer, not the answer
        }
        if (std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; }))
            continue;  // line noise
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        if (!line.isEmpty())
            parts << replies::modemText(line).trimmed();
    }
    return parts.join(QLatin1Char(' '));
}

ReceivedMessage toReceived(const pdu::DeliverPdu &deliver, int location, bool isNew)
{
    ReceivedMessage message;
    message.Originator = PhoneNumber{deliver.originator.number, 1};
    message.Alphabet = deliver.dcs.alphabet;
    message.Timestamp = deliver.timestamp;
    message.Text = deliver.text;
    message.Udh = deliver.udh;
    message.UserData = deliver.userData;
    message.SimLocation = qint16(location);
    message.IsNew = isNew;
    message.MessageClass = deliver.dcs.messageClass;
    message.ServiceCenter = deliver.smsc.number;
    return message;
}

SmsStatusReport toReport(const pdu::StatusReportPdu &report, int location)
{
    SmsStatusReport result;
    result.Reference = report.messageReference;
    result.Recipient = PhoneNumber{report.recipient.number, 1};
    result.StatusText = report.statusText;
    result.SimLocation = qint16(location);
    result.Status = report.status;
    result.Timestamp = report.timestamp;
    result.DischargeTime = report.dischargeTime;
    return result;
}

// A stored or routed PDU that does not decode is still handed over, as its raw octets in an 8-bit
// message, so that the operator sees it; it is never deleted.
ReceivedMessage undecodable(const QByteArray &hex, int location, bool isNew)
{
    ReceivedMessage message;
    message.Alphabet = 8;
    message.UserData = QByteArray::fromHex(hex);
    message.Text = QString::fromLatin1(message.UserData);
    message.SimLocation = qint16(location);
    message.IsNew = isNew;
    return message;
}

// A stored or routed PDU, decoded as far as it goes.
struct DecodedItem
{
    std::optional<pdu::PduType> type;  // none: not even the message type could be read
    std::optional<ReceivedMessage> message;
    std::optional<SmsStatusReport> report;
    QString error;                     // why it did not decode
};

DecodedItem decodeItem(const QByteArray &hex, int location, bool isNew)
{
    DecodedItem item;
    try {
        item.type = pdu::pduType(hex);
        if (item.type == pdu::PduType::Deliver)
            item.message = toReceived(pdu::decodeDeliver(hex), location, isNew);
        else if (item.type == pdu::PduType::StatusReport)
            item.report = toReport(pdu::decodeStatusReport(hex), location);
    } catch (const RaisedError &error) {
        item.error = error.description();
    }
    return item;
}

// The data line of a +CMT/+CDS or +CMGR: whole octets in hex. Anything else is not a PDU but a line
// that came where one was awaited (noise, or the PDU was cut).
bool isPduLine(const QByteArray &line)
{
    if (line.isEmpty() || line.size() % 2 != 0)
        return false;
    return std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

} // namespace

// Brackets every public operation: events found meanwhile are delivered once the outermost
// operation has returned to the event loop, never from inside it.
class PellixGsmModem::Operation
{
public:
    explicit Operation(PellixGsmModem &modem) : m_modem(modem) { ++m_modem.m_depth; }
    ~Operation()
    {
        if (--m_modem.m_depth == 0 && m_modem.m_channel)
            m_modem.absorbUnsolicited();
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

private:
    PellixGsmModem &m_modem;
};

PellixGsmModem::PellixGsmModem(QObject *parent)
    : PellixGsmModem(TransportFactory(), parent)
{
}

PellixGsmModem::PellixGsmModem(TransportFactory factory, QObject *parent)
    : GsmModem(parent)
    , m_factory(std::move(factory))
    , m_tracePath(QDir::tempPath() + QStringLiteral("/Pellix.log"))
{
    if (!m_factory) {
        m_factory = [this](qint32 modemType, const ModemProfile &profile, qint16 port, qint32 baudRate) {
            return openModemTransport(modemType, profile, port, baudRate, [this]() -> std::shared_ptr<sim::VirtualModem> {
                virtualModem();
                return m_virtualModem;
            });
        };
    }
    m_ringTimer.setSingleShot(true);
    m_ringTimer.setInterval(ClipGraceMs);
    connect(&m_ringTimer, &QTimer::timeout, this, &PellixGsmModem::ringTimedOut);
}

PellixGsmModem::~PellixGsmModem()
{
    if (m_channel)
        m_channel->disconnect(this);
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
}

sim::VirtualModem &PellixGsmModem::virtualModem()
{
    if (!m_virtualModem)
        m_virtualModem = makeVirtualModem();
    return *m_virtualModem;
}

void PellixGsmModem::setTracePath(const QString &path)
{
    m_tracePath = path;
    m_trace.reset();
}

void PellixGsmModem::note(const QString &text)
{
    if (m_trace)
        m_trace->note(text);
}

// ---------------------------------------------------------------------------------------------
// Status

void PellixGsmModem::setStatus(qint32 status, const QString &text)
{
    m_statusText = text;
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT NewStatus(status);
}

void PellixGsmModem::requireConnected() const
{
    if (m_status != Connected || !m_channel)
        raise(ErrorCode::NotConnected);
}

void PellixGsmModem::teardown()
{
    // What the modem said before the end was said: routed messages and reports are handed over,
    // and a ring rings once. Indicated items are not fetched; they stay stored.
    if (m_channel) {
        for (const Unsolicited &code : m_channel->takeUnsolicited())
            handle(code);
    }
    if (std::exchange(m_ringPending, false))
        queueEvent(PhoneNumber{QString(), 1});
    m_ringTimer.stop();
    m_indicated.clear();
    m_acksOwed = 0;
    m_selectedStorage.clear();
    ++m_connection;
    if (m_channel)
        m_channel->disconnect(this);
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
    // A transport may tell of its end from inside one of its own calls, with the channel's command
    // still on the stack: both go once control is back in the event loop.
    if (m_channel)
        m_channel.release()->deleteLater();
    if (m_transport)
        m_transport.release()->deleteLater();
    if (!m_events.isEmpty())
        scheduleDelivery();
}

void PellixGsmModem::noticeLostLink()
{
    if (m_channel && (m_channel->linkLost() || !m_transport->isOpen()))
        onLinkLost(m_transport->errorText().isEmpty() ? QStringLiteral("no answer") : m_transport->errorText());
}

void PellixGsmModem::onLinkLost(const QString &reason)
{
    if (!m_transport)
        return;
    // Inside a command the channel has seen the failure as well and ends the command with it; the
    // connection is closed on the way out of the command, not under its feet.
    if (m_channel && m_channel->running())
        return;
    note(QStringLiteral("connection lost: %1").arg(reason));
    teardown();
    setStatus(Disconnected, QStringLiteral("Disconnected"));
}

// ---------------------------------------------------------------------------------------------
// Commands

AtResponse PellixGsmModem::exec(const AtCommand &cmd, bool raiseOnFinal)
{
    if (!m_channel)
        raise(ErrorCode::NotConnected);
    try {
        AtResponse answer = raiseOnFinal ? m_channel->execute(cmd) : m_channel->run(cmd);
        // The answer came, but the device may have gone right after it.
        noticeLostLink();
        return answer;
    } catch (const RaisedError &) {
        noticeLostLink();
        throw;
    }
}

AtResponse PellixGsmModem::command(const QByteArray &line, int timeoutMs)
{
    return exec(AtCommand::plain(line, timeoutMs), true);
}

AtResponse PellixGsmModem::query(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    return exec(AtCommand::prefixed(line, prefix, timeoutMs), true);
}

AtResponse PellixGsmModem::tryCommand(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    return exec(prefix.isEmpty() ? AtCommand::plain(line, timeoutMs) : AtCommand::prefixed(line, prefix, timeoutMs),
                false);
}

template <typename Parse>
auto PellixGsmModem::queryValue(const QByteArray &line, const QByteArray &prefix, Parse parse, const char *missing)
{
    const AtResponse answer = query(line, prefix, localTimeout());
    const auto value = answer.lines.isEmpty() ? decltype(parse(QByteArray()))() : parse(answer.lines.first());
    if (!value)
        raise(ErrorCode::UnexpectedAnswer, QStringLiteral("%1 gave no %2").arg(QString::fromLatin1(line), QLatin1String(missing)));
    return *value;
}

int PellixGsmModem::localTimeout() const
{
    return m_profile ? m_profile->commandTimeoutMs : AtCommand::DefaultTimeoutMs;
}

int PellixGsmModem::listTimeout() const
{
    return m_profile ? m_profile->listTimeoutMs : 30000;
}

// ---------------------------------------------------------------------------------------------
// Connection

void PellixGsmModem::Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode, qint32 timeout,
                             qint32 baudRate)
{
    Operation op(*this);
    if (m_status != Disconnected)
        raise(ErrorCode::AlreadyConnected, QStringLiteral("disconnect first"));
    if (receiveMode != 0 && receiveMode != 2)
        raise(ErrorCode::InvalidArgument, QStringLiteral("receive mode %1 (0 or 2)").arg(receiveMode));
    if (baudRate < 0)
        raise(ErrorCode::InvalidArgument, QStringLiteral("serial speed %1").arg(baudRate));
    auto profile = std::make_unique<ModemProfile>(modemProfile(modemType));

    clearIdentity();
    m_networkTimeoutMs = (timeout > 0 ? qMin(timeout, 600) : 60) * 1000;
    m_receiveMode = receiveMode;
    if (!m_trace && !m_tracePath.isEmpty())
        m_trace = std::make_unique<TraceLog>(m_tracePath);

    setStatus(Connecting, QStringLiteral("Connecting"));
    // A NewStatus handler may have closed the connection again before it was opened.
    if (m_status != Connecting)
        raise(ErrorCode::NotConnected, QStringLiteral("the connection was closed while it was being opened"));
    try {
        note(QStringLiteral("connect: modem type %1 (%2), port COM%3").arg(modemType).arg(profile->name).arg(port));
        m_transport = m_factory(modemType, *profile, port, baudRate);
        if (!m_transport)
            raise(ErrorCode::PortCannotOpen, QStringLiteral("no transport for modem type %1").arg(modemType));
        m_profile = std::move(profile);
        m_channel = std::make_unique<AtChannel>(*m_transport);
        m_channel->setTrace([this](TraceDirection direction, const QByteArray &line) {
            if (!m_trace)
                return;
            // An echo or a reply that came after its deadline must not read as an answer.
            if (direction == TraceDirection::Discarded)
                m_trace->discarded(line);
            else
                m_trace->line(direction == TraceDirection::Sent, line);
        });
        connect(m_transport.get(), &ByteTransport::failed, this, &PellixGsmModem::onLinkLost);
        connect(m_channel.get(), &AtChannel::unsolicitedArrived, this, &PellixGsmModem::scheduleDelivery);

        // Echo and result codes first: everything after depends on how the modem answers.
        const QByteArray echo = m_profile->echo ? "ATE1V1" : "ATE0V1";
        const QByteArray cmee = "+CMEE=" + num(m_profile->cmeeMode);
        if (tryCommand(echo + cmee, QByteArray(), localTimeout()).final != FinalCode::Ok) {
            command(echo, localTimeout());
            tryCommand("AT" + cmee, QByteArray(), localTimeout());
        }
        for (const QByteArray &init : m_profile->initCommands)
            command(init, localTimeout());
        for (const QByteArray &init : m_profile->optionalInitCommands)
            tryCommand(init, QByteArray(), localTimeout());
        if (m_checkSim)
            checkSim(pin);
        m_manufacturer = identity("AT+CGMI", false);
        m_model = identity("AT+CGMM", false);
        m_revision = identity("AT+CGMR", true);
        m_imei = identity("AT+CGSN", true);
        configureMessaging(receiveMode);
    } catch (...) {
        note(QStringLiteral("connect failed"));
        // The identity belongs to a modem that is ready; a failed attempt leaves none behind.
        clearIdentity();
        teardown();
        setStatus(Disconnected, QStringLiteral("Disconnected"));
        throw;
    }
    note(QStringLiteral("ready: %1 %2 %3").arg(m_manufacturer, m_model, m_revision));
    setStatus(Connected, QStringLiteral("Ready"));
}

void PellixGsmModem::clearIdentity()
{
    m_manufacturer.clear();
    m_model.clear();
    m_revision.clear();
    m_imei.clear();
}

QString PellixGsmModem::identity(const QByteArray &cmd, bool optional)
{
    // Some modems (Wavecom) refuse +CGMR; an identity that is missing is not worth failing for.
    const AtResponse answer = exec(AtCommand::bare(cmd, localTimeout()), !optional);
    if (answer.final != FinalCode::Ok)
        return QString();
    return plainIdentity(answer.lines, cmd.mid(2) + ':');
}

void PellixGsmModem::checkSim(const QString &pin)
{
    AtCommand cpin = AtCommand::prefixed("AT+CPIN?", "+CPIN:", localTimeout());
    cpin.finalMayBeMissing = m_profile->cpinWithoutOk;
    const AtResponse state = exec(cpin, true);
    const QByteArray answer = state.lines.isEmpty() ? QByteArray("READY")
                                                    : replies::fields(state.lines.first(), "+CPIN").value(0);
    if (answer == "READY")
        return;
    if (answer == "SIM PIN" && !pin.isEmpty()) {
        for (QChar c : pin)
            if (!c.isDigit())
                raise(ErrorCode::InvalidArgument, QStringLiteral("the PIN may hold digits only"));
        command("AT+CPIN=\"" + pin.toLatin1() + '"', localTimeout());
        return;
    }
    raise(ErrorCode::PinRequired, QStringLiteral("the SIM asks for %1%2").arg(QString::fromLatin1(answer),
          answer == "SIM PIN" ? QStringLiteral("; give it as Connect's PIN") : QStringLiteral("; unlock it in a phone first")));
}

void PellixGsmModem::configureMessaging(qint32 receiveMode)
{
    const QByteArray cpms = "+CPMS=" + m_profile->cpmsArguments();
    const QByteArray cnmi = "+CNMI=" + (receiveMode == 2 ? m_profile->cnmiLive : m_profile->cnmiStored);
    const QByteArray cpbs = "+CPBS=\"" + m_profile->phonebookStorage + '"';
    QList<QByteArray> steps{"+CMGF=0"};
    // A modem that leaves OK out after +CPMS cannot share a command line with it.
    if (!m_profile->cpmsWithoutOk)
        steps << cpms;
    steps << cnmi << cpbs;
    // The modem keeps +CLIP until it is reset, so the setting is made either way.
    steps << (m_callerId ? "+CLIP=1" : "+CLIP=0");
    if (m_profile->cpmsWithoutOk) {
        AtCommand select = AtCommand::prefixed("AT" + cpms, "+CPMS:", localTimeout());
        select.finalMayBeMissing = true;
        exec(select, true);
    }
    // One command line for all of them (V.250 5.2.1); when the modem refuses the line, the
    // settings are made one by one, so that the error names the one it refused.
    if (tryCommand("AT" + steps.join(';'), "+CPMS:", localTimeout()).final == FinalCode::Ok) {
        m_selectedStorage = m_profile->messageStorage;
        return;
    }
    for (const QByteArray &step : steps) {
        const bool optional = step.startsWith("+CLIP") || step.startsWith("+CPBS");
        const AtResponse answer = tryCommand("AT" + step, step.startsWith("+CPMS") ? "+CPMS:" : QByteArray(),
                                             localTimeout());
        if (answer.final == FinalCode::Ok || optional)
            continue;
        if (step == "+CMGF=0")
            raise(ErrorCode::ModemAnsweredError, QStringLiteral("the modem has no SMS PDU mode (AT+CMGF=0: %1)")
                  .arg(QString::fromLatin1(answer.finalLine)));
        AtChannel::raiseFor(answer, "AT" + step);
    }
    m_selectedStorage = m_profile->messageStorage;
}

void PellixGsmModem::Disconnect()
{
    Operation op(*this);
    if (m_transport)
        note(QStringLiteral("disconnect"));
    teardown();
    setStatus(Disconnected, QStringLiteral("Disconnected"));
}

// ---------------------------------------------------------------------------------------------
// Signal

bool PellixGsmModem::GetSignalQuality(qint16 &rssi, qint16 &ber)
{
    Operation op(*this);
    requireConnected();
    const auto quality = queryValue("AT+CSQ", "+CSQ:", replies::signalQuality, "signal quality");
    rssi = qint16(quality.rssi);
    ber = qint16(quality.ber);
    // 27.007 8.5: 99 is "not known or not detectable", never sufficient.
    return quality.rssi >= 11 && quality.rssi <= 31;
}

// ---------------------------------------------------------------------------------------------
// Sending

qint32 PellixGsmModem::sendPdu(const QByteArray &hex, int tpduLength)
{
    const AtResponse answer = exec(AtCommand::sendingPdu("AT+CMGS=" + num(tpduLength), hex, "+CMGS:", m_networkTimeoutMs),
                                   true);
    const auto reference = answer.lines.isEmpty() ? std::nullopt : replies::messageReference(answer.lines.first());
    if (!reference)
        raise(ErrorCode::UnexpectedAnswer, QStringLiteral("AT+CMGS gave no message reference"));
    return *reference;
}

qint32 PellixGsmModem::SendMessage(SmsMessage &message)
{
    Operation op(*this);
    requireConnected();
    if (message.Alphabet != pdu::Gsm7 && message.Alphabet != pdu::Bit8 && message.Alphabet != pdu::Ucs2)
        raise(ErrorCode::InvalidAlphabet, QStringLiteral("%1 (7, 8 or 16)").arg(message.Alphabet));
    if (message.MessageClass < -1 || message.MessageClass > 3)
        raise(ErrorCode::InvalidMessageClass, QStringLiteral("%1 (-1 none, 0 to 3)").arg(message.MessageClass));
    checkDialString(message.Recipient.Number);

    pdu::SubmitPdu submit;
    submit.destination = message.Recipient.Number;
    submit.alphabet = message.Alphabet;
    submit.text = message.Text;
    submit.udh = message.Udh;
    submit.messageClass = message.MessageClass;
    submit.validityMinutes = message.Validity;
    submit.statusReportRequest = message.RequestStatusReport;
    const pdu::EncodedPdu encoded = pdu::encodeSubmit(submit);

    message.Reference = sendPdu(encoded.hex, encoded.tpduLength);
    message.UserData = encoded.userData;
    return message.Reference;
}

qint32 PellixGsmModem::SendLongMessage(const QString &number, const QString &text, bool statusReport)
{
    Operation op(*this);
    requireConnected();
    checkDialString(number);
    pdu::SubmitPdu base;
    base.destination = number;
    base.text = text;
    base.statusReportRequest = statusReport;
    const QList<pdu::EncodedPdu> parts = pdu::encodeLongSubmit(base, ++m_concatReference);
    for (int i = 0; i < parts.size(); ++i) {
        try {
            sendPdu(parts.at(i).hex, parts.at(i).tpduLength);
        } catch (const RaisedError &error) {
            if (parts.size() == 1)
                throw;
            throw RaisedError(error.number(), error.source(),
                              QStringLiteral("%1 (part %2 of %3; %4 sent)").arg(error.description()).arg(i + 1)
                                  .arg(parts.size()).arg(i));
        }
    }
    return qint32(parts.size());
}

// ---------------------------------------------------------------------------------------------
// Stored messages and reports

void PellixGsmModem::selectStorage(const QByteArray &storage)
{
    if (storage == m_selectedStorage)
        return;
    // Until the modem confirms, what it has selected is not known: an answer lost to a timeout may
    // follow a change that the modem made all the same.
    m_selectedStorage.clear();
    // Only the read/delete storage changes; writing and receiving stay where Connect put them.
    AtCommand select = AtCommand::prefixed("AT+CPMS=\"" + storage + '"', "+CPMS:", localTimeout());
    select.finalMayBeMissing = m_profile->cpmsWithoutOk;
    exec(select, true);
    m_selectedStorage = storage;
}

QList<QByteArray> PellixGsmModem::storages() const
{
    QList<QByteArray> result{m_profile->messageStorage};
    if (m_profile->reportStorage != m_profile->messageStorage)
        result << m_profile->reportStorage;
    return result;
}

qint16 PellixGsmModem::locationIn(const QByteArray &storage, int index) const
{
    const bool apart = storage == m_profile->reportStorage && storage != m_profile->messageStorage;
    if (apart && index >= 0 && index <= 32767 - ReportLocationBase)
        return qint16(ReportLocationBase + index);
    return qint16(index);
}

QList<PellixGsmModem::StoredItem> PellixGsmModem::listStored(qint32 filter)
{
    // 27.005 3.1 <stat>: 0 REC UNREAD, 1 REC READ, 4 ALL.
    static constexpr int StatOf[] = {4, 0, 1};
    if (filter < 0 || filter > 2)
        raise(ErrorCode::InvalidArgument, QStringLiteral("filter %1 (0 all, 1 unread, 2 read)").arg(filter));
    const AtResponse answer = exec(AtCommand::withPdus("AT+CMGL=" + num(StatOf[filter]), "+CMGL:", listTimeout()), true);
    QList<StoredItem> items;
    for (int i = 0; i < answer.lines.size(); ++i) {
        const auto header = replies::listedMessage(answer.lines.at(i));
        if (!header) {
            note(QStringLiteral("listing line not understood: %1").arg(QString::fromLatin1(answer.lines.at(i))));
            continue;
        }
        items << StoredItem{header->index, header->stat, answer.pdus.value(i)};
    }
    return items;
}

void PellixGsmModem::deleteRead(const QList<StoredRef> &items, quint64 connection)
{
    // The items were decoded and are being handed over: nothing here may fail the read, or those
    // already deleted would be lost with the error. A refused delete leaves its item on the SIM,
    // which loses nothing; a closed connection (or a new one) ends the deleting.
    for (const StoredRef &item : items) {
        if (m_connection != connection || m_status != Connected)
            return;
        try {
            selectStorage(item.storage);
            command("AT+CMGD=" + num(item.index), localTimeout());
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not delete %1 %2: %3")
                     .arg(QString::fromLatin1(item.storage)).arg(item.index).arg(error.description()));
        }
    }
}

QList<ReceivedMessage> PellixGsmModem::ReadMessages(qint32 filter, bool deleteAfterReading)
{
    Operation op(*this);
    requireConnected();
    const quint64 connection = m_connection;
    const QByteArray storage = m_profile->messageStorage;
    selectStorage(storage);
    QList<ReceivedMessage> messages;
    QList<StoredRef> decoded;
    for (const StoredItem &item : listStored(filter)) {
        const DecodedItem d = decodeItem(item.pdu, item.index, item.stat == 0);
        if (d.message) {
            messages << *d.message;
            decoded << StoredRef{storage, item.index};
        } else if (!d.type || d.type == pdu::PduType::Deliver) {
            note(QStringLiteral("message %1 does not decode: %2").arg(item.index).arg(d.error));
            messages << undecodable(item.pdu, item.index, item.stat == 0);
        }
        // Status reports and stored outgoing messages have their own readers.
    }
    if (deleteAfterReading)
        deleteRead(decoded, connection);
    return messages;
}

QList<SmsStatusReport> PellixGsmModem::ReadStatusReports(qint32 filter, bool deleteAfterReading)
{
    Operation op(*this);
    requireConnected();
    const quint64 connection = m_connection;
    // Modems that have a report storage do not all use it: some keep reports among the messages
    // until the client has chosen "SR". Both are read, so that no report is left unseen, and only
    // then is anything deleted: a failure on the second must not lose what the first gave.
    QList<SmsStatusReport> reports;
    QList<StoredRef> decoded;
    for (const QByteArray &storage : storages()) {
        selectStorage(storage);
        for (const StoredItem &item : listStored(filter)) {
            const DecodedItem d = decodeItem(item.pdu, locationIn(storage, item.index), item.stat == 0);
            if (d.report) {
                reports << *d.report;
                decoded << StoredRef{storage, item.index};
            } else if (d.type == pdu::PduType::StatusReport || (!d.type && storage != m_profile->messageStorage)) {
                // A report that does not decode stays where it is; ReadMessages shows nothing of
                // it either, so it is named in the trace.
                note(QStringLiteral("report %1 in %2 does not decode: %3")
                         .arg(item.index).arg(QString::fromLatin1(storage), d.error));
            }
        }
    }
    if (deleteAfterReading)
        deleteRead(decoded, connection);
    return reports;
}

void PellixGsmModem::DeleteMessage(qint16 simLocation)
{
    Operation op(*this);
    requireConnected();
    const bool report = storages().size() > 1 && simLocation >= ReportLocationBase;
    selectStorage(report ? m_profile->reportStorage : m_profile->messageStorage);
    command("AT+CMGD=" + num(report ? simLocation - ReportLocationBase : simLocation), localTimeout());
}

void PellixGsmModem::DeleteAllMessages()
{
    Operation op(*this);
    requireConnected();
    // Reports in a storage of their own are stored items as well: "all" leaves none behind, as on
    // modems that keep them among the messages.
    for (const QByteArray &storage : storages()) {
        selectStorage(storage);
        // <delflag> 4 (27.005 3.5.4) is missing on older phones; they get one delete per listed item.
        if (tryCommand("AT+CMGD=1,4", QByteArray(), listTimeout()).final == FinalCode::Ok)
            continue;
        for (const StoredItem &item : listStored(0))
            command("AT+CMGD=" + num(item.index), localTimeout());
    }
}

// ---------------------------------------------------------------------------------------------
// Phonebook

qint16 PellixGsmModem::PhonebookCount()
{
    Operation op(*this);
    requireConnected();
    const auto use = queryValue("AT+CPBS?", "+CPBS:", replies::phonebookStorage, "entry count");
    return qint16(qBound(0, use.used, 32767));
}

QList<PhonebookEntry> PellixGsmModem::ReadPhonebook(qint32 first, qint32 last)
{
    Operation op(*this);
    requireConnected();
    if (first < 0 || last < 0 || (last != 0 && last < first))
        raise(ErrorCode::InvalidArgument, QStringLiteral("phonebook range %1..%2").arg(first).arg(last));
    if (first == 0 && last == 0) {
        const auto bounds = queryValue("AT+CPBR=?", "+CPBR:", replies::phonebookRange, "index range");
        first = bounds.first;
        last = bounds.last;
    } else if (last == 0) {
        last = first;
    }
    // An empty range is answered with OK alone by some modems and +CME ERROR 22 (not found) by
    // others; both mean no entries.
    const QByteArray read = "AT+CPBR=" + num(first) + ',' + num(last);
    const AtResponse answer = tryCommand(read, "+CPBR:", listTimeout());
    if (answer.final == FinalCode::CmeError && answer.errorCode == 22)
        return {};
    if (answer.final != FinalCode::Ok)
        AtChannel::raiseFor(answer, read);
    QList<PhonebookEntry> entries;
    for (const QByteArray &line : answer.lines) {
        const auto row = replies::phonebookRow(line);
        if (!row) {
            note(QStringLiteral("phonebook line not understood: %1").arg(QString::fromLatin1(line)));
            continue;
        }
        entries << PhonebookEntry{qint16(row->index), row->text, row->number};
    }
    return entries;
}

void PellixGsmModem::WritePhonebookEntry(PhonebookEntry &entry)
{
    Operation op(*this);
    requireConnected();
    checkDialString(entry.Number);
    if (entry.Name.contains(QLatin1Char('"')))
        raise(ErrorCode::InvalidArgument, QStringLiteral("a phonebook name cannot hold '\"'"));
    command("AT+CPBW=" + num(entry.Index) + ',' + replies::quoted(entry.Number) + ',' + num(numberType(entry.Number))
                + ',' + replies::quoted(entry.Name),
            listTimeout());
    // Read back what the SIM holds now: it may have cut the name or normalised the number.
    const AtResponse answer = tryCommand("AT+CPBR=" + num(entry.Index), "+CPBR:", listTimeout());
    if (answer.final == FinalCode::Ok && !answer.lines.isEmpty()) {
        if (const auto row = replies::phonebookRow(answer.lines.first())) {
            entry.Index = qint16(row->index);
            entry.Name = row->text;
            entry.Number = row->number;
        }
    }
}

void PellixGsmModem::DeletePhonebookEntry(qint16 position)
{
    Operation op(*this);
    requireConnected();
    command("AT+CPBW=" + num(position), listTimeout());
}

// ---------------------------------------------------------------------------------------------
// Call forwarding

QString PellixGsmModem::ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number)
{
    Operation op(*this);
    requireConnected();
    if (mode < 0 || mode > 4)
        raise(ErrorCode::InvalidArgument, QStringLiteral("forwarding mode %1 (0 to 4)").arg(mode));
    if (reason < 0 || reason > 5)
        raise(ErrorCode::InvalidArgument, QStringLiteral("forwarding reason %1 (0 to 5)").arg(reason));
    if (callClass < 1 || callClass > 255)
        raise(ErrorCode::InvalidArgument, QStringLiteral("call class %1 (1 to 255)").arg(callClass));
    const QByteArray head = "AT+CCFC=" + num(reason) + ',';
    if (mode == 3) {
        checkDialString(number);
        command(head + "3," + replies::quoted(number) + ',' + num(numberType(number)) + ',' + num(callClass),
                m_networkTimeoutMs);
    } else if (mode != 2) {
        command(head + num(mode) + ",,," + num(callClass), m_networkTimeoutMs);
    }
    // The answer names every class with its state (27.007 7.11); the one asked about decides.
    const AtResponse answer = query(head + '2', "+CCFC:", m_networkTimeoutMs);
    for (const QByteArray &line : answer.lines) {
        const auto row = replies::forwardingRow(line);
        if (row && row->status == 1 && (row->callClass & callClass))
            return row->number;
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Events

void PellixGsmModem::absorbUnsolicited()
{
    if (!m_channel)
        return;
    const QList<Unsolicited> codes = m_channel->takeUnsolicited();
    for (const Unsolicited &code : codes)
        handle(code);
    if (!m_events.isEmpty() || !m_indicated.isEmpty())
        scheduleDelivery();
}

void PellixGsmModem::handle(const Unsolicited &code)
{
    switch (code.kind) {
    case UnsolicitedKind::Cmt:
    case UnsolicitedKind::Cds:
        handleRouted(code);
        break;
    case UnsolicitedKind::Cmti:
    case UnsolicitedKind::Cdsi:
        // Stored and indicated: fetched once no command runs. In receive mode 0 they stay put.
        if (code.index < 0)
            note(QStringLiteral("indication without a location ignored: %1").arg(QString::fromLatin1(code.line)));
        else if (m_receiveMode == 2)
            m_indicated.append(StoredRef{code.storage, code.index});
        break;
    case UnsolicitedKind::Ring:
        // A ring still waiting for its number had none.
        if (m_ringPending)
            queueEvent(PhoneNumber{QString(), 1});
        m_ringPending = m_callerId;
        if (m_callerId)
            m_ringTimer.start();
        else
            queueEvent(PhoneNumber{QString(), 1});
        break;
    case UnsolicitedKind::Clip:
        // 27.007 7.6: +CLIP follows the RING it belongs to. One that comes alone, after its ring
        // was given up on, or although it was not asked for, is no call of its own.
        if (!m_ringPending) {
            note(QStringLiteral("caller number without a ring ignored: %1").arg(QString::fromLatin1(code.line)));
            break;
        }
        m_ringTimer.stop();
        m_ringPending = false;
        queueEvent(PhoneNumber{QString::fromLatin1(code.number), 1});
        break;
    default:
        break;
    }
}

void PellixGsmModem::handleRouted(const Unsolicited &code)
{
    const bool report = code.kind == UnsolicitedKind::Cds;
    // Acknowledged whatever follows: a modem that routed something waits for it.
    if (m_profile && m_profile->cnmaRequired)
        ++m_acksOwed;
    // A code without a PDU line behind it is noise, or its PDU was cut: there is nothing to hand over.
    if (!isPduLine(code.pdu)) {
        note(QStringLiteral("%1 without a PDU ignored").arg(QString::fromLatin1(code.line)));
        return;
    }
    const DecodedItem d = decodeItem(code.pdu, -1, true);
    if (report && d.report) {
        queueEvent(*d.report);
    } else if (report) {
        note(QStringLiteral("routed status report does not decode: %1").arg(d.error));
    } else if (d.message) {
        queueEvent(*d.message);
    } else {
        note(QStringLiteral("routed message does not decode: %1").arg(d.error));
        queueEvent(undecodable(code.pdu, -1, true));
    }
}

void PellixGsmModem::ringTimedOut()
{
    if (!std::exchange(m_ringPending, false))
        return;
    queueEvent(PhoneNumber{QString(), 1});
    scheduleDelivery();
}

void PellixGsmModem::queueEvent(Event event)
{
    m_events.append(std::move(event));
}

void PellixGsmModem::scheduleDelivery()
{
    if (m_deliveryScheduled)
        return;
    m_deliveryScheduled = true;
    QMetaObject::invokeMethod(this, &PellixGsmModem::deliverEvents, Qt::QueuedConnection);
}

void PellixGsmModem::fetchIndicated()
{
    while (!m_indicated.isEmpty() && m_status == Connected) {
        const StoredRef indicated = m_indicated.takeFirst();
        const QByteArray storage = indicated.storage.isEmpty() ? m_profile->messageStorage : indicated.storage;
        const quint64 connection = m_connection;
        Operation op(*this);
        try {
            selectStorage(storage);
            const AtResponse answer =
                exec(AtCommand::withPdus("AT+CMGR=" + num(indicated.index), "+CMGR:", listTimeout()), true);
            const QByteArray hex = answer.pdus.value(0);
            if (!isPduLine(hex)) {
                note(QStringLiteral("indicated item %1 came without a PDU").arg(indicated.index));
                continue;
            }
            const DecodedItem d = decodeItem(hex, locationIn(storage, indicated.index), true);
            if (d.report)
                queueEvent(*d.report);
            else if (d.message)
                queueEvent(*d.message);
            else if (d.type == pdu::PduType::StatusReport)
                note(QStringLiteral("report %1 does not decode: %2").arg(indicated.index).arg(d.error));
            else
                queueEvent(undecodable(hex, locationIn(storage, indicated.index), true));
            // Queued, it is handed over in this same delivery, before anything else can run.
            const bool handedOver = d.report || d.message;
            if (handedOver && m_autoDelete)
                deleteRead({StoredRef{storage, indicated.index}}, connection);
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not fetch indicated item %1: %2").arg(indicated.index).arg(error.description()));
        }
    }
}

void PellixGsmModem::acknowledgeRouted()
{
    // 27.005 3.4.4: with +CSMS=1 the network waits for the TE's acknowledgement of each routed
    // message; without it the modem stops routing and the network retries.
    while (m_acksOwed > 0 && m_status == Connected) {
        --m_acksOwed;
        Operation op(*this);
        try {
            command("AT+CNMA", localTimeout());
        } catch (const RaisedError &error) {
            note(QStringLiteral("acknowledgement refused: %1").arg(error.description()));
        }
    }
    m_acksOwed = 0;
}

void PellixGsmModem::deliverEvents()
{
    m_deliveryScheduled = false;
    if (m_depth > 0 || m_delivering) {
        // An operation or a delivery is under way (a handler called back into the modem, or runs
        // an event loop of its own); what is pending is delivered once it has finished.
        return;
    }
    m_delivering = true;
    struct Delivering
    {
        bool &flag;
        ~Delivering() { flag = false; }
    } delivering{m_delivering};
    if (m_channel) {
        for (const Unsolicited &code : m_channel->takeUnsolicited())
            handle(code);
    }
    acknowledgeRouted();
    fetchIndicated();
    while (!m_events.isEmpty()) {
        const Event event = m_events.takeFirst();
        if (const auto *message = std::get_if<ReceivedMessage>(&event))
            Q_EMIT MessageReceived(*message);
        else if (const auto *report = std::get_if<SmsStatusReport>(&event))
            Q_EMIT StatusReport(*report);
        else if (const auto *caller = std::get_if<PhoneNumber>(&event))
            Q_EMIT Ring(*caller);
    }
    // What came while the handlers ran, and was turned away above, is delivered in turn.
    if (!m_indicated.isEmpty() || (m_channel && m_channel->queuedUnsolicited() > 0))
        scheduleDelivery();
}

std::unique_ptr<GsmModem> createGsmModem(QObject *parent)
{
    return std::make_unique<PellixGsmModem>(parent);
}

} // namespace pellix
