// SPDX-License-Identifier: GPL-3.0-or-later
#include "profiles/pellixini.h"
#include "transport/serialportdescription.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pellix;

Q_DECLARE_METATYPE(QList<pellix::SerialDeviceFacts>)

namespace {

SerialDeviceFacts usb(const QString &path, quint16 vendor, quint16 product, const QString &manufacturer,
                      const QString &name, const QString &serial)
{
    return SerialDeviceFacts{path, vendor, product, manufacturer, name, serial};
}

SerialDeviceFacts plain(const QString &path)
{
    SerialDeviceFacts facts;
    facts.devicePath = path;
    return facts;
}

} // namespace

// The system's facts about each port, on a machine the test describes: the devices QSerialPortInfo
// would list, udev's by-id links, [Ports] entries and the programs holding a device.
class tst_SerialPortDescription : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void machines_data();
    void machines();
    void onePortAlone();
};

void tst_SerialPortDescription::machines_data()
{
    // "$TMP" stands for a temporary folder, "$BYID" for the by-id folder inside it.
    QTest::addColumn<QList<SerialDeviceFacts>>("devices");
    QTest::addColumn<QStringList>("byIdLinks"); // "name=target"; a target "rel:" + path is written relative
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("files");     // created under $TMP; "link=target" makes a link
    QTest::addColumn<QStringList>("expected");  // "COM<n> " + describe()

    QTest::newRow("a machine without serial devices, and no by-id folder")
        << QList<SerialDeviceFacts>{} << QStringList{} << QByteArray() << QStringList{} << QStringList{};

    const QString huawei = QStringLiteral("usb-HUAWEI_Technology_HUAWEI_Mobile_0123456789-if0%1-port0");
    QTest::newRow("a USB modem's three ports, each with its stable name")
        << QList<SerialDeviceFacts>{usb("/dev/ttyUSB2", 0x12d1, 0x1506, "HUAWEI", "HUAWEI Mobile", "0123456789"),
                                    usb("/dev/ttyUSB0", 0x12d1, 0x1506, "HUAWEI", "HUAWEI Mobile", "0123456789"),
                                    usb("/dev/ttyUSB1", 0x12d1, 0x1506, "HUAWEI", "HUAWEI Mobile", "0123456789")}
        << QStringList{huawei.arg(0) + "=/dev/ttyUSB0", huawei.arg(1) + "=rel:/dev/ttyUSB1",
                       huawei.arg(2) + "=/dev/ttyUSB2", "usb-gone-if00-port0=/dev/ttyUSB9"}
        << QByteArray() << QStringList{}
        << QStringList{"COM33 /dev/ttyUSB0: USB 12d1:1506 HUAWEI Mobile, serial 0123456789, $BYID/" + huawei.arg(0),
                       "COM34 /dev/ttyUSB1: USB 12d1:1506 HUAWEI Mobile, serial 0123456789, $BYID/" + huawei.arg(1),
                       "COM35 /dev/ttyUSB2: USB 12d1:1506 HUAWEI Mobile, serial 0123456789, $BYID/" + huawei.arg(2)};

    QTest::newRow("a UART is its path; the maker joins a product that does not name it; noise is cleaned")
        << QList<SerialDeviceFacts>{plain("/dev/ttyS0"), usb("/dev/ttyACM0", 0x1bc7, 0x1201, "Telit", "LE910\tCat1\n ", "")}
        << QStringList{} << QByteArray() << QStringList{}
        << QStringList{"COM1 /dev/ttyS0", "COM65 /dev/ttyACM0: USB 1bc7:1201 Telit LE910 Cat1"};

    QTest::newRow("[Ports] through a link gets the device's facts; a device without a number comes last")
        << QList<SerialDeviceFacts>{plain("/dev/ttyAMA0"), usb("$TMP/ttyFAKE", 0x2c7c, 0x0125, "Quectel", "EG25-G", "")}
        << QStringList{} << QByteArray("[Ports]\nCOM200=$TMP/modem\nCOM7=$TMP/absent\n")
        << QStringList{"ttyFAKE", "modem=ttyFAKE"}
        << QStringList{"COM200 $TMP/modem: USB 2c7c:0125 Quectel EG25-G", "COM0 /dev/ttyAMA0"};

    QTest::newRow("a number taken over by [Ports] leaves its own device without one")
        << QList<SerialDeviceFacts>{usb("/dev/ttyUSB0", 0x12d1, 0x1506, "HUAWEI", "Mobile", "")}
        << QStringList{} << QByteArray("[Ports]\nCOM33=$TMP/pty\n") << QStringList{"pty"}
        << QStringList{"COM33 $TMP/pty", "COM0 /dev/ttyUSB0: USB 12d1:1506 HUAWEI Mobile"};

    QTest::newRow("a held port names its holders")
        << QList<SerialDeviceFacts>{usb("/dev/ttyUSB3", 0x12d1, 0x1506, "", "", "")} << QStringList{} << QByteArray()
        << QStringList{}
        << QStringList{"COM36 /dev/ttyUSB3: USB 12d1:1506; in use by ModemManager (pid 812), minicom (pid 4242)"};
}

