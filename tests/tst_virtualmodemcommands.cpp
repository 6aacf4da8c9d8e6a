// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodemfixture.h"

class TestVirtualModemCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineAssembly_data();
    void lineAssembly();
    void echoFollowsSettings();
    void errorReporting_data();
    void errorReporting();
    void replies_data();
    void replies();
    void sendPrompt_data();
    void sendPrompt();
    void pinLock();
    void ussd_data();
    void ussd();
    void dialling();
    void radioOff();
    void signalIsSeededAndDrifts();
};

void TestVirtualModemCommands::lineAssembly_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    // Echo is on at power-on, so the input comes back first.
    QTest::newRow("plain AT") << QByteArray("AT\r") << QByteArray("AT\r\r\nOK\r\n");
    QTest::newRow("lower-case prefix") << QByteArray("at+cgmi\r") << QByteArray("at+cgmi\r\r\nPellix\r\n\r\nOK\r\n");
    QTest::newRow("escape and garbage before AT are dropped")
        << QByteArray("\x1B\r\nxyz\rAT\r") << QByteArray("\x1B\r\nxyz\rAT\r\r\nOK\r\n");
    QTest::newRow("backspace edits the line")
        << QByteArray("AT+CGMX\bI\r") << QByteArray("AT+CGMX\bI\r\r\nPellix\r\n\r\nOK\r\n");
    QTest::newRow("basic and extended commands in one line")
        << QByteArray("ATE0V1+CMEE=2;+CGMM\r") << QByteArray("ATE0V1+CMEE=2;+CGMM\r\r\nPVM-1\r\n\r\nOK\r\n");
    QTest::newRow("blanks between commands") << QByteArray("AT E1 +CGMI ; +CGMM\r")
                                             << QByteArray("AT E1 +CGMI ; +CGMM\r\r\nPellix\r\n\r\nPVM-1\r\n\r\nOK\r\n");
    QTest::newRow("unknown command") << QByteArray("AT+FOO\r") << QByteArray("AT+FOO\r\r\nERROR\r\n");
    QTest::newRow("vendor probe") << QByteArray("AT^SBNR=?\r") << QByteArray("AT^SBNR=?\r\r\nERROR\r\n");
    QTest::newRow("an error ends the line") << QByteArray("AT+CGMI;+FOO;+CGMM\r")
                                            << QByteArray("AT+CGMI;+FOO;+CGMM\r\r\nPellix\r\n\r\nERROR\r\n");
    QTest::newRow("unterminated string") << QByteArray("AT+CPBS=\"SM\r") << QByteArray("AT+CPBS=\"SM\r\r\nERROR\r\n");
    QTest::newRow("A/ repeats the last line") << QByteArray("AT+CGMM\rA/")
                                             << QByteArray("AT+CGMM\r\r\nPVM-1\r\n\r\nOK\r\nA/\r\nPVM-1\r\n\r\nOK\r\n");
    QTest::newRow("over-long line") << QByteArray("AT" + QByteArray(2000, 'X') + '\r')
                                    << QByteArray("AT" + QByteArray(2000, 'X') + "\r\r\nERROR\r\n");
}

void TestVirtualModemCommands::lineAssembly()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    // gammu writes one byte at a time: the answer must not depend on how the input is split.
    Rig whole;
    QCOMPARE(whole.raw(input), output);
    Rig bytewise;
    QByteArray out;
    for (char c : input)
        out += bytewise.raw(QByteArray(1, c));
    QCOMPARE(out, output);
}

