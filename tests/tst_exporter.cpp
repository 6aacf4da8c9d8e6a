// SPDX-License-Identifier: GPL-3.0-or-later
#include "exportermetrics.h"
#include "exporterpoller.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include <unistd.h>

using namespace cli;

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

private Q_SLOTS:
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
