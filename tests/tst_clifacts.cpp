// SPDX-License-Identifier: GPL-3.0-or-later
// pellix network, sim, smsc and ussd in-process on the virtual modem (on the real clock: the
// network's USSD answer comes while the library waits in the event loop): what each prints, its
// JSON, its exit status, and the usage errors that send nothing.
#include "environment.h"
#include "exitstatus.h"
#include "modem/pellixgsmmodem.h"
#include "pellixcli.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace pellix;

class TestCliFacts : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        int status = -1;
        QString out;
        QString err;
        int modemsMade = 0;
    };

    Run run(const QStringList &arguments)
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        Run result;
        cli::Environment environment;
        environment.out = &out;
        environment.err = &err;
        environment.makeModem = [&](const cli::ModemRequest &) {
            ++result.modemsMade;
            auto modem = std::make_unique<PellixGsmModem>([this](qint32, const ModemProfile &, qint16, qint32) {
                return std::make_unique<sim::VirtualModemTransport>(m_virtual);
            });
            modem->setTracePath(m_dir.filePath(QStringLiteral("Pellix.log")));
            return modem;
        };
        result.status = cli::runPellix(arguments, environment);
        result.out = QString::fromUtf8(out.data());
        result.err = QString::fromUtf8(err.data());
        return result;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<sim::VirtualModem> m_virtual;

private Q_SLOTS:
    void init() { m_virtual = std::make_shared<sim::VirtualModem>(); }

    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");   // a line the text output holds
        QTest::addColumn<QString>("field"); // "name=value" of the JSON document (run again with --json)

        QTest::newRow("network") << QStringList{"network"} << int(cli::ExitSuccess)
                                 << "Registration: home" << "registered=true";
        QTest::newRow("sim") << QStringList{"sim"} << int(cli::ExitSuccess) << "SIM: READY" << "pinState=READY";
        QTest::newRow("smsc set, read back") << QStringList{"smsc", "set", "+393359609600"} << int(cli::ExitSuccess)
                                             << "SMS centre: +393359609600 (type 145)" << "number=+393359609600";
        QTest::newRow("ussd") << QStringList{"ussd", "*100#"} << int(cli::ExitSuccess) << "USSD: done" << "status=done";
        QTest::newRow("ussd: a reply the network did not ask for is not sent")
            << QStringList{"ussd", "*100#", "--reply", "1", "--reply", "2"} << int(cli::ExitSuccess)
            << "(the network asked for no more: 2 --reply not sent)" << "cancelled=false";
        QTest::newRow("ussd --cancel alone") << QStringList{"ussd", "--cancel"} << int(cli::ExitSuccess)
                                             << "USSD: cancelled" << "cancelled=true";
        QTest::newRow("usage: no USSD code") << QStringList{"ussd", "*10a#"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: ussd without a code") << QStringList{"ussd"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: empty reply") << QStringList{"ussd", "*100#", "--reply", ""} << int(cli::ExitUsage) << ""
                                            << "";
        QTest::newRow("usage: smsc set a word") << QStringList{"smsc", "set", "centre"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: smsc set 30 digits") << QStringList{"smsc", "set", "123456789012345678901234567890"}
                                                   << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: smsc set a plus alone") << QStringList{"smsc", "set", "+"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: smsc set a service code") << QStringList{"smsc", "set", "*100#"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: smsc set nothing") << QStringList{"smsc", "set", ""} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: smsc get") << QStringList{"smsc", "get"} << int(cli::ExitUsage) << "" << "";
        QTest::newRow("usage: --force-pin without --pin") << QStringList{"--force-pin", "sim"} << int(cli::ExitUsage)
                                                          << "" << "";
        QTest::newRow("usage: --cancel on another command") << QStringList{"network", "--cancel"} << int(cli::ExitUsage)
                                                            << "" << "";
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, field);
        arguments.prepend(QStringLiteral("-1"));
        arguments.prepend(QStringLiteral("--type"));
        const Run text = run(arguments);
        QVERIFY2(text.status == status, qPrintable(text.out + text.err));
        if (status == cli::ExitUsage) {
            // Found before any modem was opened.
            QCOMPARE(text.modemsMade, 0);
            QVERIFY(text.err.startsWith(QLatin1String("pellix: usage: ")));
            return;
        }
        QVERIFY2(text.out.split(QLatin1Char('\n')).contains(out), qPrintable(text.out));
        const Run json = run(arguments << QStringLiteral("--json"));
        QCOMPARE(json.status, status);
        const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
        const QString name = field.section(QLatin1Char('='), 0, 0);
        QCOMPARE(object.value(name).toVariant().toString(), field.section(QLatin1Char('='), 1));
    }
};

QTEST_GUILESS_MAIN(TestCliFacts)
#include "tst_clifacts.moc"
