// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "profiles/modemprofile.h"
#include "profiles/pellixini.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace pellix;

namespace {

// The modem-type codes of the console's list, in its order.
const QList<qint32> ConsoleCodes{-1, 1, 10, 5, 15, 8, 3, 40, 41, 42, 43, 45, 46, 61, 62, 63, 65, 4, 7, 12, 2, 0};

PellixIni iniOf(const QByteArray &text)
{
    return PellixIni::parse(text, QStringLiteral("/home/op/.config/Pellix/Pellix.ini"));
}

QList<int> cnmiFields(const QByteArray &cnmi)
{
    QList<int> fields;
    for (const QByteArray &f : cnmi.split(','))
        fields.append(f.toInt());
    return fields;
}

QString raisedText(const std::function<void()> &call, qint32 &number)
{
    try {
        call();
    } catch (const RaisedError &e) {
        number = e.number();
        return e.description();
    }
    number = 0;
    return QString();
}

} // namespace

class tst_ModemProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyConsoleCodeHasAProfile_data()
    {
        QTest::addColumn<qint32>("code");
        for (qint32 code : ConsoleCodes)
            if (code != 0)
                QTest::addRow("type %d", code) << code;
    }
    void everyConsoleCodeHasAProfile()
    {
        QFETCH(qint32, code);
        const ModemProfile p = modemProfile(code);
        QCOMPARE(p.code, code);
        QVERIFY(!p.name.isEmpty());
        QVERIFY(p.baudRate > 0);
        static const QRegularExpression storage(QStringLiteral("^[A-Z]{2}$"));
        for (const QByteArray &s : {p.messageStorage, p.writeStorage, p.receiveStorage, p.reportStorage, p.phonebookStorage})
            QVERIFY2(storage.match(QString::fromLatin1(s)).hasMatch(), s.constData());
        for (const QByteArray &line : p.initCommands + p.optionalInitCommands)
            QVERIFY2(line.toUpper().startsWith("AT") && !line.contains('\r'), line.constData());

        // The +CNMI settings must be well formed, and each must do what its receive mode means.
        static const QRegularExpression cnmi(QStringLiteral("^[0-3](,[0-3]){4}$"));
        QVERIFY(cnmi.match(QString::fromLatin1(p.cnmiLive)).hasMatch());
        QVERIFY(cnmi.match(QString::fromLatin1(p.cnmiStored)).hasMatch());
        const QList<int> live = cnmiFields(p.cnmiLive);
        const QList<int> stored = cnmiFields(p.cnmiStored);
        QCOMPARE(stored[1], 1);                  // stay on storage: stored and indicated, never routed away
        QVERIFY(live[1] == 1 || live[1] == 2);   // live: routed, or indicated and fetched
        QVERIFY(live[0] != 0 && stored[0] != 0); // mode 0 would keep every indication in the modem
        if (p.cnmaRequired)
            QVERIFY(live[1] == 2 || live[3] == 1);
        QVERIFY(p.cmeeMode == 1 || p.cmeeMode == 2);
        QVERIFY(p.commandTimeoutMs > 0 && p.listTimeoutMs >= p.commandTimeoutMs);
    }

    void listMatchesTheConsole()
    {
        QCOMPARE(modemTypeCodes(), ConsoleCodes);
        QCOMPARE(modemProfile(-1).name, QStringLiteral("No modem (use simulator)"));
        QCOMPARE(modemProfile(3).name, QStringLiteral("Nokia old phones (Nokia OS)"));
        QCOMPARE(modemProfile(0, iniOf("[Modem]\nEcho=0\n")).name, QStringLiteral("Others (profile in Pellix.ini)"));
    }

    void unknownCode_data()
    {
        QTest::addColumn<qint32>("code");
        QTest::newRow("gap in the Nokia codes") << 44;
        QTest::newRow("S60 4th edition does not exist") << 64;
        QTest::newRow("small unknown") << 9;
        QTest::newRow("negative other than the simulator") << -2;
        QTest::newRow("large") << 100000;
    }
    void unknownCode()
    {
        QFETCH(qint32, code);
        qint32 number = 0;
        const QString text = raisedText([code]() { modemProfile(code, PellixIni()); }, number);
        QCOMPARE(number, ::code(ErrorCode::UnknownModemType));
        QVERIFY2(text.contains(QStringLiteral("modem type %1;").arg(code)), qPrintable(text));
    }

    void iniProfileWithEveryKey()
    {
        const ModemProfile p = modemProfile(0, iniOf(
            "[Modem]\n"
            "Name=Bench modem, rev. 2 (100%)\n"
            "BaudRate=57600\n"
            "Init10=AT+CSCS=\"GSM\"\n"
            "Init2=AT+CPMS=\"SM\",\"SM\",\"SM\";+CMGF=0\n"
            "Init1=AT&F\n"
            "OptionalInit1=AT^CURC=0\n"
            "Echo=yes\n"
            "SlowWrite=1\n"
            "MessageStorage=me\n"
            "WriteStorage=SM\n"
            "ReportStorage=SR\n"
            "CnmiLive=2,2,0,1,0\n"
            "CnmiStored=1,1,0,2,1\n"
            "Cnma=1\n"
            "PhonebookStorage=ME\n"
            "Cmee=2\n"
            "CpinWithoutOk=on\n"
            "CpmsWithoutOk=true\n"
            "NoCgmr=1\n"
            "IdentitySpaces=1\n"
            "CommandTimeout=12\n"
            "ListTimeout=90\n"));
        QCOMPARE(p.code, 0);
        QCOMPARE(p.name, QStringLiteral("Bench modem, rev. 2 (100%)"));
        QCOMPARE(p.baudRate, 57600);
        QCOMPARE(p.initCommands,
                 (QList<QByteArray>{"AT&F", "AT+CPMS=\"SM\",\"SM\",\"SM\";+CMGF=0", "AT+CSCS=\"GSM\""}));
        QCOMPARE(p.optionalInitCommands, QList<QByteArray>{"AT^CURC=0"});
        QVERIFY(p.echo && p.slowWrite && p.cnmaRequired);
        QCOMPARE(p.cpmsArguments(), QByteArray("\"ME\",\"SM\",\"ME\""));
        QCOMPARE(p.reportStorage, QByteArray("SR"));
        QCOMPARE(p.cnmiLive, QByteArray("2,2,0,1,0"));
        QCOMPARE(p.cnmiStored, QByteArray("1,1,0,2,1"));
        QCOMPARE(p.phonebookStorage, QByteArray("ME"));
        QCOMPARE(p.cmeeMode, 2);
        QVERIFY(p.cpinWithoutOk && p.cpmsWithoutOk && p.cgmrUnsupported && p.identitySpaces);
        QCOMPARE(p.commandTimeoutMs, 12000);
        QCOMPARE(p.listTimeoutMs, 90000);
    }

    void iniProfileDefaults()
    {
        const ModemProfile defaults;
        const ModemProfile p = modemProfile(0, iniOf("; my modem\n[modem]\nmessagestorage=MT\n"));
        QCOMPARE(p.name, QStringLiteral("Others (profile in Pellix.ini)"));
        QCOMPARE(p.baudRate, 115200);
        QVERIFY(p.initCommands.isEmpty());
        QCOMPARE(p.echo, defaults.echo);
        QCOMPARE(p.slowWrite, defaults.slowWrite);
        // Storages not given follow MessageStorage; the phonebook keeps its own default.
        QCOMPARE(p.cpmsArguments(), QByteArray("\"MT\",\"MT\",\"MT\""));
        QCOMPARE(p.reportStorage, QByteArray("MT"));
        QCOMPARE(p.phonebookStorage, QByteArray("SM"));
        QCOMPARE(p.cnmiLive, defaults.cnmiLive);
        QCOMPARE(p.cnmiStored, defaults.cnmiStored);
        QCOMPARE(p.commandTimeoutMs, defaults.commandTimeoutMs);
        QCOMPARE(p.listTimeoutMs, defaults.listTimeoutMs);
    }

    void iniProfileErrors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no [Modem] section") << QByteArray("[Ports]\nCOM3=/dev/ttyUSB0\n") << "no [Modem] section";
        QTest::newRow("empty section") << QByteArray("[Modem]\n; nothing yet\n") << "is empty";
        QTest::newRow("misspelt key") << QByteArray("[Modem]\nInti1=ATZ\n") << "Inti1=ATZ";
        QTest::newRow("baud rate not a number") << QByteArray("[Modem]\nBaudRate=fast\n") << "BaudRate=fast";
        QTest::newRow("baud rate zero") << QByteArray("[Modem]\nBaudRate=0\n") << "BaudRate=0";
        QTest::newRow("yes/no value") << QByteArray("[Modem]\nEcho=maybe\n") << "Echo=maybe";
        QTest::newRow("storage of three letters") << QByteArray("[Modem]\nMessageStorage=SIM\n") << "MessageStorage=SIM";
        QTest::newRow("storage with quotes inside") << QByteArray("[Modem]\nReportStorage=\"S\"R\n") << "ReportStorage=";
        QTest::newRow("CNMI with AT prefix") << QByteArray("[Modem]\nCnmiLive=AT+CNMI=2,2\n") << "CnmiLive=AT+CNMI=2,2";
        QTest::newRow("CNMI value out of range") << QByteArray("[Modem]\nCnmiStored=2,5,0,2,0\n") << "CnmiStored=2,5,0,2,0";
        QTest::newRow("CNMI with six fields") << QByteArray("[Modem]\nCnmiStored=2,1,0,2,0,0\n") << "CnmiStored=";
        QTest::newRow("init line not AT") << QByteArray("[Modem]\nInit1=CPMS=\"SM\"\n") << "Init1=CPMS";
        QTest::newRow("Ctrl-Z inside an init line") << QByteArray("[Modem]\nInit2=AT+CMGS=5\x1A\n") << "Init2=";
        QTest::newRow("non-ASCII init line") << QByteArray("[Modem]\nInit1=AT+CSCS=\"\xC3\xA9\"\n") << "Init1=";
        QTest::newRow("timeout zero") << QByteArray("[Modem]\nCommandTimeout=0\n") << "CommandTimeout=0";
        QTest::newRow("timeout too long") << QByteArray("[Modem]\nListTimeout=100000\n") << "ListTimeout=100000";
        QTest::newRow("CMEE mode 0") << QByteArray("[Modem]\nCmee=0\n") << "Cmee=0";
    }
    void iniProfileErrors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        const PellixIni ini = iniOf(text);
        qint32 number = 0;
        const QString description = raisedText([&ini]() { modemProfile(0, ini); }, number);
        QCOMPARE(number, code(ErrorCode::ProfileError));
        QVERIFY2(description.contains(expected), qPrintable(description));
        // Every text says which file to mend.
        QVERIFY2(description.contains(ini.path()), qPrintable(description));
    }

    void missingFileSaysWhatToWriteWhere()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Pellix.ini"));
        qint32 number = 0;
        const QString description = raisedText([&path]() { modemProfile(0, PellixIni::load(path)); }, number);
        QCOMPARE(number, code(ErrorCode::ProfileError));
        QVERIFY(description.contains(path));
        QVERIFY(description.contains(QStringLiteral("[Modem]")));
        QVERIFY(description.contains(QStringLiteral("Name=")));
    }

    void builtInTypesIgnoreBrokenIni()
    {
        // Only type 0 reads Pellix.ini: a broken [Modem] must not stop the others.
        const ModemProfile p = modemProfile(2, iniOf("[Modem]\nEcho=maybe\n"));
        QCOMPARE(p.name, QStringLiteral("Wavecom"));
    }
};

QTEST_GUILESS_MAIN(tst_ModemProfile)
#include "tst_modemprofile.moc"
