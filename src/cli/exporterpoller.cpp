// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterpoller.h"

#include "items.h"
#include "modem/pellixgsmmodem.h"
#include "pellixerror.h"
#include "transport/serialportdescription.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

using pellix::ErrorCode;

bool isError(const RaisedError &error, ErrorCode code)
{
    return error.number() == pellix::libraryErrorNumber(quint16(code));
}

// The exporter's connection as a check sees it: already open, so that "answers AT" asks a plain
// AT on it, and left open when the check ends.
class KeptOpenModem final : public CheckedModem
{
public:
    explicit KeptOpenModem(LibraryCheckedModem &modem) : m_modem(modem) {}

    void connect() override { m_modem.library().checkAlive(); }
    QString identity() override { return m_modem.identity(); }
    pellix::SimFacts readSim() override { return m_modem.readSim(); }
    pellix::NetworkFacts readNetwork() override { return m_modem.readNetwork(); }
    int rssi() override { return m_modem.rssi(); }
    pellix::SmscFacts readSmsc() override { return m_modem.readSmsc(); }
    QList<pellix::StorageUse> readStorage() override { return m_modem.readStorage(); }
    int phonebookSize() override { return m_modem.phonebookSize(); }
    LoopbackResult loopback(const QString &number, int withinMs) override { return m_modem.loopback(number, withinMs); }
    pellix::UssdAnswer ussd(const QString &code, int timeoutMs) override { return m_modem.ussd(code, timeoutMs); }
    bool connectionLost() const override { return m_modem.connectionLost(); }
    void close() override {}

private:
    LibraryCheckedModem &m_modem;
};

} // namespace

QString forwardName(const QString &imei, const ReceivedMessage &message)
{
    // What the network delivered, not how this read decoded it: the same message read again
    // hashes the same, two messages that differ in one octet do not.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(message.Originator.Number.toUtf8());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(message.Timestamp.toString(Qt::ISODate).toUtf8());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(message.Udh);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(message.UserData.isEmpty() ? message.Text.toUtf8() : message.UserData);
    const QString when = message.Timestamp.isValid()
        ? message.Timestamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"))
        : QStringLiteral("notime");
    const QString location = message.SimLocation >= 0 ? QString::number(message.SimLocation) : QStringLiteral("live");
    return QStringLiteral("sms-%1-%2-%3-%4.json")
        .arg(when, imei.isEmpty() ? QStringLiteral("unknown") : imei, location,
             QString::fromLatin1(hash.result().toHex().left(12)));
}

QString writeForwardFile(const QString &folder, const QString &name, const QByteArray &json)
{
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("%1 is not a folder").arg(folder);
    QSaveFile file(QDir(folder).filePath(name));
    // Unbuffered: a full disk must fail the write here, not a flush whose error commit may not
    // report; a message is deleted from the SIM on the strength of this answer.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(json) != json.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    // commit syncs the file before it takes the name.
    if (!file.commit())
        return file.errorString();
    const QString path = QDir(folder).filePath(name);
    if (QFileInfo(path).size() != json.size()) {
        QFile::remove(path);
        return QStringLiteral("the file was not written whole (disk full?)");
    }
    // The rename itself is on disk only once the folder is synced: before that, a power cut
    // could lose a message already deleted from the SIM.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return QStringLiteral("the folder cannot be synced");
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced ? QString() : QStringLiteral("the folder cannot be synced");
}

ExporterPoller::ExporterPoller(ExporterStore &store, int index, CheckTarget target, ExporterSettings settings,
                               ExporterHooks hooks)
    : m_store(store)
    , m_index(index)
    , m_target(std::move(target))
    , m_settings(std::move(settings))
    , m_hooks(std::move(hooks))
{
    if (!m_settings.loopback)
        m_settings.check.noLoopback = QStringLiteral("the exporter sends no messages without --loopback");
}

ExporterPoller::~ExporterPoller()
{
    close();
}

void ExporterPoller::sayOnce(const QString &line)
{
    if (line == m_lastSaid)
        return;
    m_lastSaid = line;
    if (m_hooks.say)
        m_hooks.say(QStringLiteral("%1: %2").arg(m_target.name, line));
}

