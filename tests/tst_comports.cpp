// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "profiles/pellixini.h"
#include "transport/comports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace pellix;

namespace {

PellixIni iniOf(const QByteArray &text)
{
    return PellixIni::parse(text, QStringLiteral("/test/Pellix.ini"));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class tst_ComPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberOfDevice_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("com");
        QTest::newRow("first UART is COM1") << "/dev/ttyS0" << 1;
        QTest::newRow("last UART of its block") << "/dev/ttyS31" << 32;
        QTest::newRow("first USB serial follows the UARTs") << "/dev/ttyUSB0" << 33;
        QTest::newRow("USB serial 4") << "/dev/ttyUSB4" << 37;
        QTest::newRow("last USB serial") << "/dev/ttyUSB31" << 64;
        QTest::newRow("first CDC-ACM") << "/dev/ttyACM0" << 65;
        QTest::newRow("last CDC-ACM") << "/dev/ttyACM31" << 96;
        QTest::newRow("first rfcomm") << "/dev/rfcomm0" << 97;
        QTest::newRow("last rfcomm") << "/dev/rfcomm31" << 128;
        QTest::newRow("UART beyond its block has no number") << "/dev/ttyS32" << 0;
        QTest::newRow("USB beyond its block has no number") << "/dev/ttyUSB32" << 0;
        QTest::newRow("zero-padded index is not a kernel name") << "/dev/ttyS01" << 0;
        QTest::newRow("name without index") << "/dev/ttyUSB" << 0;
        QTest::newRow("index with letters") << "/dev/ttyACM1a" << 0;
        QTest::newRow("signed index") << "/dev/ttyS+1" << 0;
        QTest::newRow("pseudo-terminal") << "/dev/pts/3" << 0;
        QTest::newRow("by-id link is not resolved") << "/dev/serial/by-id/usb-Huawei-if00" << 0;
        QTest::newRow("other folder") << "/tmp/ttyS0" << 0;
    }
    void numberOfDevice()
    {
        QFETCH(QString, device);
        QFETCH(int, com);
        QCOMPARE(comNumberForDevice(device), com);
    }