void TestVirtualModemCommands::echoFollowsSettings()
{
    Rig rig;
    QCOMPARE(rig.raw("ATE0\r"), QByteArray("ATE0\r\r\nOK\r\n"));
    QCOMPARE(rig.raw("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.raw("ATE1\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.raw("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(rig.raw("ATE0\r"), QByteArray("ATE0\r\r\nOK\r\n"));
    // ATZ goes back to the power-on state, which is echo on.
    QCOMPARE(rig.raw("ATZ\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.raw("AT\r"), QByteArray("AT\r\r\nOK\r\n"));

    VirtualModemOptions quiet;
    quiet.echo = false;
    Rig silent(quiet);
    QCOMPARE(silent.raw("AT\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(silent.raw("ATE1\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(silent.raw("AT&F\r"), QByteArray("AT&F\r\r\nOK\r\n"));
    QCOMPARE(silent.raw("AT\r"), QByteArray("\r\nOK\r\n"));

    // V0: numeric result codes.
    Rig numeric;
    numeric.raw("ATE0\r");
    QCOMPARE(numeric.raw("ATV0\r"), QByteArray("0\r"));
    QCOMPARE(numeric.raw("AT+FOO\r"), QByteArray("4\r"));
    QCOMPARE(numeric.raw("AT+CGMI\r"), QByteArray("Pellix\r\n0\r"));
}

void TestVirtualModemCommands::errorReporting_data()
{
    QTest::addColumn<int>("cmee");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("CMS plain") << 0 << QByteArray("AT+CMGR=50") << QByteArray("ERROR");
    QTest::newRow("CMS numeric") << 1 << QByteArray("AT+CMGR=50") << QByteArray("+CMS ERROR: 321");
    QTest::newRow("CMS verbose") << 2 << QByteArray("AT+CMGR=50") << QByteArray("+CMS ERROR: invalid memory index");
    QTest::newRow("CME plain") << 0 << QByteArray("AT+CPBR=101") << QByteArray("ERROR");
    QTest::newRow("CME numeric") << 1 << QByteArray("AT+CPBR=101") << QByteArray("+CME ERROR: 21");
    QTest::newRow("CME verbose") << 2 << QByteArray("AT+CPBR=101") << QByteArray("+CME ERROR: invalid index");
    QTest::newRow("syntax stays ERROR") << 2 << QByteArray("AT+CMEE=7") << QByteArray("ERROR");
}

void TestVirtualModemCommands::errorReporting()
{
    QFETCH(int, cmee);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    Rig rig;
    rig.at("ATE0");
    QCOMPARE(rig.at("AT+CMEE=" + QByteArray::number(cmee)), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at(command), QList<QByteArray>{answer});
}

void TestVirtualModemCommands::replies_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("answer");  // the lines of the last command
    using L = QByteArrayList;
    QTest::newRow("manufacturer") << L{"AT+CGMI"} << L{"Pellix", "OK"};
    QTest::newRow("model") << L{"AT+CGMM"} << L{"PVM-1", "OK"};
    QTest::newRow("revision") << L{"AT+CGMR"} << L{"PVM-1 2.6.0", "OK"};
    QTest::newRow("IMEI") << L{"AT+CGSN"} << L{"357920061482624", "OK"};
    QTest::newRow("IMSI") << L{"AT+CIMI"} << L{"001011234567890", "OK"};
    QTest::newRow("identification") << L{"ATI"} << L{"Pellix PVM-1 virtual GSM modem", "Revision: PVM-1 2.6.0", "OK"};
    QTest::newRow("SIM ready") << L{"AT+CPIN?"} << L{"+CPIN: READY", "OK"};
    QTest::newRow("PIN when none is asked for") << L{"AT+CPIN=\"1234\""} << L{"+CME ERROR: 3"};
    QTest::newRow("functionality") << L{"AT+CFUN=1", "AT+CFUN?"} << L{"+CFUN: 1", "OK"};
    QTest::newRow("functionality range") << L{"AT+CFUN=?"} << L{"+CFUN: (0,1,4),(0,1)", "OK"};
    QTest::newRow("character set default") << L{"AT+CSCS?"} << L{"+CSCS: \"IRA\"", "OK"};
    QTest::newRow("character sets") << L{"AT+CSCS=?"} << L{"+CSCS: (\"GSM\",\"IRA\",\"UCS2\")", "OK"};
    QTest::newRow("character set chosen") << L{"AT+CSCS=\"UCS2\"", "AT+CSCS?"} << L{"+CSCS: \"UCS2\"", "OK"};
    QTest::newRow("character set unknown") << L{"AT+CSCS=\"KOI8\""} << L{"ERROR"};
    QTest::newRow("service centre") << L{"AT+CSCA?"} << L{"+CSCA: \"+3934800000001\",145", "OK"};
    QTest::newRow("service centre changed")
        << L{"AT+CSCA=\"3912345\",145", "AT+CSCA?"} << L{"+CSCA: \"+3912345\",145", "OK"};
    QTest::newRow("registration") << L{"AT+CREG?"} << L{"+CREG: 0,1", "OK"};
    QTest::newRow("registration with cell") << L{"AT+CREG=2", "AT+CREG?"} << L{"+CREG: 2,1,\"1A2B\",\"00C3D4\"", "OK"};
    QTest::newRow("registration range") << L{"AT+CREG=?"} << L{"+CREG: (0-2)", "OK"};
    QTest::newRow("operator") << L{"AT+COPS?"} << L{"+COPS: 0,0,\"Pellix Net\"", "OK"};
    QTest::newRow("operator numeric") << L{"AT+COPS=3,2", "AT+COPS?"} << L{"+COPS: 0,2,\"00101\"", "OK"};
    QTest::newRow("signal range") << L{"AT+CSQ=?"} << L{"+CSQ: (0-31,99),(0-7,99)", "OK"};
    QTest::newRow("PDU mode") << L{"AT+CMGF=0", "AT+CMGF?"} << L{"+CMGF: 0", "OK"};
    QTest::newRow("text mode refused") << L{"AT+CMGF=1"} << L{"+CMS ERROR: 303"};
    QTest::newRow("message formats") << L{"AT+CMGF=?"} << L{"+CMGF: (0)", "OK"};
    QTest::newRow("message service") << L{"AT+CSMS=1"} << L{"+CSMS: 1,1,1", "OK"};
    QTest::newRow("message service read") << L{"AT+CSMS?"} << L{"+CSMS: 0,1,1,1", "OK"};
    QTest::newRow("storages offered")
        << L{"AT+CPMS=?"} << L{"+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")", "OK"};
    QTest::newRow("storages in use") << L{"AT+CPMS?"} << L{"+CPMS: \"SM\",8,50,\"SM\",8,50,\"SM\",8,50", "OK"};
    QTest::newRow("storages chosen") << L{"AT+CPMS=\"ME\",\"ME\",\"ME\""} << L{"+CPMS: 1,50,1,50,1,50", "OK"};
    QTest::newRow("only the read storage") << L{"AT+CPMS=\"SR\"", "AT+CPMS?"}
                                           << L{"+CPMS: \"SR\",0,20,\"SM\",8,50,\"SM\",8,50", "OK"};
    QTest::newRow("reports are not written to") << L{"AT+CPMS=\"SM\",\"SR\""} << L{"+CMS ERROR: 302"};
    QTest::newRow("unknown storage") << L{"AT+CPMS=\"BM\""} << L{"+CMS ERROR: 302"};
    QTest::newRow("indication ranges") << L{"AT+CNMI=?"} << L{"+CNMI: (0-3),(0-3),(0,2),(0-2),(0,1)", "OK"};
    QTest::newRow("indications set") << L{"AT+CNMI=2,1,0,2,0", "AT+CNMI?"} << L{"+CNMI: 2,1,0,2,0", "OK"};
    QTest::newRow("omitted indication values stay")
        << L{"AT+CNMI=2,2,0,1,0", "AT+CNMI=1", "AT+CNMI?"} << L{"+CNMI: 1,2,0,1,0", "OK"};
    QTest::newRow("indication out of range") << L{"AT+CNMI=2,4"} << L{"ERROR"};
    QTest::newRow("nothing to acknowledge") << L{"AT+CNMA"} << L{"+CMS ERROR: 340"};
    QTest::newRow("list range") << L{"AT+CMGL=?"} << L{"+CMGL: (0-4)", "OK"};
    QTest::newRow("list status out of range") << L{"AT+CMGL=5"} << L{"+CMS ERROR: 304"};
    QTest::newRow("delete ranges") << L{"AT+CMGD=?"} << L{"+CMGD: (1-8),(0-4)", "OK"};
    QTest::newRow("read outside the storage") << L{"AT+CMGR=0"} << L{"+CMS ERROR: 321"};
    QTest::newRow("delete outside the storage") << L{"AT+CMGD=51"} << L{"+CMS ERROR: 321"};
    QTest::newRow("delete an empty place") << L{"AT+CMGD=40"} << L{"OK"};
    QTest::newRow("send length impossible") << L{"AT+CMGS=0"} << L{"+CMS ERROR: 304"};
    QTest::newRow("own number") << L{"AT+CNUM"} << L{"+CNUM: \"Own number\",\"+3934811111111\",145", "OK"};
    QTest::newRow("battery range") << L{"AT+CBC=?"} << L{"+CBC: (0-3),(0-100)", "OK"};
    QTest::newRow("caller id") << L{"AT+CLIP=1", "AT+CLIP?"} << L{"+CLIP: 1,1", "OK"};
    QTest::newRow("caller id range") << L{"AT+CLIP=?"} << L{"+CLIP: (0,1)", "OK"};
    QTest::newRow("cellular result codes") << L{"AT+CRC=1", "AT+CRC?"} << L{"+CRC: 1", "OK"};
    QTest::newRow("cellular result codes range") << L{"AT+CRC=?"} << L{"+CRC: (0,1)", "OK"};
    QTest::newRow("setting left out is 0") << L{"AT+CLIP=1", "AT+CLIP=", "AT+CLIP?"} << L{"+CLIP: 0,1", "OK"};
    QTest::newRow("setting out of range") << L{"AT+CLIP=2"} << L{"ERROR"};
    QTest::newRow("setting with two values") << L{"AT+CRC=1,1"} << L{"ERROR"};
    QTest::newRow("setting as an action") << L{"AT+CREG"} << L{"ERROR"};
    QTest::newRow("error reporting range") << L{"AT+CMEE=?"} << L{"+CMEE: (0-2)", "OK"};
    QTest::newRow("error reporting read") << L{"AT+CMEE=2", "AT+CMEE?"} << L{"+CMEE: 2", "OK"};
    QTest::newRow("packet registration") << L{"AT+CGREG=1", "AT+CGREG?"} << L{"+CGREG: 1,1", "OK"};
    QTest::newRow("USSD range") << L{"AT+CUSD=?"} << L{"+CUSD: (0-2)", "OK"};
    QTest::newRow("identity test form") << L{"AT+CGMI=?"} << L{"OK"};
    QTest::newRow("identity read form") << L{"AT+CGSN?"} << L{"ERROR"};
    QTest::newRow("IMSI set form") << L{"AT+CIMI=1"} << L{"ERROR"};
    QTest::newRow("read message test form") << L{"AT+CMGR=?"} << L{"OK"};
    QTest::newRow("read message action form") << L{"AT+CMGR"} << L{"ERROR"};
    QTest::newRow("send read form") << L{"AT+CMGS?"} << L{"ERROR"};
    QTest::newRow("call list read form") << L{"AT+CLCC?"} << L{"ERROR"};
    QTest::newRow("phonebook storage") << L{"AT+CPBS?"} << L{"+CPBS: \"SM\",5,100", "OK"};
    QTest::newRow("phonebook storages") << L{"AT+CPBS=?"} << L{"+CPBS: (\"SM\")", "OK"};
    QTest::newRow("phone memory phonebook") << L{"AT+CPBS=\"ME\""} << L{"+CME ERROR: 4"};
    QTest::newRow("phonebook ranges") << L{"AT+CPBR=?"} << L{"+CPBR: (1-100),20,20", "OK"};
    QTest::newRow("phonebook write ranges") << L{"AT+CPBW=?"} << L{"+CPBW: (1-100),20,(129,145),20", "OK"};
    QTest::newRow("forwarding reasons") << L{"AT+CCFC=?"} << L{"+CCFC: (0-5)", "OK"};
    QTest::newRow("forwarding reason out of range") << L{"AT+CCFC=6,2"} << L{"ERROR"};
    QTest::newRow("hang up probe") << L{"AT+CHUP=?"} << L{"OK"};
    QTest::newRow("no call to answer") << L{"ATA"} << L{"NO CARRIER"};
    QTest::newRow("calling oneself") << L{"ATD+3934811111111;"} << L{"BUSY"};
    QTest::newRow("data call") << L{"ATD+393470001234"} << L{"NO CARRIER"};
    QTest::newRow("S-register") << L{"ATS0=2", "ATS0?"} << L{"002", "OK"};
    QTest::newRow("clock in the network's zone") << L{"AT+CCLK?"} << L{"+CCLK: \"24/05/02,10:00:00+08\"", "OK"};
    QTest::newRow("clock set") << L{"AT+CCLK=\"25/01/31,23:59:30-20\"", "AT+CCLK?"}
                               << L{"+CCLK: \"25/01/31,23:59:30-20\"", "OK"};
    QTest::newRow("clock set badly") << L{"AT+CCLK=\"25/13/31,23:59:30+00\""} << L{"ERROR"};
    QTest::newRow("packet attach") << L{"AT+CGATT?"} << L{"+CGATT: 1", "OK"};
    QTest::newRow("USSD presentation") << L{"AT+CUSD=1", "AT+CUSD?"} << L{"+CUSD: 1", "OK"};
}

void TestVirtualModemCommands::replies()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, answer);
    QCOMPARE(Rig().plain().lastOf(commands), answer);
}

void TestVirtualModemCommands::sendPrompt_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("length");  // empty: the PDU's own
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QByteArray>("terminator");
    QTest::addColumn<QByteArrayList>("answer");
    using L = QByteArrayList;
    // PDUs written by libgammu (python3-gammu), an encoder independent of ours.
    const QByteArray hello = "0011000D91934318111111F10000FF05C8329BFD06";
    QTest::newRow("sends") << QByteArray() << QByteArray() << hello << QByteArray("\x1A") << L{"+CMGS: 1", "OK"};
    QTest::newRow("lower-case hex") << QByteArray() << QByteArray() << hello.toLower() << QByteArray("\x1A")
                                    << L{"+CMGS: 1", "OK"};
    QTest::newRow("escape cancels") << QByteArray() << QByteArray() << hello << QByteArray("\x1B") << L{"OK"};
    QTest::newRow("length one short") << QByteArray() << QByteArray("19") << hello << QByteArray("\x1A")
                                      << L{"+CMS ERROR: 304"};
    QTest::newRow("length one long") << QByteArray() << QByteArray("21") << hello << QByteArray("\x1A")
                                     << L{"+CMS ERROR: 304"};
    QTest::newRow("odd hex") << QByteArray() << QByteArray("20") << hello + "0" << QByteArray("\x1A")
                             << L{"+CMS ERROR: 304"};
    QTest::newRow("not hex") << QByteArray() << QByteArray("20") << QByteArray(hello).replace("C8", "XY")
                             << QByteArray("\x1A") << L{"+CMS ERROR: 304"};
    QTest::newRow("truncated user data") << QByteArray() << QByteArray("18") << hello.left(hello.size() - 4)
                                         << QByteArray("\x1A") << L{"+CMS ERROR: 304"};
    // An SMS-DELIVER (MTI 00) is not something to send.
    QTest::newRow("deliver instead of submit")
        << QByteArray() << QByteArray() << QByteArray("00040D91934318111111F10000421020304050000" "5C8329BFD06")
        << QByteArray("\x1A") << L{"+CMS ERROR: 304"};
    QTest::newRow("broken user data header")
        << QByteArray() << QByteArray() << QByteArray("0051000D91934318111111F10004FF050500030102")
        << QByteArray("\x1A") << L{"+CMS ERROR: 304"};
    QTest::newRow("alphanumeric destination")
        << QByteArray() << QByteArray() << QByteArray("001100") + "06D061F118" + "0000FF05C8329BFD06"
        << QByteArray("\x1A") << L{"+CMS ERROR: 195"};
    QTest::newRow("country code zero") << QByteArray() << QByteArray() << submitPdu("+0123456", "x")
                                       << QByteArray("\x1A") << L{"+CMS ERROR: 1"};
    QTest::newRow("radio off") << QByteArray("AT+CFUN=0") << QByteArray() << hello << QByteArray("\x1A")
                               << L{"+CMS ERROR: 331"};
    QTest::newRow("SIM storage full does not stop sending")
        << QByteArray("FILL") << QByteArray() << hello << QByteArray("\x1A") << L{"+CMGS: 1", "OK"};
}

void TestVirtualModemCommands::sendPrompt()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, length);
    QFETCH(QByteArray, pdu);
    QFETCH(QByteArray, terminator);
    QFETCH(QByteArrayList, answer);
    Rig rig;
    rig.plain();
    if (setup == "FILL") {
        const QByteArray stored = "0011000D91934318111111F10000FF05C8329BFD06";
        while (rig.raw("AT+CMGW=20\r").endsWith("> "))
            rig.raw(stored + '\x1A');
    } else if (!setup.isEmpty()) {
        QCOMPARE(rig.at(setup), QList<QByteArray>{"OK"});
    }
    if (length.isEmpty())
        length = QByteArray::number(tpduLength(pdu));
    QCOMPARE(rig.raw("AT+CMGS=" + length + '\r'), QByteArray("\r\n> "));
    QCOMPARE(linesOf(rig.raw(pdu + terminator)), answer);
    // The line is free again afterwards.
    QCOMPARE(rig.at("AT"), QList<QByteArray>{"OK"});
}

void TestVirtualModemCommands::pinLock()
{
    VirtualModemOptions options;
    options.pin = QStringLiteral("4321");
    Rig rig(options);
    rig.plain();
    QCOMPARE(rig.at("AT+CPIN?"), (QList<QByteArray>{"+CPIN: SIM PIN", "OK"}));
    QCOMPARE(rig.at("AT+CREG?").value(0), QByteArray("+CREG: 0,0"));
    QCOMPARE(rig.at("AT+CMGL=4"), QList<QByteArray>{"+CMS ERROR: 311"});
    QCOMPARE(rig.at("AT+CPBR=1"), QList<QByteArray>{"+CME ERROR: 11"});
    QCOMPARE(rig.at("AT+CGMI"), (QList<QByteArray>{"Pellix", "OK"}));
    QCOMPARE(rig.at("AT+CIMI?"), QList<QByteArray>{"+CME ERROR: 11"});  // the SIM is asked for first
    QCOMPARE(rig.at("AT+CIMI=?"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPIN=\"1111\""), QList<QByteArray>{"+CME ERROR: 16"});
    QCOMPARE(rig.at("AT+CPIN=\"4321\""), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPIN?"), (QList<QByteArray>{"+CPIN: READY", "OK"}));
    QCOMPARE(rig.at("AT+CREG?").value(0), QByteArray("+CREG: 0,1"));
    QCOMPARE(rig.at("AT+CPBR=1").value(0), QByteArray("+CPBR: 1,\"+393471234567\",145,\"Anna Rossi\""));

    Rig blocked(options);
    blocked.plain();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(blocked.at("AT+CPIN=\"0000\""), QList<QByteArray>{"+CME ERROR: 16"});
    QCOMPARE(blocked.at("AT+CPIN?").value(0), QByteArray("+CPIN: SIM PUK"));
    QCOMPARE(blocked.at("AT+CPIN=\"4321\""), QList<QByteArray>{"+CME ERROR: 12"});
    QCOMPARE(blocked.at("AT+CMGL=4"), QList<QByteArray>{"+CMS ERROR: 316"});
    QCOMPARE(blocked.at("AT+CPIN=\"11111111\",\"5555\""), QList<QByteArray>{"+CME ERROR: 16"});
    QCOMPARE(blocked.at("AT+CPIN=\"12345678\",\"5555\""), QList<QByteArray>{"OK"});
    QCOMPARE(blocked.at("AT+CPIN?").value(0), QByteArray("+CPIN: READY"));
}

void TestVirtualModemCommands::ussd_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArrayList>("answer");  // after one second
    using L = QByteArrayList;
    QTest::newRow("credit") << L{} << QByteArray("AT+CUSD=1,\"*100#\",15")
                            << L{"+CUSD: 0,\"Credit: 12.34 EUR, valid until 31/12\",15"};
    QTest::newRow("own number") << L{} << QByteArray("AT+CUSD=1,\"*101#\"")
                                << L{"+CUSD: 0,\"Your number is +3934811111111\",15"};
    QTest::newRow("unknown service") << L{} << QByteArray("AT+CUSD=1,\"*555#\"") << L{"+CUSD: 4"};
    QTest::newRow("UCS2 both ways") << L{"AT+CSCS=\"UCS2\""} << QByteArray("AT+CUSD=1,\"002A0031003000310023\"")
                                    << L{"+CUSD: 0,\"0059006F007500720020006E0075006D0062006500720020006900730020002B0033003900330034"
                                         "003800310031003100310031003100310031\",15"};
    QTest::newRow("presentation off") << L{} << QByteArray("AT+CUSD=0,\"*100#\"") << L{};
}

void TestVirtualModemCommands::ussd()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, request);
    QFETCH(QByteArrayList, answer);
    Rig rig;
    rig.plain();
    for (const QByteArray &command : setup)
        rig.at(command);
    QCOMPARE(rig.at(request), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), answer);
}

