// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterscanner.h"

#include <QHash>
#include <QTest>

using namespace cli;

// exporter --all looking at the ports every interval, on port lists of the test's own.
class TestExporterScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void look_data();
    void look();
};

void TestExporterScanner::look_data()
{
    // Each look: the ports present, ';' between them. A port "COMn=path" has a COM number.
    QTest::addColumn<QStringList>("looks");
    QTest::addColumn<QStringList>("atStart");   // probed when the exporter started
    QTest::addColumn<QStringList>("watched");   // "label imei" of the modems watched
    // "path imei", "path silent", "path busy", "path after:N imei" (silent to its first N probes)
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("probes");    // the probes, in order, over every look
    QTest::addColumn<QStringList>("found");     // "path imei" found, over every look

    const QStringList modemA{QStringLiteral("/dev/ttyUSB1 111111111111111")};
    QTest::newRow("plugged in after the start: probed once, found once")
        << QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS0;/dev/ttyUSB1"), QStringLiteral("/dev/ttyS0;/dev/ttyUSB1")}
        << QStringList{QStringLiteral("/dev/ttyS0")} << QStringList{} << modemA
        << QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB1")} << modemA;
    const QStringList fortyLooks(40, QStringLiteral("/dev/ttyUSB0"));
    QTest::newRow("a device that is not a modem: probed less and less often, then never")
        << fortyLooks << QStringList{} << QStringList{} << QStringList{QStringLiteral("/dev/ttyUSB0 silent")}
        << QStringList(6, QStringLiteral("/dev/ttyUSB0")) << QStringList{};
    QTest::newRow("a modem that boots after its port appears: found when it answers")
        << QStringList(8, QStringLiteral("/dev/ttyUSB1")) << QStringList{} << QStringList{}
        << QStringList{QStringLiteral("/dev/ttyUSB1 after:2 111111111111111")}
        << QStringList(3, QStringLiteral("/dev/ttyUSB1")) << modemA;
    QTest::newRow("silent at the start: probed again")
        << QStringList(2, QStringLiteral("/dev/ttyUSB1")) << QStringList{QStringLiteral("/dev/ttyUSB1")} << QStringList{}
        << modemA << QStringList{QStringLiteral("/dev/ttyUSB1")} << modemA;
    QTest::newRow("held by another program: tried again until reached")
        << QStringList{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB1")}
        << QStringList{} << QStringList{} << QStringList{QStringLiteral("/dev/ttyUSB1 busy")}
        << QStringList{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB1")} << QStringList{};
    QTest::newRow("gone and back: probed again")
        << QStringList{QStringLiteral("/dev/ttyUSB1"), QString(), QStringLiteral("/dev/ttyUSB1")}
        << QStringList{} << QStringList{} << modemA
        << QStringList{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB1")} << modemA + modemA;
    QTest::newRow("a port a watched modem holds is never probed")
        << QStringList{QStringLiteral("COM3=/dev/ttyUSB3;/dev/ttyUSB4"), QStringLiteral("COM3=/dev/ttyUSB3;/dev/ttyUSB4")}
        << QStringList{} << QStringList{QStringLiteral("COM3 -"), QStringLiteral("/dev/ttyUSB4 -")} << QStringList{}
        << QStringList{} << QStringList{};
    QTest::newRow("a watched modem back on another port is not added twice")
        << QStringList{QStringLiteral("/dev/ttyUSB1")} << QStringList{}
        << QStringList{QStringLiteral("/dev/ttyUSB0 111111111111111")} << modemA
        << QStringList{QStringLiteral("/dev/ttyUSB1")} << QStringList{};
    QTest::newRow("two AT ports of one modem: one connection")
        << QStringList{QStringLiteral("/dev/ttyUSB0;/dev/ttyUSB2")} << QStringList{} << QStringList{}
        << QStringList{QStringLiteral("/dev/ttyUSB0 222222222222222"), QStringLiteral("/dev/ttyUSB2 222222222222222")}
        << QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB2")}
        << QStringList{QStringLiteral("/dev/ttyUSB0 222222222222222")};
}

void TestExporterScanner::look()
{
    QFETCH(QStringList, looks);
    QFETCH(QStringList, atStart);
    QFETCH(QStringList, watched);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, probes);
    QFETCH(QStringList, found);

    const auto ports = [](const QString &text) {
        QList<pellix::SerialPortDescription> list;
        for (const QString &entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pellix::SerialPortDescription port;
            port.devicePath = entry.section(QLatin1Char('='), -1);
            if (entry.startsWith(QLatin1String("COM")))
                port.comNumber = entry.section(QLatin1Char('='), 0, 0).mid(3).toInt();
            list << port;
        }
        return list;
    };
    QHash<QString, QString> answer;
    for (const QString &line : answers)
        answer.insert(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1));
    QList<ModemMetrics> modems;
    for (const QString &line : watched) {
        ModemMetrics modem;
        modem.port = line.section(QLatin1Char(' '), 0, 0);
        modem.imei = line.section(QLatin1Char(' '), 1) == QLatin1String("-") ? QString() : line.section(QLatin1Char(' '), 1);
        modems << modem;
    }

    QString present;
    QStringList probed;
    ExporterScanner scanner([&] { return ports(present); },
                            [&](const pellix::SerialPortDescription &port, qint32) {
                                probed << port.devicePath;
                                pellix::PortProbeResult result;
                                QString said = answer.value(port.devicePath, QStringLiteral("silent"));
                                if (said.startsWith(QLatin1String("after:"))) {
                                    const int silentFor = said.section(QLatin1Char(' '), 0, 0).mid(6).toInt();
                                    said = probed.count(port.devicePath) > silentFor ? said.section(QLatin1Char(' '), 1)
                                                                                      : QStringLiteral("silent");
                                }
                                if (said == QLatin1String("busy")) {
                                    result.outcome = pellix::PortProbeResult::Outcome::Skipped;
                                } else if (said != QLatin1String("silent")) {
                                    result.outcome = pellix::PortProbeResult::Outcome::Answered;
                                    result.imei = said;
                                }
                                return result;
                            },
                            115200);
    scanner.probedAlready(ports(atStart.join(QLatin1Char(';'))));
    QStringList got;
    for (const QString &look : looks) {
        present = look;
        for (const FoundModem &modem : scanner.look([&] { return modems; }))
            got << modem.port.devicePath + QLatin1Char(' ') + modem.imei;
    }
    QCOMPARE(probed, probes);
    QCOMPARE(got, found);
}

QTEST_GUILESS_MAIN(TestExporterScanner)
#include "tst_exporterscanner.moc"
