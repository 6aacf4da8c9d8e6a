// SPDX-License-Identifier: GPL-3.0-or-later
#include "exportermetrics.h"
#include "exporterpoller.h"
#include "modem/pellixgsmmodem.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualsim.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTimer>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include <unistd.h>

using namespace cli;

namespace {

// An SMS-DELIVER from +15550001, "hellohello" in the GSM alphabet.
const QByteArray DeliverPdu = "0004" "0891" "51550010" "0000" "62101010000000" "0A" "E8329BFD4697D9EC37";
// The same a minute later at the service centre.
const QByteArray LaterPdu = "0004" "0891" "51550010" "0000" "62101010001000" "0A" "E8329BFD4697D9EC37";

} // namespace

Q_DECLARE_METATYPE(cli::ModemMetrics)

// The exporter's parts that need no modem: the exposition read back as Prometheus reads it and
// the forwarded message's file (the HTTP endpoint has tests of its own).
class TestExporter : public QObject
{
    Q_OBJECT

private:
    struct Sample
    {
        QString name;
        QHash<QString, QString> labels;
        QString value;
    };

    // The text format read strictly: every sample after its family's HELP and TYPE, counters
    // named _total, label values unescaped. A line it cannot read fails the test.
    static QList<Sample> parse(const QByteArray &text)
    {
        QList<Sample> samples;
        QHash<QString, QString> types;
        QSet<QString> helped;
        for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1String("# HELP "))) {
                helped << line.section(QLatin1Char(' '), 2, 2);
                continue;
            }
            if (line.startsWith(QLatin1String("# TYPE "))) {
                const QString name = line.section(QLatin1Char(' '), 2, 2);
                if (!helped.contains(name) || types.contains(name))
                    qWarning("TYPE out of place: %s", qPrintable(line));
                types.insert(name, line.section(QLatin1Char(' '), 3, 3));
                continue;
            }
            Sample sample;
            qsizetype i = 0;
            while (i < line.size() && line.at(i) != QLatin1Char('{') && line.at(i) != QLatin1Char(' '))
                sample.name += line.at(i++);
            if (i < line.size() && line.at(i) == QLatin1Char('{')) {
                ++i;
                while (i < line.size() && line.at(i) != QLatin1Char('}')) {
                    const qsizetype eq = line.indexOf(QLatin1String("=\""), i);
                    if (eq < 0)
                        return {};
                    const QString key = line.mid(i, eq - i);
                    QString value;
                    i = eq + 2;
                    while (i < line.size() && line.at(i) != QLatin1Char('"')) {
                        if (line.at(i) == QLatin1Char('\\') && i + 1 < line.size()) {
                            const QChar next = line.at(++i);
                            value += next == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : next;
                        } else {
                            value += line.at(i);
                        }
                        ++i;
                    }
                    sample.labels.insert(key, value);
                    i += 1;
                    if (i < line.size() && line.at(i) == QLatin1Char(','))
                        ++i;
                }
                ++i;
            }
            sample.value = line.mid(i).trimmed();
            const QString type = types.value(sample.name);
            if (type.isEmpty() || (type == QLatin1String("counter")) != sample.name.endsWith(QLatin1String("_total")))
                return {};
            bool number = false;
            sample.value.toDouble(&number);
            if (!number)
                return {};
            samples << sample;
        }
        return samples;
    }

    static QStringList find(const QList<Sample> &samples, const QString &name, const QString &labelKey = QString(),
                            const QString &labelValue = QString())
    {
        QStringList values;
        for (const Sample &sample : samples) {
            if (sample.name == name && (labelKey.isEmpty() || sample.labels.value(labelKey) == labelValue))
                values << sample.value;
        }
        return values;
    }

    // A poller on the in-process virtual modem, run in this thread until stopAtMs; each action
    // runs at its time (ms from the start) from the poller's own event loop; stopWhen (when set)
    // ends the run early; adjust (when set) changes the target and the hooks first. Returns the
    // metrics as they were just before the stop.
    ModemMetrics runPoller(ExporterSettings settings, const QList<std::pair<int, std::function<void()>>> &actions, int stopAtMs,
                           const std::function<bool(const ModemMetrics &)> &stopWhen = {},
                           const std::function<void(CheckTarget &, ExporterHooks &)> &adjust = {})
    {
        ExporterStore store;
        const int index = store.add(QStringLiteral("virtual 1"));
        CheckTarget target;
        target.request.modemType = -1;
        target.name = QStringLiteral("virtual 1");
        ExporterHooks hooks;
        hooks.makeModem = [this](const ModemRequest &) {
            auto modem = std::make_unique<pellix::PellixGsmModem>(
                [this](qint32, const pellix::ModemProfile &, qint16, qint32) -> std::unique_ptr<pellix::ByteTransport> {
                    auto transport = std::make_unique<pellix::sim::VirtualModemTransport>(m_virtual);
                    if (m_unplugged)
                        transport->setFault(pellix::sim::VirtualModemTransport::Fault::Unplugged);
                    m_transport = transport.get();
                    return transport;
                });
            modem->setTracePath(QString());
            return modem;
        };
        hooks.listPorts = [] { return QList<pellix::SerialPortDescription>(); };
        hooks.say = [this](const QString &line) { m_said << line; };
        if (adjust)
            adjust(target, hooks);
        std::atomic<bool> stop = false;
        ModemMetrics last;
        QList<QTimer *> timers;
        for (const auto &[at, action] : actions) {
            auto *timer = new QTimer;
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, action);
            timer->start(at);
            timers << timer;
        }
        // A timer of this run's own: one left pending after an early stop would fire into a
        // later run's stack.
        QTimer end;
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, [&] {
            if (!stop)
                last = store.snapshot().first();
            stop = true;
        });
        end.start(stopAtMs);
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            const ModemMetrics now = store.snapshot().first();
            if (!stop && stopWhen && stopWhen(now)) {
                last = now;
                stop = true;
            }
        });
        look.start(20);
        {
            ExporterPoller poller(store, index, target, std::move(settings), hooks);
            poller.run(stop);
        }
        qDeleteAll(timers);
        m_transport = nullptr;
        return last;
    }

    // The messages on the virtual modem's storage, read by a client of its own; reports: how
    // many status reports it keeps.
    QList<ReceivedMessage> stored(qsizetype *reports = nullptr)
    {
        pellix::PellixGsmModem modem([this](qint32, const pellix::ModemProfile &, qint16, qint32) {
            return std::make_unique<pellix::sim::VirtualModemTransport>(m_virtual);
        });
        modem.setTracePath(QString());
        modem.Connect(-1, 0, QString(), 0, 60, 0);
        const QList<ReceivedMessage> messages = modem.ReadMessages(0, false);
        if (reports)
            *reports = modem.ReadStatusReports(0, false).size();
        modem.Disconnect();
        return messages;
    }

    void emptySim()
    {
        pellix::PellixGsmModem modem([this](qint32, const pellix::ModemProfile &, qint16, qint32) {
            return std::make_unique<pellix::sim::VirtualModemTransport>(m_virtual);
        });
        modem.setTracePath(QString());
        modem.Connect(-1, 0, QString(), 0, 60, 0);
        modem.DeleteAllMessages();
        modem.Disconnect();
    }

    static int storageUsed(const ModemMetrics &metrics)
    {
        for (const pellix::StorageUse &use : metrics.storage) {
            if (use.storage == "SM")
                return use.used;
        }
        return -1;
    }

    std::shared_ptr<pellix::sim::VirtualModem> m_virtual;
    pellix::sim::VirtualModemTransport *m_transport = nullptr;
    bool m_unplugged = false;  // connections made now find the modem gone
    QStringList m_said;