void TestVirtualModemCommands::dialling()
{
    Rig rig;
    rig.plain();
    QCOMPARE(rig.at("ATD+393470001234;"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CLCC"), (QList<QByteArray>{"+CLCC: 1,0,3,0,0,\"+393470001234\",145", "OK"}));
    QCOMPARE(rig.advance(9999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), QList<QByteArray>{"NO ANSWER"});
    QCOMPARE(rig.at("ATD12345;"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("ATH"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(20000), QList<QByteArray>{});
    QCOMPARE(rig.at("ATD12A;"), QList<QByteArray>{"ERROR"});
}

void TestVirtualModemCommands::radioOff()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CREG=1");
    rig.at("AT+CNMI=2,1,0,0,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("later")));
    QCOMPARE(rig.at("AT+CFUN=4"), (QList<QByteArray>{"OK", "+CREG: 0"}));
    QCOMPARE(rig.at("AT+CSQ"), (QList<QByteArray>{"+CSQ: 99,99", "OK"}));
    QCOMPARE(rig.at("AT+CCFC=0,2"), QList<QByteArray>{"+CME ERROR: 30"});
    // Off the network, the returning message waits in the centre.
    QCOMPARE(rig.advance(3000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CFUN=1"), (QList<QByteArray>{"OK", "+CREG: 1", "+CMTI: \"SM\",9"}));
}