    void numberingRoundTrips()
    {
        const PellixIni none;
        for (int n = 1; n <= comports::LastNumbered; ++n) {
            const QString path = devicePathForCom(n, none);
            QCOMPARE(comNumberForDevice(path), n);
        }
        QCOMPARE(devicePathForCom(3, none), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(devicePathForCom(37, none), QStringLiteral("/dev/ttyUSB4"));
        QCOMPARE(devicePathForCom(65, none), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(devicePathForCom(128, none), QStringLiteral("/dev/rfcomm31"));
    }

    void outOfRange_data()
    {
        QTest::addColumn<int>("com");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the numbering") << 129;
        QTest::newRow("largest 16-bit") << 32767;
    }
    void outOfRange()
    {
        QFETCH(int, com);
        try {
            devicePathForCom(com, iniOf("[Ports]\nCOM130=/dev/ttyUSB0\n"));
            QFAIL("no error raised");
        } catch (const RaisedError &e) {
            QCOMPARE(e.number(), code(ErrorCode::InvalidArgument));
            QVERIFY2(e.description().contains(QStringLiteral("COM%1 ").arg(com)), qPrintable(e.description()));
        }
    }

    void overrides_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("com");
        QTest::addColumn<QString>("device");
        QTest::newRow("override replaces the numbering")
            << QByteArray("[Ports]\nCOM3=/dev/ttyUSB7\n") << 3 << "/dev/ttyUSB7";
        QTest::newRow("numbering where no override")
            << QByteArray("[Ports]\nCOM3=/dev/ttyUSB7\n") << 4 << "/dev/ttyS3";
        QTest::newRow("comma in path is kept")
            << QByteArray("[Ports]\nCOM5=/dev/serial/by-path/pci-0000:00:14.0-usb-0:1,2:1.0-port0\n") << 5
            << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1,2:1.0-port0";
        QTest::newRow("percent sign is not an escape")
            << QByteArray("[Ports]\nCOM6=/tmp/modem%20one%\n") << 6 << "/tmp/modem%20one%";
        QTest::newRow("blanks and quotes around the path")
            << QByteArray("[Ports]\n  COM7 =  \"/dev/odd name\"  \n") << 7 << "/dev/odd name";
        QTest::newRow("key and section in any case")
            << QByteArray("[ports]\ncom8=/dev/ttyACM4\n") << 8 << "/dev/ttyACM4";
        QTest::newRow("numbers above the numbering")
            << QByteArray("[Ports]\nCOM200=/dev/pts/7\n") << 200 << "/dev/pts/7";
        QTest::newRow("first entry of a number wins")
            << QByteArray("[Ports]\nCOM9=/dev/first\nCOM9=/dev/second\n") << 9 << "/dev/first";
        QTest::newRow("relative path is ignored")
            << QByteArray("[Ports]\nCOM10=ttyUSB3\n") << 10 << "/dev/ttyS9";
        QTest::newRow("entry of another section does not count")
            << QByteArray("[Modem]\nCOM11=/dev/ttyUSB1\n[Ports]\n") << 11 << "/dev/ttyS10";
        QTest::newRow("keys of a broken header do not count")
            << QByteArray("[Ports]\n[Modem\nCOM12=/dev/ttyUSB1\n") << 12 << "/dev/ttyS11";
        QTest::newRow("CRLF line ends and byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Ports]\r\nCOM13=/dev/ttyUSB2\r\n") << 13 << "/dev/ttyUSB2";
        QTest::newRow("commented entry is ignored")
            << QByteArray("[Ports]\n;COM14=/dev/ttyUSB2\n# COM14=/dev/ttyUSB3\n") << 14 << "/dev/ttyS13";
    }
    void overrides()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, com);
        QFETCH(QString, device);
        QCOMPARE(devicePathForCom(com, iniOf(ini)), device);
    }

    void invalidOverrideKeysAreIgnored()
    {
        const QMap<int, QString> map = portOverrides(
            iniOf("[Ports]\nCOM=/dev/a\nCOM0=/dev/b\nCOMx=/dev/c\nCOM32768=/dev/d\nPort3=/dev/e\nCOM-1=/dev/f\nCOM15=/dev/g\n"));
        QCOMPARE(map.keys(), QList<int>{15});
    }

    void presentPorts_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("numbered devices, ascending and unique")
            << QStringList{"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/rfcomm1"} << QList<int>{1, 33, 98};
        QTest::newRow("unnumbered devices are left out")
            << QStringList{"/dev/ttyS40", "/dev/pts/1", "/dev/ttyACM2"} << QList<int>{67};
        QTest::newRow("nothing present") << QStringList{} << QList<int>{};
    }
    void presentPorts()
    {
        QFETCH(QStringList, present);
        QFETCH(QList<int>, expected);
        QCOMPARE(comPorts(PellixIni(), present), expected);
    }

    void overridesCountWhenTheirDeviceExists()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString there = dir.filePath(QStringLiteral("modem,one%"));
        writeFile(there, "");
        const QByteArray text = "[Ports]\nCOM2=" + there.toUtf8() + "\nCOM300=" + there.toUtf8()
            + "\nCOM4=" + dir.filePath(QStringLiteral("missing")).toUtf8() + "\n";
        const PellixIni ini = iniOf(text);
        // COM4 is present by the numbering (/dev/ttyS3) but taken over by a missing device.
        QCOMPARE(comPorts(ini, {"/dev/ttyS3", "/dev/ttyS5"}), (QList<int>{2, 6, 300}));
    }

    void systemPortsFollowTheNumbering()
    {
        // Whatever this machine has: every listed device with a number appears under it.
        const QList<int> ports = comPorts(PellixIni());
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            const int n = comNumberForDevice(info.systemLocation());
            if (n != 0)
                QVERIFY2(ports.contains(n), qPrintable(info.systemLocation()));
        }
        QVERIFY(std::is_sorted(ports.cbegin(), ports.cend()));
    }

    void iniLocation_data()
    {
        QTest::addColumn<bool>("userFileExists");
        QTest::addColumn<bool>("expectUser");
        QTest::newRow("user file first") << true << true;
        QTest::newRow("beside the executable otherwise") << false << false;
    }
    void iniLocation()
    {
        QFETCH(bool, userFileExists);
        QFETCH(bool, expectUser);
        QTemporaryDir config;
        QTemporaryDir app;
        QVERIFY(config.isValid() && app.isValid());
        const QString user = config.filePath(QStringLiteral("Pellix/Pellix.ini"));
        if (userFileExists) {
            QVERIFY(QDir(config.path()).mkpath(QStringLiteral("Pellix")));
            writeFile(user, "[Ports]\n");
        }
        const QString expected = expectUser ? user : app.filePath(QStringLiteral("Pellix.ini"));
        QCOMPARE(PellixIni::locate(config.path(), app.path()), expected);
    }

    void defaultLocationHonoursXdgConfigHome()
    {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString fallback = PellixIni::defaultPath();
        QVERIFY(QDir(config.path()).mkpath(QStringLiteral("Pellix")));
        writeFile(config.filePath(QStringLiteral("Pellix/Pellix.ini")), "[Ports]\nCOM3=/dev/user\n");
        const QString found = PellixIni::defaultPath();
        const QString viaDefault = devicePathForCom(3);
        if (had)
            qputenv("XDG_CONFIG_HOME", saved);
        else
            qunsetenv("XDG_CONFIG_HOME");

        QCOMPARE(fallback, QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Pellix.ini")));
        QCOMPARE(found, config.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QCOMPARE(viaDefault, QStringLiteral("/dev/user"));
    }

    void missingOrBadFile()
    {
        QTemporaryDir dir;
        const PellixIni missing = PellixIni::load(dir.filePath(QStringLiteral("none.ini")));
        QVERIFY(!missing.exists());
        QVERIFY(missing.errorText().isEmpty());
        QCOMPARE(devicePathForCom(1, missing), QStringLiteral("/dev/ttyS0"));

        const QString big = dir.filePath(QStringLiteral("big.ini"));
        writeFile(big, QByteArray(PellixIni::MaxFileBytes + 1, 'x'));
        const PellixIni oversized = PellixIni::load(big);
        QVERIFY(!oversized.exists());
        QVERIFY(!oversized.errorText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ComPorts)
#include "tst_comports.moc"