void tst_SerialPortDescription::machines()
{
    QFETCH(QList<SerialDeviceFacts>, devices);
    QFETCH(QStringList, byIdLinks);
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const auto expand = [&](QString text) {
        return text.replace(QLatin1String("$BYID"), tmp.filePath(QStringLiteral("serial/by-id")))
            .replace(QLatin1String("$TMP"), tmp.path());
    };

    SerialMachine machine;
    for (SerialDeviceFacts &device : devices)
        device.devicePath = expand(device.devicePath);
    machine.devices = devices;
    machine.byIdFolder = tmp.filePath(QStringLiteral("serial/by-id"));
    machine.holders = [](const QString &path) {
        return path == QLatin1String("/dev/ttyUSB3")
                   ? QStringList{QStringLiteral("ModemManager (pid 812)"), QStringLiteral("minicom (pid 4242)")}
                   : QStringList{};
    };
    if (!byIdLinks.isEmpty())
        QVERIFY(QDir().mkpath(machine.byIdFolder));
    for (const QString &link : byIdLinks) {
        const QString name = link.section(QLatin1Char('='), 0, 0);
        QString target = link.section(QLatin1Char('='), 1);
        // udev writes "../../ttyUSB1": relative to the link's folder.
        if (target.startsWith(QLatin1String("rel:")))
            target = QDir(machine.byIdFolder).relativeFilePath(target.mid(4));
        QVERIFY(QFile::link(target, QDir(machine.byIdFolder).filePath(name)));
    }
    for (const QString &file : files) {
        const QString path = tmp.filePath(file.section(QLatin1Char('='), 0, 0));
        if (file.contains(QLatin1Char('='))) {
            QVERIFY(QFile::link(tmp.filePath(file.section(QLatin1Char('='), 1)), path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }

    QStringList described;
    for (const SerialPortDescription &port : describeSerialPorts(PellixIni::parse(expand(QString::fromUtf8(ini)).toUtf8()), machine))
        described << QStringLiteral("COM%1 ").arg(port.comNumber) + describe(port);
    for (QString &line : expected)
        line = expand(line);
    QCOMPARE(described, expected);
}

void tst_SerialPortDescription::onePortAlone()
{
    // What the console's tooltip asks for: one number, and nothing for a port that is not there.
    SerialMachine machine;
    machine.devices = {usb("/dev/ttyUSB1", 0x12d1, 0x1506, "HUAWEI", "HUAWEI Mobile", "77")};
    machine.byIdFolder = QStringLiteral("/nonexistent/by-id");
    QStringList asked;
    machine.holders = [&asked](const QString &path) {
        asked << path;
        return QStringList{};
    };
    const auto port = describeSerialPort(34, PellixIni(), machine);
    QVERIFY(port);
    QCOMPARE(describe(*port), QStringLiteral("/dev/ttyUSB1: USB 12d1:1506 HUAWEI Mobile, serial 77"));
    QCOMPARE(asked, QStringList{QStringLiteral("/dev/ttyUSB1")});
    QVERIFY(!describeSerialPort(33, PellixIni(), machine));
    QVERIFY(!describeSerialPort(0, PellixIni(), machine));
}

QTEST_GUILESS_MAIN(tst_SerialPortDescription)
#include "tst_serialportdescription.moc"