void TestVirtualModemCommands::signalIsSeededAndDrifts()
{
    const auto sample = [](quint64 seed) {
        VirtualModemOptions options;
        options.seed = seed;
        Rig rig(options);
        rig.plain();
        QList<QPair<int, int>> values;
        for (int i = 0; i < 600; ++i) {
            const QByteArray line = rig.at("AT+CSQ").value(0);
            const QList<QByteArray> parts = line.mid(6).split(',');
            values << qMakePair(parts.value(0).toInt(), parts.value(1).toInt());
            rig.advance(1000);
        }
        return values;
    };
    const auto first = sample(7);
    QCOMPARE(sample(7), first);
    QVERIFY(sample(8) != first);

    int low = 0;
    int usual = 0;
    QSet<int> distinct;
    for (const auto &[rssi, ber] : first) {
        QVERIFY(rssi >= 0 && rssi <= 31);
        QVERIFY((ber >= 0 && ber <= 7) || ber == 99);
        low += rssi < 11 ? 1 : 0;
        usual += (rssi >= 12 && rssi <= 28) ? 1 : 0;
        distinct << rssi;
    }
    // Ten minutes: mostly usable, with fades below the usable level now and then.
    QVERIFY2(low > 0, "the signal never faded");
    QVERIFY2(usual > 450, qPrintable(QString::number(usual)));
    QVERIFY(distinct.size() > 5);
}

QTEST_GUILESS_MAIN(TestVirtualModemCommands)
#include "tst_virtualmodemcommands.moc"