void ExporterPoller::run(const std::atomic<bool> &stop)
{
    while (!stop) {
        if (!m_modem)
            open();
        if (m_modem && !stop && m_listingDue)
            list();
        if (m_modem && !stop) {
            // Once an interval: a failing disk is not tried in a loop.
            m_toForward << m_retry;
            m_retry.clear();
            forwardPending();
            dropCounted();
            poll();
        }
        if (m_modem && !stop) {
            check();
            dropCounted();
        }
        if (m_reopenDue && !stop) {
            reopen();
            continue;
        }
        wait(m_settings.intervalMs, stop);
        m_listed.clear();
        if (m_modem && m_modem->connectionLost())
            lost(QStringLiteral("the connection was lost"));
    }
    close();
}

void ExporterPoller::wait(int ms, const std::atomic<bool> &stop)
{
    QEventLoop loop;
    const auto due = [&] {
        return stop || (m_modem && m_modem->connectionLost()) || !m_toForward.isEmpty();
    };
    if (due())
        return;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The stop comes from another thread as a flag: looked at often enough for a prompt end.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (due())
            loop.quit();
    });
    end.start(ms);
    look.start(100);
    loop.exec();
}

bool ExporterPoller::findMoved()
{
    // A modem that came back on another serial port (a new ttyUSB after a replug) is the one that
    // tells the same IMEI. A by-id path just reappears and needs none of this.
    if (m_imei.isEmpty() || m_target.request.modemType == ModemRequest::VirtualModemType)
        return false;
    if (!m_target.request.devicePath.isEmpty() && QFileInfo::exists(m_target.request.devicePath))
        return false;
    const QList<pellix::SerialPortDescription> ports = m_hooks.listPorts ? m_hooks.listPorts() : pellix::describeSerialPorts();
    const qint32 baud = m_target.request.baudRate > 0 ? m_target.request.baudRate : pellix::DefaultProbeBaudRate;
    // Each port once while the modem is away, then only the ports that appear: the modem comes
    // back as a new device, and another one (a GPS) is not sent AT every interval for as long as
    // the modem stays unplugged.
    QSet<QString> present;
    for (const pellix::SerialPortDescription &port : ports)
        present.insert(port.devicePath);
    const QSet<QString> lookedAt = std::exchange(m_portsLookedAt, present);
    for (const pellix::SerialPortDescription &port : ports) {
        if (lookedAt.contains(port.devicePath))
            continue;
        const pellix::PortProbeResult probe = m_hooks.probePort ? m_hooks.probePort(port, baud)
                                                                : pellix::probePort(port, pellix::DefaultProbeDeadlineMs, baud);
        // Held by another program, it was not reached: looked at again next time.
        if (probe.outcome == pellix::PortProbeResult::Outcome::Skipped)
            m_portsLookedAt.remove(port.devicePath);
        if (probe.outcome != pellix::PortProbeResult::Outcome::Answered || probe.imei != m_imei)
            continue;
        m_target.request.devicePath = port.devicePath;
        m_target.port = 0;
        m_target.name = port.devicePath;
        update([&](ModemMetrics &m) { m.port = port.devicePath; });
        sayOnce(QStringLiteral("found again on %1 (IMEI %2)").arg(port.devicePath, m_imei));
        return true;
    }
    return false;
}