private Q_SLOTS:
    void init()
    {
        pellix::sim::VirtualModemOptions options;
        options.seed = 11;
        // As a modem without +CSMS 1 does: a message routed to a closed port is gone.
        options.field.loseRoutedMessages = true;
        m_virtual = std::make_shared<pellix::sim::VirtualModem>(options);
        m_said.clear();
        m_unplugged = false;
    }

    // A message counts once, when the exporter first takes it in unread, and none is lost: one
    // waiting at the start and one arriving live are counted and stay stored (or are forwarded);
    // after a kill -9 (the line closes, +CNMI never restored) the one that arrived meanwhile is
    // stored, and the next start counts it and no other.
    void messagesCountedOnceAndNeverLost_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::newRow("left stored") << false;
        QTest::newRow("forwarded") << true;
    }

    void messagesCountedOnceAndNeverLost()
    {
        QFETCH(bool, forward);
        QTemporaryDir folder;
        emptySim();
        QVERIFY(m_virtual->incomingMessage(DeliverPdu));
        ExporterSettings settings;
        // The live one arrives within the first interval, while the connection's listing is
        // still remembered: in forward mode at the place the listed one left free.
        settings.intervalMs = 1000;
        if (forward)
            settings.forwardFolder = folder.path();
        const auto inject = [this] { QVERIFY(m_virtual->incomingMessage(DeliverPdu)); };
        const auto kill = [this] {
            if (m_transport)
                m_transport->setFault(pellix::sim::VirtualModemTransport::Fault::Unplugged);
        };
        const ModemMetrics first = runPoller(settings, {{500, inject}, {2600, kill}}, 2600);
        QCOMPARE(first.received, quint64(2));
        QCOMPARE(storageUsed(first), forward ? 0 : 2);
        // Alike in every octet, at the place of one forwarded before the stop, it would pass for
        // that one (see forwardName); a message that comes later has a later time stamp.
        QVERIFY(m_virtual->incomingMessage(LaterPdu));

        const ModemMetrics second = runPoller(settings, {}, 1000);
        QCOMPARE(second.received, quint64(1));
        const QList<ReceivedMessage> left = stored();
        QCOMPARE(left.size(), forward ? 0 : 3);
        QVERIFY(std::none_of(left.begin(), left.end(), [](const ReceivedMessage &m) { return m.IsNew; }));
        if (forward)
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
    }

    // A forward that fails is tried again every interval while connected, not in a loop, and each
    // message is written once when the folder is back, then deleted from the SIM; the log says
    // when forwarding starts failing and when it works again, not a line per message and try.
    void failedForwardTriedAgainEachInterval()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("out"));
        emptySim();
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_virtual->incomingMessage(DeliverPdu));
        ExporterSettings settings;
        settings.intervalMs = 200;
        settings.forwardFolder = folder;
        const ModemMetrics metrics = runPoller(settings, {{1100, [&] {
                                                               QVERIFY(QDir().mkpath(folder));
                                                           }}},
                                               1900);
        QVERIFY2(metrics.forwardFailures >= 2 * 3 && metrics.forwardFailures <= 8 * 3,
                 QByteArray::number(metrics.forwardFailures).constData());
        QCOMPARE(metrics.received, quint64(3));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3);
        QCOMPARE(stored().size(), 0);
        const QStringList failing = m_said.filter(QStringLiteral("forwarding fails"));
        QCOMPARE(failing.size(), 1);
        QVERIFY2(failing.first().contains(QStringLiteral("3 message(s)")), qPrintable(failing.first()));
        QCOMPARE(m_said.filter(QStringLiteral("forwarding works again")).size(), 1);
        QCOMPARE(m_said.filter(QStringLiteral("not forwarded")).size(), 0);
    }

    // Each message is one file, however its forward is interrupted: a delete that fails (a
    // restart under +CMGD) is tried again and the message not written twice; an exporter stopped
    // between the write and the delete writes nothing new at its next start, it only deletes; a
    // connection-time listing cut by a restart is tried again at the next interval; a message on
    // the storage that no listing or indication brought is listed once a poll sees it there.
    void forwardedOnceWhateverFails_data()
    {
        QTest::addColumn<QByteArray>("restartOn");
        QTest::addColumn<int>("restartCount");
        QTest::addColumn<bool>("startedAgain");
        QTest::addColumn<bool>("storedUnseen");
        QTest::newRow("delete fails once") << QByteArray("+CMGD") << 1 << false << false;
        QTest::newRow("stopped before the delete") << QByteArray("+CMGD") << 0 << true << false;
        QTest::newRow("listing fails at the connection") << QByteArray("+CMGL") << 1 << false << false;
        QTest::newRow("stored unseen") << QByteArray() << 0 << false << true;
    }

    void forwardedOnceWhateverFails()
    {
        QFETCH(QByteArray, restartOn);
        QFETCH(int, restartCount);
        QFETCH(bool, startedAgain);
        QFETCH(bool, storedUnseen);
        QTemporaryDir folder;
        emptySim();
        QVERIFY(m_virtual->incomingMessage(DeliverPdu));
        QVERIFY(m_virtual->incomingMessage(DeliverPdu));
        // Read ones: forwarded all the same, but no restart recovery hands them over as new.
        QCOMPARE(stored().size(), 2);
        pellix::sim::MessageStore *sim = m_virtual->sim().store("SM");
        QVERIFY(sim && !sim->items().empty());
        const pellix::sim::StoredMessage copy = sim->items().begin()->second;
        const auto unseen = [&] {
            // Away from the places the forwarded ones left: the same message at the same place
            // would be theirs again, and only deleted.
            if (storedUnseen)
                sim->items()[7] = copy;
        };
        if (!restartOn.isEmpty())
            m_virtual->field().restartOn = {restartOn};
        m_virtual->field().restartCount = restartCount;
        m_virtual->field().restartSilenceMs = 300;
        ExporterSettings settings;
        settings.intervalMs = 200;
        settings.forwardFolder = folder.path();
        const int files = storedUnseen ? 3 : 2;
        const std::function<bool(const ModemMetrics &)> forwarded = [&](const ModemMetrics &m) {
            return storageUsed(m) == 0 && QDir(folder.path()).entryList(QDir::Files).size() >= files;
        };
        // After the first interval, when the connection's listing is done with.
        ModemMetrics metrics = runPoller(settings, {{700, unseen}}, startedAgain ? 2500 : 8000,
                                         startedAgain ? std::function<bool(const ModemMetrics &)>() : forwarded);
        if (startedAgain) {
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2);
            m_virtual->field().restartOn.clear();
            metrics = runPoller(settings, {}, 8000, forwarded);
        }
        QCOMPARE(storageUsed(metrics), 0);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), files);
        QCOMPARE(stored().size(), 0);
    }

    // A modem unplugged for a while is looked for by its IMEI on the other serial ports: each
    // one asked once, then only the ports that appear, not a GPS every interval.
    void lostModemAsksEachPortOnce()
    {
        QList<pellix::SerialPortDescription> ports(1);
        ports[0].devicePath = QStringLiteral("/dev/ttyUSB9");
        QStringList probed;
        ExporterSettings settings;
        settings.intervalMs = 100;
        const auto unplug = [this] {
            m_unplugged = true;
            if (m_transport)
                m_transport->setFault(pellix::sim::VirtualModemTransport::Fault::Unplugged);
        };
        const auto plugAnother = [&] {
            pellix::SerialPortDescription another;
            another.devicePath = QStringLiteral("/dev/ttyUSB10");
            ports << another;
        };
        const ModemMetrics metrics = runPoller(settings, {{300, unplug}, {900, plugAnother}}, 1500, {},
                                               [&](CheckTarget &target, ExporterHooks &hooks) {
                                                   target.request.modemType = ModemRequest::StandardModemType;
                                                   target.request.devicePath = QStringLiteral("/nonexistent/by-id/modem");
                                                   hooks.listPorts = [&] { return ports; };
                                                   hooks.probePort = [&](const pellix::SerialPortDescription &port, qint32) {
                                                       probed << port.devicePath;
                                                       return pellix::PortProbeResult();
                                                   };
                                               });
        QCOMPARE(metrics.connectionLosses, quint64(1));
        QCOMPARE(probed, (QStringList{QStringLiteral("/dev/ttyUSB9"), QStringLiteral("/dev/ttyUSB10")}));
    }

    // --reopen-after N is reached for any N: the channel does not give the link up first, and
    // the reopen is counted, not a lost connection.
    void reopenAfterNTimeouts_data()
    {
        QTest::addColumn<int>("reopenAfter");
        QTest::newRow("1") << 1;
        QTest::newRow("3, the channel's own limit") << 3;
        QTest::newRow("5, past it") << 5;
    }

    void reopenAfterNTimeouts()
    {
        QFETCH(int, reopenAfter);
        ExporterSettings settings;
        settings.intervalMs = 100;
        settings.reopenAfter = reopenAfter;
        const auto hang = [&] {
            if (m_transport)
                m_transport->setFault(pellix::sim::VirtualModemTransport::Fault::Silent);
        };
        const ModemMetrics metrics = runPoller(settings, {{300, hang}}, 60000, [](const ModemMetrics &m) {
            return m.reopens > 0 || m.connectionLosses > 0;
        });
        QCOMPARE(metrics.reopens, quint64(1));
        QCOMPARE(metrics.connectionLosses, quint64(0));
        // Not one timeout fewer than N.
        QCOMPARE(m_said.filter(QStringLiteral("not answering")).size(), reopenAfter);
    }

    // With --loopback each check sends one message to the modem's own number: counted as sent,
    // its report and its return counted, and both deleted, never forwarded or kept.
    void loopbackCountedAndNotKept_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::newRow("left stored") << false;
        QTest::newRow("forwarded") << true;
    }

    void loopbackCountedAndNotKept()
    {
        QFETCH(bool, forward);
        QTemporaryDir folder;
        emptySim();
        ExporterSettings settings;
        settings.intervalMs = 200;
        settings.checkEverySeconds = 600;
        settings.loopback = true;
        settings.check.withinSeconds = 20;
        if (forward)
            settings.forwardFolder = folder.path();
        const ModemMetrics metrics = runPoller(settings, {}, 30000, [](const ModemMetrics &m) {
            return m.checkMs > 0 && m.received > 0 && storageUsed(m) == 0;
        });
        QCOMPARE(metrics.sent, quint64(1));
        QCOMPARE(metrics.sendFailures, quint64(0));
        QCOMPARE(metrics.delivered, quint64(1));
        QCOMPARE(metrics.received, quint64(1));
        const auto loopback = std::find_if(metrics.check.begin(), metrics.check.end(),
                                           [](const CheckStep &step) { return step.name == QLatin1String("loopback"); });
        QVERIFY(loopback != metrics.check.end());
        QCOMPARE(loopback->verdict, CheckVerdict::Pass);
        qsizetype reports = -1;
        QCOMPARE(stored(&reports).size(), 0);
        QCOMPARE(reports, qsizetype(0));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 0);
    }

    // Each row: a modem's state, then the samples that must read back (name, label, values in
    // order; none: the series must be absent).
    void exposition_data()
    {
        QTest::addColumn<ModemMetrics>("modem");
        QTest::addColumn<bool>("withChecks");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("labelKey");
        QTest::addColumn<QString>("labelValue");
        QTest::addColumn<QString>("value");

        ModemMetrics fresh;
        fresh.port = QStringLiteral("COM5");
        QTest::newRow("never connected: down") << fresh << false << "pellix_modem_up" << "port" << "COM5" << "0";
        QTest::newRow("never connected: no signal") << fresh << false << "pellix_modem_signal_rssi" << "" << "" << "";
        QTest::newRow("never connected: no registration") << fresh << false << "pellix_modem_registration_state" << "" << "" << "";
        QTest::newRow("never connected: counters zero") << fresh << false << "pellix_modem_sms_received_total" << "" << "" << "0";

        ModemMetrics live = fresh;
        live.imei = QStringLiteral("490154203237518");
        live.model = QStringLiteral("MC7455");
        live.up = true;
        live.rssi = 31;
        live.ber = 0;
        live.registration = pellix::RegistrationState::Roaming;
        live.accessTechnology = 7;
        live.operatorName = QStringLiteral("Test Net");
        live.operatorNumeric = QStringLiteral("00101");
        live.received = 12;
        live.countReport(0);
        live.countReport(0x21);
        live.countReport(0x41);
        live.countReport(0x45);
        live.lastPollMs = 1700000000123;
        QTest::newRow("rssi 31 is -51 dBm") << live << false << "pellix_modem_signal_dbm" << "imei" << "490154203237518" << "-51";
        QTest::newRow("ber 0 is given") << live << false << "pellix_modem_signal_ber" << "model" << "MC7455" << "0";
        QTest::newRow("roaming is current") << live << false << "pellix_modem_registration_state" << "state" << "roaming" << "1";
        QTest::newRow("home is not") << live << false << "pellix_modem_registration_state" << "state" << "home" << "0";
        QTest::newRow("lte") << live << false << "pellix_modem_access_technology" << "technology" << "lte" << "1";
        QTest::newRow("operator") << live << false << "pellix_modem_operator_info" << "mccmnc" << "00101" << "1";
        QTest::newRow("received") << live << false << "pellix_modem_sms_received_total" << "" << "" << "12";
        QTest::newRow("reports delivered") << live << false << "pellix_modem_status_reports_total" << "outcome" << "delivered" << "1";
        QTest::newRow("reports pending") << live << false << "pellix_modem_status_reports_total" << "outcome" << "pending" << "1";
        QTest::newRow("reports failed") << live << false << "pellix_modem_status_reports_total" << "outcome" << "failed" << "2";
        live.storage = {{"SM", 3, 30}, {"SM", 3, 30}, {"ME", 0, 100}};
        QTest::newRow("storage named once per storage") << live << false << "pellix_modem_sms_storage_used" << "storage" << "SM" << "3";
        QTest::newRow("storage capacity") << live << false << "pellix_modem_sms_storage_capacity" << "storage" << "ME" << "100";
        QTest::newRow("never connected: no storage") << fresh << false << "pellix_modem_sms_storage_used" << "" << "" << "";
        QTest::newRow("last poll in seconds") << live << false << "pellix_modem_last_poll_timestamp_seconds" << "" << "" << "1700000000.123";

        ModemMetrics odd = live;
        odd.operatorName = QStringLiteral("Say \"hi\"\\ back\nnow");
        odd.rssi.reset();
        odd.accessTechnology = -1;
        QTest::newRow("label escaped and read back") << odd << false << "pellix_modem_operator_info" << "operator" << odd.operatorName << "1";
        QTest::newRow("rssi 99 is absent") << odd << false << "pellix_modem_signal_dbm" << "" << "" << "";
        QTest::newRow("unknown technology is absent") << odd << false << "pellix_modem_access_technology" << "" << "" << "";

        ModemMetrics checked = live;
        CheckStep step;
        step.name = QStringLiteral("registered");
        step.verdict = CheckVerdict::Fail;
        checked.check << step;
        checked.checkMs = 1700000001000;
        QTest::newRow("check verdict") << checked << true << "pellix_modem_check_step" << "verdict" << "fail" << "1";
        QTest::newRow("check other verdicts") << checked << true << "pellix_modem_check_step" << "verdict" << "pass" << "0";
        step.name = QStringLiteral("port answers AT");
        step.verdict = CheckVerdict::Pass;
        checked.check << step;
        QTest::newRow("step named as a query names it") << checked << true << "pellix_modem_check_step" << "step" << "port_answers_at" << "1,0,0";
        QTest::newRow("no check without --check-every") << checked << false << "pellix_modem_check_step" << "" << "" << "";
    }

    void exposition()
    {
        QFETCH(ModemMetrics, modem);
        QFETCH(bool, withChecks);
        QFETCH(QString, name);
        QFETCH(QString, labelKey);
        QFETCH(QString, labelValue);
        QFETCH(QString, value);
        const QByteArray text = cli::exposition({modem}, QStringLiteral("2.6.0"), withChecks);
        const QList<Sample> samples = parse(text);
        QVERIFY2(!samples.isEmpty(), text.constData());
        QCOMPARE(find(samples, QStringLiteral("pellix_exporter_build_info"), QStringLiteral("version"), QStringLiteral("2.6.0")),
                 QStringList{QStringLiteral("1")});
        QCOMPARE(find(samples, QStringLiteral("pellix_exporter_modems")), QStringList{QStringLiteral("1")});
        const QStringList found = find(samples, name, labelKey, labelValue);
        if (value.isEmpty())
            QVERIFY2(found.isEmpty(), text.constData());
        else
            QCOMPARE(found.join(QLatin1Char(',')), value);
    }

    // A message's file is there whole or not at all, and a failure is said (the caller then
    // leaves the message on the SIM).
    void writeForwardFile_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("written");
        QTest::newRow("folder") << "" << true;
        QTest::newRow("missing folder") << "missing" << false;
        QTest::newRow("read-only folder") << "readonly" << false;
        QTest::newRow("a file, not a folder") << "file" << false;
        // A disk that fills: the write fails past the first bytes (a file-size limit stands in for
        // the full disk, and binds root too).
        QTest::newRow("disk full") << "full" << false;
    }

    void writeForwardFile()
    {
        QFETCH(QString, where);
        QFETCH(bool, written);
        QTemporaryDir dir;
        QString folder = dir.path();
        if (where == QLatin1String("missing")) {
            folder = dir.filePath(QStringLiteral("missing"));
        } else if (where == QLatin1String("readonly")) {
            if (::geteuid() == 0)
                QSKIP("root writes into a read-only folder");
            folder = dir.filePath(QStringLiteral("ro"));
            QDir().mkdir(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        } else if (where == QLatin1String("file")) {
            folder = dir.filePath(QStringLiteral("plain"));
            QFile plain(folder);
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        if (where == QLatin1String("full")) {
            rlimit tight = saved;
            tight.rlim_cur = 4;
            ::setrlimit(RLIMIT_FSIZE, &tight);
        }
        const QString why = cli::writeForwardFile(folder, QStringLiteral("m.json"), "{\"text\": \"hi\"}\n");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QCOMPARE(why.isEmpty(), written);
        if (written) {
            QFile file(QDir(folder).filePath(QStringLiteral("m.json")));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("{\"text\": \"hi\"}\n"));
        }
        if (QFileInfo(folder).isDir()) {
            // No temporary file is left behind, written or not.
            const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(left, written ? QStringList{QStringLiteral("m.json")} : QStringList());
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_MAIN(TestExporter)
#include "tst_exporter.moc"