void ExporterPoller::watchEvents()
{
    pellix::PellixGsmModem &modem = m_modem->library();
    // Messages stay on the SIM unless they are forwarded: the exporter watches, it does not
    // take them away from the application that reads them.
    modem.setAutoDelete(false);
    // An exporter killed (-9, a crash, the host's power) restores no +CNMI: what arrives then
    // must be stored, not routed to a port nobody reads. Stored first, it is also there for the
    // application that reads the SIM, and for the next start.
    modem.setStoreFirst(true);
    // The channel would end the link after its own few timeouts in a row, before --reopen-after
    // is reached; a poll that times out may cost it two (the command, and the resync before the
    // next one).
    modem.setMaxConsecutiveTimeouts(2 * m_settings.reopenAfter + 1);
    QObject::connect(&modem, &GsmModem::MessageReceived, &modem, [this](const ReceivedMessage &message) {
        if (message.SimLocation >= 0 && m_listed.contains(message.SimLocation))
            return;
        if (m_loopbackTexts.contains(message.Text)) {
            // The check's own message: received, but nobody's to forward or keep.
            update([](ModemMetrics &m) { ++m.received; });
            if (message.SimLocation >= 0)
                m_counted << message.SimLocation;
            return;
        }
        takeIn({message});
    });
    QObject::connect(&modem, &GsmModem::StatusReport, &modem, [this](const SmsStatusReport &report) {
        update([&](ModemMetrics &m) { m.countReport(report.Status); });
        // Stored first, a report would stay on the storage until it is full (the modem then
        // refuses messages too); it is of use only to the sender, who is not the exporter.
        if (report.SimLocation >= 0)
            m_counted << report.SimLocation;
    });
    QObject::connect(&modem, &GsmModem::NewStatus, &modem, [this](qint32 status) {
        // The library sets a restarted modem up again with Status 1 while it lasts.
        if (status == GsmModem::Connecting && m_status == GsmModem::Connected) {
            update([](ModemMetrics &m) {
                ++m.restarts;
                m.up = false;
            });
        } else if (status == GsmModem::Connected && m_status == GsmModem::Connecting && m_modem) {
            update([](ModemMetrics &m) { m.up = true; });
        }
        m_status = status;
    });
}

void ExporterPoller::takeIn(const QList<ReceivedMessage> &messages)
{
    // One rule for every path: a message counts once, when it is first taken in unread; a read
    // one (already seen by this or an earlier exporter, or by the application) does not.
    const auto unread = std::count_if(messages.begin(), messages.end(), [](const ReceivedMessage &m) { return m.IsNew; });
    update([&](ModemMetrics &m) { m.received += quint64(unread); });
    if (m_settings.forwardFolder.isEmpty())
        return;
    for (const ReceivedMessage &message : messages) {
        const QString first = forwardName(m_imei, message);
        QString name = first;
        if (message.SimLocation >= 0 && m_deletedAt.value(message.SimLocation) == first) {
            // The first name not taken, or the twin's own when it was written and not deleted.
            const QDir folder(m_settings.forwardFolder);
            for (int again = 2; !m_written.contains(name) && QFileInfo::exists(folder.filePath(name)); ++again)
                name = QString(first).replace(QLatin1String(".json"), QStringLiteral("-%1.json").arg(again));
        }
        bool waiting = false;
        for (QList<Pending> *list : {&m_toForward, &m_retry}) {
            for (Pending &pending : *list) {
                waiting = waiting || pending.name == name;
                // Another message at a waiting one's place: that one is gone from the SIM (a
                // delete that failed only in its answer), and deleting the place would take
                // the newcomer unwritten. It is still written if it was not.
                if (message.SimLocation >= 0 && pending.message.SimLocation == message.SimLocation && pending.name != name)
                    pending.message.SimLocation = -1;
            }
        }
        if (!waiting)
            m_toForward << Pending{message, name, first};
    }
}

void ExporterPoller::list()
{
    // What arrived while nobody watched (the exporter stopped or killed, the modem unplugged) is
    // taken in: the unread messages, which listing marks read; with a forward folder every
    // stored message, which would otherwise wait on the SIM until it is full.
    QList<ReceivedMessage> stored;
    try {
        stored = m_modem->library().ReadMessages(m_settings.forwardFolder.isEmpty() ? 1 : 0, false);
    } catch (const RaisedError &error) {
        m_listingDue = true;
        sayOnce(QStringLiteral("the stored messages cannot be read, tried again at the next interval: %1").arg(error.description()));
        return;
    }
    m_listingDue = false;
    m_quietUsed = stored.isEmpty() ? m_storedUsed : -1;
    for (const ReceivedMessage &message : stored) {
        if (message.SimLocation >= 0)
            m_listed << message.SimLocation;
    }
    takeIn(stored);
}

void ExporterPoller::open()
{
    findMoved();
    m_status = GsmModem::Disconnected;
    m_toForward.clear();
    m_retry.clear();
    m_listed.clear();
    m_counted.clear();
    m_modem = std::make_unique<LibraryCheckedModem>(m_target, m_hooks.makeModem(m_target.request));
    m_modem->setLoopbackSent([this](const QString &text, bool sent) {
        update([&](ModemMetrics &m) { ++(sent ? m.sent : m.sendFailures); });
        if (!sent)
            return;
        m_loopbackTexts << text;
        if (m_loopbackTexts.size() > 8)
            m_loopbackTexts.removeFirst();
    });
    watchEvents();
    try {
        m_modem->connect();
    } catch (const RaisedError &error) {
        m_modem.reset();
        sayOnce(QStringLiteral("cannot connect: %1").arg(error.description()));
        return;
    }
    pellix::PellixGsmModem &modem = m_modem->library();
    m_imei = modem.IMEI();
    m_timeouts = 0;
    m_portsLookedAt.clear();
    m_storedUsed = -1;
    m_quietUsed = -1;
    update([&](ModemMetrics &m) {
        m.imei = modem.IMEI();
        m.model = modem.Model();
        m.up = modem.Status() == GsmModem::Connected;
    });
    list();
    sayOnce(QStringLiteral("connected: %1").arg(m_modem->identity()));
}

void ExporterPoller::poll()
{
    update([](ModemMetrics &m) { m.polling = true; });
    pellix::PellixGsmModem &modem = m_modem->library();
    try {
        qint16 rssi = 99;
        qint16 ber = 99;
        modem.GetSignalQuality(rssi, ber);
        std::optional<pellix::NetworkFacts> network;
        try {
            network = modem.readNetwork();
        } catch (const RaisedError &error) {
            if (!isError(error, ErrorCode::NotSupported))
                throw;
        }
        QList<pellix::StorageUse> storage;
        try {
            storage = modem.readStorage();
        } catch (const RaisedError &error) {
            if (!isError(error, ErrorCode::NotSupported) && !isError(error, ErrorCode::UnexpectedAnswer))
                throw;
        }
        m_timeouts = 0;
        m_storedUsed = storage.isEmpty() ? -1 : storage.first().used;
        // A listing that came back short (a restart in its middle) heals here, not at the next
        // connection: messages on the storage the listing reads (+CPMS's first), none waiting to
        // be forwarded or deleted. Once a listing found nothing at this count, that count is left
        // alone: status reports of old, or messages the listing cannot see.
        if (!m_settings.forwardFolder.isEmpty() && m_storedUsed > 0 && m_storedUsed != m_quietUsed
            && m_toForward.isEmpty() && m_retry.isEmpty() && m_counted.isEmpty())
            m_listingDue = true;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        update([&](ModemMetrics &m) {
            m.polling = false;
            m.up = modem.Status() == GsmModem::Connected;
            m.rssi = rssi >= 0 && rssi <= 31 ? std::optional<int>(rssi) : std::nullopt;
            m.ber = ber >= 0 && ber <= 7 ? std::optional<int>(ber) : std::nullopt;
            if (network) {
                const auto best = network->best();
                m.registration = best ? best->state : pellix::RegistrationState::Unknown;
                m.accessTechnology = network->accessTechnology;
                m.operatorName = network->operatorName;
                m.operatorNumeric = network->operatorNumeric;
            }
            m.storage = storage;
            m.lastPollMs = now;
        });
        if (m_lastSaid.startsWith(QLatin1String("not answering")))
            sayOnce(QStringLiteral("answering again"));
    } catch (const RaisedError &error) {
        update([](ModemMetrics &m) { m.polling = false; });
        if (m_modem->connectionLost() || isError(error, ErrorCode::ConnectionLost) || isError(error, ErrorCode::NotConnected)) {
            lost(error.description());
        } else if (isError(error, ErrorCode::Timeout)) {
            ++m_timeouts;
            update([](ModemMetrics &m) { m.up = false; });
            sayOnce(QStringLiteral("not answering (%1 of %2 timeouts before the port is opened again)")
                        .arg(m_timeouts).arg(m_settings.reopenAfter));
            m_reopenDue = m_timeouts >= m_settings.reopenAfter;
        } else {
            // A restart that interrupted the poll, a modem that refused once: the next poll tells.
            sayOnce(QStringLiteral("poll failed: %1").arg(error.description()));
        }
    }
}

void ExporterPoller::check()
{
    if (m_settings.checkEverySeconds <= 0)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_nextCheck.isValid() && now < m_nextCheck)
        return;
    m_nextCheck = now.addSecs(m_settings.checkEverySeconds);
    KeptOpenModem modem(*m_modem);
    QList<CheckStep> steps;
    runCheckSteps(modem, m_settings.check, QDeadlineTimer(m_settings.check.deadlineMs()),
                  [&](const CheckStep &step) { steps << step; });
    const qint64 when = QDateTime::currentMSecsSinceEpoch();
    update([&](ModemMetrics &m) {
        m.check = steps;
        m.checkMs = when;
    });
    if (m_modem->connectionLost())
        lost(QStringLiteral("the connection was lost during the check"));
}

void ExporterPoller::forwardPending()
{
    QString why;
    while (m_modem && !m_toForward.isEmpty()) {
        const Pending pending = m_toForward.takeFirst();
        const ReceivedMessage &message = pending.message;
        // A file of this name holds this message whole (written to a temporary and renamed):
        // written by this run or by one killed before it deleted the message.
        const bool written = m_written.contains(pending.name)
            || QFileInfo::exists(QDir(m_settings.forwardFolder).filePath(pending.name));
        if (!written) {
            QJsonObject json = items::message(message);
            json.insert(QLatin1String("imei"), m_imei);
            json.insert(QLatin1String("port"), m_target.name);
            const QString failed = writeForwardFile(m_settings.forwardFolder, pending.name,
                                                    QJsonDocument(json).toJson(QJsonDocument::Indented));
            if (!failed.isEmpty()) {
                // Left on the SIM, and tried again at the next interval: a message is never
                // deleted unwritten.
                update([](ModemMetrics &m) { ++m.forwardFailures; });
                m_retry << pending;
                why = failed;
                continue;
            }
        }
        if (message.SimLocation < 0)
            continue;
        m_written << pending.name;
        try {
            m_modem->library().DeleteMessage(message.SimLocation);
            m_written.remove(pending.name);
            m_deletedAt.insert(message.SimLocation, pending.first);
            // The place is free for a new message, which must not pass for the listed one.
            m_listed.remove(message.SimLocation);
        } catch (const RaisedError &error) {
            m_retry << pending;
            why = QStringLiteral("written but not deleted from the SIM: %1").arg(error.description());
        }
    }
    if (!m_modem)
        return;
    if (!m_retry.isEmpty() && !m_forwardFailing) {
        m_forwardFailing = true;
        if (m_hooks.say)
            m_hooks.say(QStringLiteral("%1: forwarding fails, %2 message(s) left on the SIM and tried again every interval: %3")
                            .arg(m_target.name).arg(m_retry.size()).arg(why));
    } else if (m_retry.isEmpty() && m_forwardFailing) {
        m_forwardFailing = false;
        if (m_hooks.say)
            m_hooks.say(QStringLiteral("%1: forwarding works again").arg(m_target.name));
    }
}

void ExporterPoller::dropCounted()
{
    while (m_modem && !m_counted.isEmpty()) {
        const qint16 location = m_counted.takeFirst();
        try {
            m_modem->library().DeleteMessage(location);
        } catch (const RaisedError &error) {
            sayOnce(QStringLiteral("the counted item at %1 could not be deleted: %2").arg(location).arg(error.description()));
        }
    }
}

void ExporterPoller::lost(const QString &why)
{
    m_modem.reset();
    // Still on the SIM: the next connection reads them again.
    m_toForward.clear();
    m_retry.clear();
    update([](ModemMetrics &m) {
        ++m.connectionLosses;
        m.clearReadings();
    });
    sayOnce(QStringLiteral("connection lost: %1; opening it again every interval").arg(why));
}

void ExporterPoller::reopen()
{
    m_reopenDue = false;
    m_timeouts = 0;
    close();
    update([](ModemMetrics &m) {
        ++m.reopens;
        m.clearReadings();
    });
    sayOnce(QStringLiteral("stopped answering: the port is opened again"));
    open();
}

void ExporterPoller::close()
{
    if (!m_modem)
        return;
    // Disconnect leaves +CNMI storing: what arrives from now on waits on the SIM.
    m_modem->close();
    m_modem.reset();
    update([](ModemMetrics &m) { m.clearReadings(); });
}

} // namespace cli
