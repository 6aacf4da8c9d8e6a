// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdu/smspdu.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pellix;
using namespace pellix::sim;

namespace {

// The non-empty lines of what the modem sent.
QList<QByteArray> linesOf(const QByteArray &out)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : out.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            lines << text;
    }
    return lines;
}

QByteArray submitPdu(const QString &to, const QString &text, bool reportRequest = false, int alphabet = pdu::Gsm7,
                     int messageClass = -1)
{
    pdu::SubmitPdu submit;
    submit.destination = to;
    submit.text = text;
    submit.statusReportRequest = reportRequest;
    submit.alphabet = alphabet;
    submit.messageClass = messageClass;
    return pdu::encodeSubmit(submit).hex;
}

int tpduLength(const QByteArray &hex)
{
    return int(hex.size() / 2) - 1 - hex.left(2).toInt(nullptr, 16);
}

// A modem on a manual clock, driven line by line.
struct Rig
{
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    VirtualModem modem;

    explicit Rig(const VirtualModemOptions &options = VirtualModemOptions()) : modem(options, clock) {}

    QByteArray raw(const QByteArray &bytes)
    {
        modem.feed(bytes);
        return modem.takeOutput();
    }
    QList<QByteArray> at(const QByteArray &line) { return linesOf(raw(line + '\r')); }
    // The answer to the last of the commands, run one after the other.
    QList<QByteArray> lastOf(const QByteArrayList &commands)
    {
        QList<QByteArray> last;
        for (const QByteArray &command : commands)
            last = at(command);
        return last;
    }
    QList<QByteArray> advance(qint64 ms)
    {
        clock->advance(ms);
        modem.poll();
        return linesOf(modem.takeOutput());
    }
    // Every line that arrives within totalMs, stamped with the clock time it arrived at.
    QList<QPair<qint64, QByteArray>> collect(qint64 totalMs, qint64 stepMs = 100)
    {
        QList<QPair<qint64, QByteArray>> seen;
        for (qint64 t = 0; t < totalMs; t += stepMs)
            for (const QByteArray &line : advance(stepMs))
                seen << qMakePair(clock->elapsedMs(), line);
        return seen;
    }
    // Echo off and numeric errors, as drivers set them up.
    Rig &plain()
    {
        at("ATE0+CMEE=1");
        return *this;
    }
    // The lines answering one AT+CMGS exchange; the prompt must come first.
    QList<QByteArray> send(const QByteArray &hex)
    {
        const QByteArray prompt = raw("AT+CMGS=" + QByteArray::number(tpduLength(hex)) + '\r');
        if (!prompt.endsWith("\r\n> "))
            return {"no prompt: " + prompt};
        return linesOf(raw(hex + '\x1A'));
    }
    int sendReference(const QByteArray &hex)
    {
        const QList<QByteArray> answer = send(hex);
        if (answer.size() != 2 || !answer.at(0).startsWith("+CMGS: ") || answer.at(1) != "OK")
            return -1;
        return answer.at(0).mid(7).toInt();
    }
};

} // namespace

class TestVirtualModem : public QObject
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
    void messageReferencesCount();
    void ownNumberComesBack_data();
    void ownNumberComesBack();
    void readingMarksRead();
    void deleteFlags_data();
    void deleteFlags();
    void statusReportRouting_data();
    void statusReportRouting();
    void deliveryOutcomes_data();
    void deliveryOutcomes();
    void ringing_data();
    void ringing();
    void answerAndHangUp();
    void phonebook_data();
    void phonebook();
    void phonebookFull();
    void phonebookCharsets_data();
    void phonebookCharsets();
    void callForwarding_data();
    void callForwarding();
    void storageFullHoldsIncoming();
    void codesWaitWhileTyping();
    void cnmiModeZeroBuffers_data();
    void cnmiModeZeroBuffers();
    void acknowledgement();
    void pinLock();
    void ussd_data();
    void ussd();
    void sendFromStorage();
    void dialling();
    void radioOff();
    void signalIsSeededAndDrifts();
    void startingSimContents();
    void transportPassesBytesAndEvents();
    void transportFaults();
    void vendorLines_data();
    void vendorLines();
    void lateAnswers_data();
    void lateAnswers();
    void floodComesAtOnce_data();
    void floodComesAtOnce();
    void freezesWithThePortOpen();
};

void TestVirtualModem::lineAssembly_data()
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

void TestVirtualModem::lineAssembly()
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

void TestVirtualModem::echoFollowsSettings()
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

void TestVirtualModem::errorReporting_data()
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

void TestVirtualModem::errorReporting()
{
    QFETCH(int, cmee);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    Rig rig;
    rig.at("ATE0");
    QCOMPARE(rig.at("AT+CMEE=" + QByteArray::number(cmee)), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at(command), QList<QByteArray>{answer});
}

void TestVirtualModem::replies_data()
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

void TestVirtualModem::replies()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, answer);
    QCOMPARE(Rig().plain().lastOf(commands), answer);
}

void TestVirtualModem::sendPrompt_data()
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

void TestVirtualModem::sendPrompt()
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

void TestVirtualModem::messageReferencesCount()
{
    Rig rig;
    // With echo on, the PDU characters come back as typed (27.005 3.5.1).
    QCOMPARE(rig.raw("AT+CMGS=20\r"), QByteArray("AT+CMGS=20\r\r\n> "));
    QCOMPARE(rig.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A"),
             QByteArray("0011000D91934318111111F10000FF05C8329BFD06\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    rig.plain();
    // The modem numbers messages itself: the reference in the PDU (here 0x77) is not used, and a
    // cancelled message takes no number.
    QCOMPARE(rig.sendReference("0011770D91934318111111F10000FF05C8329BFD06"), 2);
    rig.raw("AT+CMGS=20\r");
    QCOMPARE(linesOf(rig.raw("00\x1B")), QList<QByteArray>{"OK"});
    QCOMPARE(rig.sendReference(submitPdu("+393470001234", "x")), 3);
    for (int i = 4; i <= 255; ++i)
        rig.sendReference(submitPdu("+393470001234", "x"));
    QCOMPARE(rig.sendReference(submitPdu("+393470001234", "x")), 1);
}

void TestVirtualModem::ownNumberComesBack_data()
{
    QTest::addColumn<QByteArray>("cnmi");
    QTest::addColumn<QString>("indication");  // "+CMT", "+CMTI" or empty
    QTest::addColumn<int>("messageClass");
    QTest::newRow("routed (mt 2)") << QByteArray("2,2,0,0,0") << QStringLiteral("+CMT") << -1;
    QTest::newRow("stored and indicated (mt 1)") << QByteArray("2,1,0,0,0") << QStringLiteral("+CMTI") << -1;
    QTest::newRow("stored silently (mt 0)") << QByteArray("2,0,0,0,0") << QString() << -1;
    QTest::newRow("class 2 is stored even with mt 2") << QByteArray("2,2,0,0,0") << QStringLiteral("+CMTI") << 2;
    QTest::newRow("class 3 routed with mt 3") << QByteArray("2,3,0,0,0") << QStringLiteral("+CMT") << 3;
    QTest::newRow("other classes stored with mt 3") << QByteArray("2,3,0,0,0") << QStringLiteral("+CMTI") << 1;
}

void TestVirtualModem::ownNumberComesBack()
{
    QFETCH(QByteArray, cnmi);
    QFETCH(QString, indication);
    QFETCH(int, messageClass);
    Rig rig;
    rig.plain();
    QCOMPARE(rig.at("AT+CNMI=" + cnmi), QList<QByteArray>{"OK"});
    const QString text = QStringLiteral("Grüße €");
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), text, false, pdu::Ucs2, messageClass)) > 0);
    QCOMPARE(rig.advance(999), QList<QByteArray>{});
    const QList<QByteArray> arrived = rig.advance(1);

    QByteArray hex;
    if (indication == QLatin1String("+CMT")) {
        QCOMPARE(arrived.size(), 2);
        QVERIFY(arrived.at(0).startsWith("+CMT: ,"));
        hex = arrived.at(1);
        QCOMPARE(arrived.at(0).mid(7).toInt(), tpduLength(hex));
        // Routed, not stored.
        QCOMPARE(rig.at("AT+CPMS?").value(0), QByteArray("+CPMS: \"SM\",8,50,\"SM\",8,50,\"SM\",8,50"));
    } else {
        QCOMPARE(arrived, indication.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{"+CMTI: \"SM\",9"});
        const QList<QByteArray> read = rig.at("AT+CMGR=9");
        QCOMPARE(read.size(), 3);
        QCOMPARE(read.at(0), "+CMGR: 0,," + QByteArray::number(tpduLength(read.at(1))));
        hex = read.at(1);
    }
    const pdu::DeliverPdu deliver = pdu::decodeDeliver(hex);
    QCOMPARE(deliver.originator.number, QStringLiteral("+3934811111111"));
    QCOMPARE(deliver.text, text);
    QCOMPARE(deliver.dcs.messageClass, messageClass);
    QCOMPARE(deliver.smsc.number, QStringLiteral("+3934800000001"));
    // The centre's time stamp is the time it took the message, with the clock's zone.
    QCOMPARE(deliver.timestamp, ManualClock::defaultStart());
    QCOMPARE(deliver.timestamp.offsetFromUtc(), 7200);
}

void TestVirtualModem::readingMarksRead()
{
    Rig rig;
    rig.plain();
    // 27.005 3.4.2/3.4.3: listing or reading a received unread message makes it read.
    QList<QByteArray> unread = rig.at("AT+CMGL=0");
    QCOMPARE(unread.size(), 2 * 6 + 1);  // 6 unread items (one with its PDU line each) and OK
    QCOMPARE(rig.at("AT+CMGL=0"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CMGL=1").size(), 2 * 8 + 1);
    QCOMPARE(rig.at("AT+CMGL=4").size(), 2 * 8 + 1);
}

void TestVirtualModem::deleteFlags_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("left");  // +CPMS used counts after it
    // Starting SIM: 2 read and 6 unread received items; two stored unsent/sent are added below.
    QTest::newRow("one index") << QByteArray("AT+CMGD=1") << QByteArray("9,50");
    QTest::newRow("flag 1 deletes the read") << QByteArray("AT+CMGD=1,1") << QByteArray("8,50");
    QTest::newRow("flag 2 also the sent") << QByteArray("AT+CMGD=1,2") << QByteArray("7,50");
    QTest::newRow("flag 3 also the unsent") << QByteArray("AT+CMGD=1,3") << QByteArray("6,50");
    QTest::newRow("flag 4 deletes everything") << QByteArray("AT+CMGD=1,4") << QByteArray("0,50");
    QTest::newRow("flag out of range") << QByteArray("AT+CMGD=1,5") << QByteArray("10,50");
}

void TestVirtualModem::deleteFlags()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, left);
    Rig rig;
    rig.plain();
    const QByteArray pdu = "0011000D91934318111111F10000FF05C8329BFD06";
    rig.raw("AT+CMGW=20,2\r");
    QCOMPARE(linesOf(rig.raw(pdu + '\x1A')), (QList<QByteArray>{"+CMGW: 9", "OK"}));
    rig.raw("AT+CMGW=20,3\r");
    QCOMPARE(linesOf(rig.raw(pdu + '\x1A')), (QList<QByteArray>{"+CMGW: 10", "OK"}));
    rig.at(command);
    QVERIFY(rig.at("AT+CPMS?").value(0).startsWith("+CPMS: \"SM\"," + left + ','));
}

void TestVirtualModem::statusReportRouting_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("cnmi");
    QTest::addColumn<QByteArray>("indication");  // expected first line, or empty
    QTest::addColumn<QByteArray>("storage");     // where the report is then found, or empty
    QTest::newRow("routed (ds 1)") << QByteArray() << QByteArray("2,0,0,1,0") << QByteArray("+CDS: ") << QByteArray();
    QTest::newRow("stored on SM (ds 2)") << QByteArray() << QByteArray("2,0,0,2,0") << QByteArray("+CDSI: \"SM\",9")
                                         << QByteArray("SM");
    QTest::newRow("stored in SR once chosen") << QByteArray("AT+CPMS=\"SR\"") << QByteArray("2,0,0,2,0")
                                              << QByteArray("+CDSI: \"SR\",1") << QByteArray("SR");
    QTest::newRow("stored silently (ds 0)") << QByteArray() << QByteArray("2,0,0,0,0") << QByteArray() << QByteArray("SM");
}

void TestVirtualModem::statusReportRouting()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, cnmi);
    QFETCH(QByteArray, indication);
    QFETCH(QByteArray, storage);
    Rig rig;
    rig.plain();
    rig.at("AT+CMGL=4");  // the starting SIM's unread items become read
    if (!setup.isEmpty())
        rig.at(setup);
    rig.at("AT+CNMI=" + cnmi);
    const int reference = rig.sendReference(submitPdu(QStringLiteral("+393470001234"), QStringLiteral("hi"), true));
    QVERIFY(reference > 0);
    QCOMPARE(rig.advance(1999), QList<QByteArray>{});
    const QList<QByteArray> arrived = rig.advance(1);
    QByteArray hex;
    if (indication.isEmpty()) {
        QCOMPARE(arrived, QList<QByteArray>{});
    } else if (indication.startsWith("+CDS: ")) {
        QCOMPARE(arrived.size(), 2);
        hex = arrived.at(1);
        QCOMPARE(arrived.at(0), "+CDS: " + QByteArray::number(tpduLength(hex)));
    } else {
        QCOMPARE(arrived, QList<QByteArray>{indication});
    }
    if (!storage.isEmpty()) {
        rig.at("AT+CPMS=\"" + storage + '"');
        const QList<QByteArray> listed = rig.at("AT+CMGL=0");
        QCOMPARE(listed.size(), 3);
        hex = listed.at(1);
    }
    const pdu::StatusReportPdu report = pdu::decodeStatusReport(hex);
    QCOMPARE(int(report.messageReference), reference);
    QCOMPARE(report.recipient.number, QStringLiteral("+393470001234"));
    QCOMPARE(int(report.status), 0);
    QCOMPARE(report.timestamp, ManualClock::defaultStart());
    QCOMPARE(report.dischargeTime, ManualClock::defaultStart().addSecs(2));
}

void TestVirtualModem::deliveryOutcomes_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<int>>("seconds");
    QTest::addColumn<QList<int>>("statuses");
    QTest::newRow("delivered") << QStringLiteral("+393470001234") << QList<int>{2} << QList<int>{0x00};
    QTest::newRow("national number delivered") << QStringLiteral("3470001234") << QList<int>{2} << QList<int>{0x00};
    QTest::newRow("666 fails for good") << QStringLiteral("+393470000666") << QList<int>{2} << QList<int>{0x41};
    QTest::newRow("999 busy, then delivered") << QStringLiteral("+393470000999") << QList<int>{2, 6}
                                             << QList<int>{0x21, 0x00};
    QTest::newRow("888 never answers") << QStringLiteral("+393470000888") << QList<int>{2} << QList<int>{0x62};
    QTest::newRow("own number after the message") << QStringLiteral("+3934811111111") << QList<int>{2}
                                                 << QList<int>{0x00};
}

void TestVirtualModem::deliveryOutcomes()
{
    QFETCH(QString, number);
    QFETCH(QList<int>, seconds);
    QFETCH(QList<int>, statuses);
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,1,0");
    const int reference = rig.sendReference(submitPdu(number, QStringLiteral("report please"), true));
    QList<int> when;
    QList<int> seen;
    const auto lines = rig.collect(10000);
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).second.startsWith("+CDS: "))
            continue;
        const pdu::StatusReportPdu report = pdu::decodeStatusReport(lines.value(i + 1).second);
        QCOMPARE(int(report.messageReference), reference);
        QCOMPARE(report.recipient.number, number);
        when << int(lines.at(i).first / 1000);
        seen << report.status;
    }
    QCOMPARE(when, seconds);
    QCOMPARE(seen, statuses);
}

void TestVirtualModem::ringing_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("expected");  // "<second> <line>"
    using L = QByteArrayList;
    const QByteArray clip = "+CLIP: \"+393470001234\",145";
    QTest::newRow("three rings") << L{} << QStringLiteral("RING me") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("caller id after each ring")
        << L{"AT+CLIP=1"} << QStringLiteral("call me back")
        << L{"3 RING", "3 " + clip, "6 RING", "6 " + clip, "9 RING", "9 " + clip};
    QTest::newRow("cellular result code") << L{"AT+CRC=1"} << QStringLiteral("  ring")
                                          << L{"3 +CRING: VOICE", "6 +CRING: VOICE", "9 +CRING: VOICE"};
    QTest::newRow("text that only mentions it") << L{} << QStringLiteral("Please RING me") << L{};
    QTest::newRow("unconditional forwarding takes the call")
        << L{"AT+CCFC=0,3,\"+390000111\",145"} << QStringLiteral("RING") << L{};
    QTest::newRow("forwarding for data only does not")
        << L{"AT+CCFC=0,3,\"+390000111\",145,2"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("forwarding when busy does not")
        << L{"AT+CCFC=1,3,\"+390000111\",145"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("cancelled forwarding does not")
        << L{"AT+CCFC=0,3,\"+390000111\",145", "AT+CCFC=4,4"} << QStringLiteral("RING")
        << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("auto-answer after two rings")
        << L{"ATS0=2"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "11 NO CARRIER"};
}

void TestVirtualModem::ringing()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QString, text);
    QFETCH(QByteArrayList, expected);
    Rig rig;
    rig.plain();
    for (const QByteArray &command : setup)
        QCOMPARE(rig.at(command), QList<QByteArray>{"OK"});
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+393470001234"), text)) > 0);
    QByteArrayList seen;
    for (const auto &[ms, line] : rig.collect(20000))
        seen << QByteArray::number(ms / 1000) + ' ' + line;
    QCOMPARE(seen, expected);
}

void TestVirtualModem::answerAndHangUp()
{
    Rig rig;
    rig.plain();
    rig.modem.incomingCall(QStringLiteral("+39111"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CLCC"), (QList<QByteArray>{"+CLCC: 1,1,4,0,0,\"+39111\",145", "OK"}));
    QCOMPARE(rig.at("ATA"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CLCC"), (QList<QByteArray>{"+CLCC: 1,1,0,0,0,\"+39111\",145", "OK"}));
    // Answered: no more rings; the caller hangs up after five seconds.
    QCOMPARE(rig.advance(4999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), QList<QByteArray>{"NO CARRIER"});
    QCOMPARE(rig.at("AT+CLCC"), QList<QByteArray>{"OK"});

    rig.modem.incomingCall(QStringLiteral("+39222"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CHUP"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(20000), QList<QByteArray>{});
    QCOMPARE(rig.at("ATA"), QList<QByteArray>{"NO CARRIER"});

    // A second caller while the first rings gets busy.
    rig.modem.incomingCall(QStringLiteral("+39333"));
    rig.modem.incomingCall(QStringLiteral("+39444"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CLCC").value(0), QByteArray("+CLCC: 1,1,4,0,0,\"+39333\",145"));
}

void TestVirtualModem::phonebook_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArrayList>("entries");
    using L = QByteArrayList;
    QTest::newRow("write at an index") << QByteArray("AT+CPBW=10,\"+391234\",145,\"Test\"") << QByteArray("OK")
                                       << QByteArray("AT+CPBR=10") << L{"+CPBR: 10,\"+391234\",145,\"Test\""};
    QTest::newRow("overwrite") << QByteArray("AT+CPBW=1,\"555\",129,\"New\"") << QByteArray("OK")
                               << QByteArray("AT+CPBR=1") << L{"+CPBR: 1,\"555\",129,\"New\""};
    QTest::newRow("first free place") << QByteArray("AT+CPBW=,\"555\",129,\"Free\"") << QByteArray("OK")
                                      << QByteArray("AT+CPBR=4") << L{"+CPBR: 4,\"555\",129,\"Free\""};
    QTest::newRow("international type adds the plus") << QByteArray("AT+CPBW=7,\"391234\",145,\"Intl\"")
                                                      << QByteArray("OK") << QByteArray("AT+CPBR=7")
                                                      << L{"+CPBR: 7,\"+391234\",145,\"Intl\""};
    QTest::newRow("a plus makes it international") << QByteArray("AT+CPBW=7,\"+391234\",129,\"Intl\"")
                                                   << QByteArray("OK") << QByteArray("AT+CPBR=7")
                                                   << L{"+CPBR: 7,\"+391234\",145,\"Intl\""};
    QTest::newRow("type from the number") << QByteArray("AT+CPBW=8,\"+391234\",,\"T\"") << QByteArray("OK")
                                          << QByteArray("AT+CPBR=8") << L{"+CPBR: 8,\"+391234\",145,\"T\""};
    QTest::newRow("delete by index") << QByteArray("AT+CPBW=2") << QByteArray("OK") << QByteArray("AT+CPBR=1,3")
                                     << L{"+CPBR: 1,\"+393471234567\",145,\"Anna Rossi\"", "+CPBR: 3,\"4242\",129,\"Voicemail\""};
    QTest::newRow("delete an empty place") << QByteArray("AT+CPBW=50") << QByteArray("OK")
                                           << QByteArray("AT+CPBR=50") << L{};
    QTest::newRow("name of 20 characters") << QByteArray("AT+CPBW=9,\"1\",129,\"ABCDEFGHIJKLMNOPQRST\"")
                                           << QByteArray("OK") << QByteArray("AT+CPBR=9")
                                           << L{"+CPBR: 9,\"1\",129,\"ABCDEFGHIJKLMNOPQRST\""};
    QTest::newRow("name too long") << QByteArray("AT+CPBW=9,\"1\",129,\"ABCDEFGHIJKLMNOPQRSTU\"")
                                   << QByteArray("+CME ERROR: 24") << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("number of 20 digits") << QByteArray("AT+CPBW=9,\"+12345678901234567890\",145,\"N\"")
                                         << QByteArray("OK") << QByteArray("AT+CPBR=9")
                                         << L{"+CPBR: 9,\"+12345678901234567890\",145,\"N\""};
    QTest::newRow("number too long") << QByteArray("AT+CPBW=9,\"123456789012345678901\",129,\"N\"")
                                     << QByteArray("+CME ERROR: 26") << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("letters in the number") << QByteArray("AT+CPBW=9,\"12AB\",129,\"N\"") << QByteArray("+CME ERROR: 27")
                                           << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("index zero") << QByteArray("AT+CPBW=0,\"1\",129,\"N\"") << QByteArray("+CME ERROR: 21")
                                << QByteArray("AT+CPBR=1") << L{"+CPBR: 1,\"+393471234567\",145,\"Anna Rossi\""};
    QTest::newRow("index past the end") << QByteArray("AT+CPBW=101,\"1\",129,\"N\"") << QByteArray("+CME ERROR: 21")
                                        << QByteArray("AT+CPBR=100") << L{};
    QTest::newRow("read past the end") << QByteArray("AT") << QByteArray("OK") << QByteArray("AT+CPBR=1,101")
                                       << L{"+CME ERROR: 21"};
    QTest::newRow("read a reversed range") << QByteArray("AT") << QByteArray("OK") << QByteArray("AT+CPBR=5,4")
                                           << L{"+CME ERROR: 21"};
}

void TestVirtualModem::phonebook()
{
    QFETCH(QByteArray, write);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, read);
    QFETCH(QByteArrayList, entries);
    Rig rig;
    rig.plain();
    QCOMPARE(rig.at(write), QList<QByteArray>{answer});
    QList<QByteArray> lines = rig.at(read);
    if (lines.value(lines.size() - 1) == "OK")
        lines.removeLast();
    QCOMPARE(lines, entries);
}

void TestVirtualModem::phonebookFull()
{
    Rig rig;
    rig.plain();
    for (int i = 0; i < 95; ++i)
        QCOMPARE(rig.at("AT+CPBW=,\"12345\",129,\"Filler\""), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPBS?"), (QList<QByteArray>{"+CPBS: \"SM\",100,100", "OK"}));
    QCOMPARE(rig.at("AT+CPBW=,\"12345\",129,\"One more\""), QList<QByteArray>{"+CME ERROR: 20"});
    // Writing over a used place still works.
    QCOMPARE(rig.at("AT+CPBW=100,\"999\",129,\"Last\""), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPBR=100").value(0), QByteArray("+CPBR: 100,\"999\",129,\"Last\""));
}

void TestVirtualModem::phonebookCharsets_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("name");      // as read back in IRA
    QTest::addColumn<QByteArray>("readBack"); // the text field read back in the same set
    QTest::newRow("UCS2 hex") << QByteArray("UCS2") << QByteArray("004A00FC0072006700650006E") << QByteArray("+CME ERROR: 25")
                              << QString() << QByteArray();
    QTest::newRow("UCS2") << QByteArray("UCS2") << QByteArray("004A00FC007200670065006E") << QByteArray("OK")
                          << QStringLiteral("Jürgen") << QByteArray("004A00FC007200670065006E");
    QTest::newRow("GSM") << QByteArray("GSM") << QByteArray("J~rgen") << QByteArray("OK") << QStringLiteral("Jürgen")
                         << QByteArray("J~rgen");
    QTest::newRow("IRA keeps UTF-8") << QByteArray("IRA") << QByteArray("J\xC3\xBCrgen") << QByteArray("OK")
                                     << QStringLiteral("Jürgen") << QByteArray("J\xC3\xBCrgen");
}

void TestVirtualModem::phonebookCharsets()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, answer);
    QFETCH(QString, name);
    QFETCH(QByteArray, readBack);
    Rig rig;
    rig.plain();
    rig.at("AT+CSCS=\"" + charset + '"');
    QCOMPARE(rig.at("AT+CPBW=20,\"123\",129,\"" + written + '"'), QList<QByteArray>{answer});
    if (answer != "OK")
        return;
    QCOMPARE(rig.at("AT+CPBR=20").value(0), "+CPBR: 20,\"123\",129,\"" + readBack + '"');
    rig.at("AT+CSCS=\"IRA\"");
    QCOMPARE(rig.at("AT+CPBR=20").value(0), "+CPBR: 20,\"123\",129,\"" + name.toUtf8() + '"');
}

void TestVirtualModem::callForwarding_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("answer");  // of the last command
    using L = QByteArrayList;
    QTest::newRow("nothing forwarded") << L{"AT+CCFC=0,2"} << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("registered for all three classes")
        << L{"AT+CCFC=0,3,\"+391234\",145", "AT+CCFC=0,2"}
        << L{"+CCFC: 1,1,\"+391234\",145", "+CCFC: 1,2,\"+391234\",145", "+CCFC: 1,4,\"+391234\",145", "OK"};
    QTest::newRow("registered for voice") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,2"}
                                          << L{"+CCFC: 1,1,\"+391234\",145", "OK"};
    QTest::newRow("query of one class") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,2,,,2"}
                                        << L{"+CCFC: 0,2", "OK"};
    QTest::newRow("each reason on its own") << L{"AT+CCFC=1,3,\"+391234\",145,1", "AT+CCFC=0,2"}
                                            << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("no reply shows its time") << L{"AT+CCFC=2,3,\"+391234\",145,1,,,15", "AT+CCFC=2,2"}
                                             << L{"+CCFC: 1,1,\"+391234\",145,,,15", "OK"};
    QTest::newRow("disabled keeps the number") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,0", "AT+CCFC=0,2"}
                                               << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("enabled again") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,0", "AT+CCFC=0,1", "AT+CCFC=0,2"}
                                   << L{"+CCFC: 1,1,\"+391234\",145", "OK"};
    QTest::newRow("erased cannot be enabled") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,4", "AT+CCFC=0,1"}
                                              << L{"+CME ERROR: 3"};
    QTest::newRow("all conditional covers busy")
        << L{"AT+CCFC=5,3,\"391234\",129,1", "AT+CCFC=1,2"} << L{"+CCFC: 1,1,\"391234\",129", "OK"};
    QTest::newRow("all conditional leaves unconditional alone")
        << L{"AT+CCFC=5,3,\"391234\",129,1", "AT+CCFC=0,2"} << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("erasing all") << L{"AT+CCFC=0,3,\"+391\",145", "AT+CCFC=3,3,\"+392\",145", "AT+CCFC=4,4",
                                      "AT+CCFC=4,2"}
                                 << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("query of all reasons") << L{"AT+CCFC=3,3,\"+392\",145,1", "AT+CCFC=4,2"}
                                          << L{"+CCFC: 1,1,\"+392\",145", "OK"};
    QTest::newRow("registration needs a number") << L{"AT+CCFC=0,3"} << L{"+CME ERROR: 3"};
    QTest::newRow("number too long") << L{"AT+CCFC=0,3,\"123456789012345678901\""} << L{"+CME ERROR: 26"};
    QTest::newRow("no reply time out of range") << L{"AT+CCFC=2,3,\"+391234\",145,1,,,31"} << L{"ERROR"};
}

void TestVirtualModem::callForwarding()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, answer);
    QCOMPARE(Rig().plain().lastOf(commands), answer);
}

void TestVirtualModem::storageFullHoldsIncoming()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,2,0");
    const QByteArray stored = "0011000D91934318111111F10000FF05C8329BFD06";
    for (int i = 9; i <= 50; ++i) {
        rig.raw("AT+CMGW=20\r");
        QCOMPARE(linesOf(rig.raw(stored + '\x1A')), (QList<QByteArray>{"+CMGW: " + QByteArray::number(i), "OK"}));
    }
    QCOMPARE(rig.at("AT+CMGW=20"), QList<QByteArray>{"+CMS ERROR: 322"});
    // Sending needs no storage; the message that comes back and its report wait in the centre.
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("back"), true)) > 0);
    QCOMPARE(rig.advance(10000), QList<QByteArray>{});
    // The freed place takes the message at once, its indication after the OK; the report
    // follows once there is room again.
    QCOMPARE(rig.at("AT+CMGD=17"), (QList<QByteArray>{"OK", "+CMTI: \"SM\",17"}));
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CMGD=18"), (QList<QByteArray>{"OK", "+CDSI: \"SM\",18"}));
    QCOMPARE(pdu::decodeDeliver(rig.at("AT+CMGR=17").value(1)).text, QStringLiteral("back"));
    QCOMPARE(int(pdu::decodeStatusReport(rig.at("AT+CMGR=18").value(1)).status), 0);
}

void TestVirtualModem::codesWaitWhileTyping()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,0,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(rig.raw("AT+CS"), QByteArray());
    // The indication falls due while the client is half-way through its line.
    QCOMPARE(rig.advance(1000), QList<QByteArray>{});
    const QList<QByteArray> answer = linesOf(rig.raw("Q\r"));
    QCOMPARE(answer.size(), 3);
    QVERIFY(answer.at(0).startsWith("+CSQ: "));
    QCOMPARE(answer.at(1), QByteArray("OK"));
    QCOMPARE(answer.at(2), QByteArray("+CMTI: \"SM\",9"));

    // Same during the PDU prompt: nothing comes between the prompt and the answer.
    Rig prompt;
    prompt.plain();
    prompt.at("AT+CNMI=2,1,0,0,0");
    prompt.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(prompt.raw("AT+CMGS=20\r"), QByteArray("\r\n> "));
    QCOMPARE(prompt.advance(5000), QList<QByteArray>{});
    QCOMPARE(linesOf(prompt.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A")),
             (QList<QByteArray>{"+CMGS: 2", "OK", "+CMTI: \"SM\",9"}));
    // A client that stopped typing does not hold them back for ever.
    Rig stalled;
    stalled.plain();
    stalled.raw("AT+CG");
    stalled.modem.incomingCall(QStringLiteral("+39111"));
    QCOMPARE(stalled.advance(0), QList<QByteArray>{});
    QCOMPARE(stalled.advance(2500), QList<QByteArray>{"RING"});
}

void TestVirtualModem::cnmiModeZeroBuffers_data()
{
    QTest::addColumn<QByteArray>("then");
    QTest::addColumn<QByteArrayList>("answer");
    using L = QByteArrayList;
    QTest::newRow("flushed after OK") << QByteArray("AT+CNMI=2,1,0,0,0") << L{"OK", "+CMTI: \"SM\",9"};
    QTest::newRow("cleared") << QByteArray("AT+CNMI=2,1,0,0,1") << L{"OK"};
}

void TestVirtualModem::cnmiModeZeroBuffers()
{
    QFETCH(QByteArray, then);
    QFETCH(QByteArrayList, answer);
    Rig rig;
    rig.plain();
    // Mode 0 buffers in the modem; a message meant to be routed is stored instead, so that
    // clearing the buffer loses no message.
    rig.at("AT+CNMI=0,2,0,0,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(rig.advance(2000), QList<QByteArray>{});
    QCOMPARE(rig.at(then), answer);
    QCOMPARE(rig.at("AT+CPMS?").value(0), QByteArray("+CPMS: \"SM\",9,50,\"SM\",9,50,\"SM\",9,50"));
}

void TestVirtualModem::acknowledgement()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CSMS=1");
    rig.at("AT+CNMI=2,2,0,1,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("one")));
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("two")));
    QList<QByteArray> lines = rig.advance(1000);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(pdu::decodeDeliver(lines.at(1)).text, QStringLiteral("one"));
    // 27.005 3.4.4: no second +CMT before the first is acknowledged.
    QCOMPARE(rig.advance(3000), QList<QByteArray>{});
    lines = rig.at("AT+CNMA");
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QByteArray("OK"));
    QCOMPARE(pdu::decodeDeliver(lines.at(2)).text, QStringLiteral("two"));
    // Left unacknowledged, routing is switched off and the message goes to the storage.
    QCOMPARE(rig.advance(14999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CNMI?").value(0), QByteArray("+CNMI: 2,0,0,0,0"));
    QCOMPARE(pdu::decodeDeliver(rig.at("AT+CMGR=9").value(1)).text, QStringLiteral("two"));
    QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"+CMS ERROR: 340"});
}

void TestVirtualModem::pinLock()
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

void TestVirtualModem::ussd_data()
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

void TestVirtualModem::ussd()
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

void TestVirtualModem::sendFromStorage()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,2,0");
    rig.raw("AT+CMGW=20\r");
    QCOMPARE(linesOf(rig.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A")), (QList<QByteArray>{"+CMGW: 9", "OK"}));
    QCOMPARE(rig.at("AT+CMGL=2").value(0), QByteArray("+CMGL: 9,2,,20"));
    QCOMPARE(rig.at("AT+CMSS=9"), (QList<QByteArray>{"+CMSS: 1", "OK"}));
    QCOMPARE(rig.at("AT+CMGL=3").value(0), QByteArray("+CMGL: 9,3,,20"));
    // Stored to the own number, so it comes back.
    QCOMPARE(rig.advance(1000), QList<QByteArray>{"+CMTI: \"SM\",10"});
    // Sent again to another destination, with the stored message left as it is.
    QCOMPARE(rig.at("AT+CMSS=9,\"+393470001234\",145"), (QList<QByteArray>{"+CMSS: 2", "OK"}));
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CMSS=30"), QList<QByteArray>{"+CMS ERROR: 321"});
    // A received message is not sent.
    QCOMPARE(rig.at("AT+CMSS=1"), QList<QByteArray>{"+CMS ERROR: 302"});
}

void TestVirtualModem::dialling()
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

void TestVirtualModem::radioOff()
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

void TestVirtualModem::signalIsSeededAndDrifts()
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

void TestVirtualModem::startingSimContents()
{
    const auto listing = [](quint64 seed) {
        VirtualModemOptions options;
        options.seed = seed;
        Rig rig(options);
        rig.plain();
        return rig.at("AT+CMGL=4");
    };
    const QList<QByteArray> lines = listing(1);
    QCOMPARE(listing(1), lines);
    QVERIFY(listing(2) != lines);  // other time stamps
    QCOMPARE(lines.size(), 17);

    QMap<int, int> alphabets;
    QStringList texts;
    int reports = 0;
    int unread = 0;
    for (int i = 0; i + 1 < lines.size(); i += 2) {
        unread += lines.at(i).split(',').value(1) == "0" ? 1 : 0;
        const QByteArray hex = lines.at(i + 1);
        if (pdu::pduType(hex) == pdu::PduType::StatusReport) {
            ++reports;
            continue;
        }
        const pdu::DeliverPdu deliver = pdu::decodeDeliver(hex);
        ++alphabets[deliver.dcs.alphabet];
        texts << deliver.text;
        QVERIFY(deliver.timestamp < ManualClock::defaultStart());
    }
    QCOMPARE(reports, 1);
    QCOMPARE(unread, 6);
    QCOMPARE(alphabets.value(pdu::Gsm7), 5);
    QCOMPARE(alphabets.value(pdu::Ucs2), 1);
    QCOMPARE(alphabets.value(pdu::Bit8), 1);
    QVERIFY(texts.join(QString()).contains(QStringLiteral("München")));
    QVERIFY(texts.join(QString()).contains(QStringLiteral("€")));
    QVERIFY(texts.join(QString()).contains(QStringLiteral("+3934811111111")));
}

void TestVirtualModem::transportPassesBytesAndEvents()
{
    auto clock = std::make_shared<ManualClock>();
    auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), clock);
    VirtualModemTransport transport(modem);
    QSignalSpy arrived(&transport, &ByteTransport::bytesArrived);
    QVERIFY(transport.isOpen());
    QVERIFY(transport.write("ATE0\r"));
    // Answered at once, without waiting.
    QCOMPARE(transport.takeAvailable(), QByteArray("ATE0\r\r\nOK\r\n"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(30)));

    modem->incomingCall(QStringLiteral("+39111"));
    transport.pollNow();
    QCOMPARE(arrived.count(), 1);
    transport.pollNow();
    QCOMPARE(arrived.count(), 1);  // once per new output, not per tick
    QVERIFY(transport.waitForBytes(QDeadlineTimer(0)));
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});

    // Events that fall due are run inside the wait.
    clock->advance(3000);
    QVERIFY(transport.waitForBytes(QDeadlineTimer(1000)));
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});
    clock->advance(3000);
    QTRY_COMPARE(arrived.count(), 2);  // the idle timer found it
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});

    transport.close();
    QVERIFY(!transport.isOpen());
    QVERIFY(!transport.write("AT\r"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(10)));
}

void TestVirtualModem::transportFaults()
{
    {
        // A client that left the prompt open does not swallow the next one's first command.
        auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), std::make_shared<ManualClock>());
        VirtualModemTransport first(modem);
        first.write("AT+CMGS=20\r00");
        first.close();
        VirtualModemTransport second(modem);
        second.write("AT\r");
        QCOMPARE(linesOf(second.takeAvailable()), (QList<QByteArray>{"AT", "OK"}));
    }

    auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), std::make_shared<ManualClock>());
    VirtualModemTransport transport(modem);
    QSignalSpy failed(&transport, &ByteTransport::failed);

    transport.setFault(VirtualModemTransport::Fault::Silent);
    QVERIFY(transport.write("AT\r"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(20)));
    QCOMPARE(transport.takeAvailable(), QByteArray());

    transport.setFault(VirtualModemTransport::Fault::Chatter);
    QVERIFY(transport.waitForBytes(QDeadlineTimer(0)));
    const QByteArray noise = transport.takeAvailable();
    QVERIFY(noise.contains("^RSSI:") || noise.contains("^BOOT:"));

    transport.setFault(VirtualModemTransport::Fault::None);
    transport.write("AT\r");
    QCOMPARE(linesOf(transport.takeAvailable()), (QList<QByteArray>{"AT", "OK"}));

    transport.setFault(VirtualModemTransport::Fault::Unplugged);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!transport.isOpen());
    QVERIFY(!transport.write("AT\r"));
    QVERIFY(!transport.errorText().isEmpty());
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(10)));
}

using Script = std::function<QByteArray(Rig &)>;

void TestVirtualModem::vendorLines_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("header");  // each is followed by vendor lines, then its PDU
    const QByteArray own = VirtualNetwork::OwnNumber;
    QTest::newRow("+CMGL") << Script([](Rig &r) { return r.raw("AT+CMGL=4\r"); }) << QByteArray("+CMGL:");
    QTest::newRow("+CMGR") << Script([](Rig &r) { return r.raw("AT+CMGR=2\r"); }) << QByteArray("+CMGR:");
    QTest::newRow("+CMT") << Script([own](Rig &r) {
        r.at("AT+CNMI=2,2,0,0,0");
        r.send(submitPdu(QString::fromLatin1(own), QStringLiteral("back")));
        r.clock->advance(3000);
        r.modem.poll();
        return r.modem.takeOutput();
    }) << QByteArray("+CMT:");
    QTest::newRow("+CDS") << Script([own](Rig &r) {
        r.at("AT+CNMI=2,1,0,1,0");
        r.send(submitPdu(QString::fromLatin1(own), QStringLiteral("report"), true));
        r.clock->advance(3000);
        r.modem.poll();
        return r.modem.takeOutput();
    }) << QByteArray("+CDS:");
    QTest::newRow("now and then before a final code") << Script([](Rig &r) {
        QByteArray out;
        for (int i = 0; i < 20; ++i)
            out += r.raw("AT+CSQ\r");
        return out;
    }) << QByteArray();
}

void TestVirtualModem::vendorLines()
{
    QFETCH(Script, script);
    QFETCH(QByteArray, header);
    VirtualModemOptions noisy;
    noisy.field.vendorNoise = true;
    Rig quiet;
    Rig loud(noisy);
    Rig again(noisy);
    for (Rig *rig : {&quiet, &loud, &again})
        rig->plain();
    const QList<QByteArray> expected = linesOf(script(quiet));
    const QByteArray out = script(loud);
    QCOMPARE(script(again), out);  // the seed decides where they go

    const auto vendor = [](const QByteArray &line) { return line.startsWith('^') || line.startsWith("+QIND:"); };
    const QList<QByteArray> lines = linesOf(out);
    QList<QByteArray> withoutVendor;
    int headers = 0;
    int finals = 0;
    int finalsAfterVendor = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (vendor(lines.at(i)))
            continue;
        withoutVendor << lines.at(i);
        if (!header.isEmpty() && lines.at(i).startsWith(header)) {
            ++headers;
            QVERIFY2(vendor(lines.value(i + 1)), lines.value(i + 1).constData());
        }
        if (lines.at(i) == "OK") {
            ++finals;
            finalsAfterVendor += i > 0 && vendor(lines.at(i - 1));
        }
    }
    // Nothing else changes: the same answers, codes and PDUs, in the same order.
    QCOMPARE(withoutVendor, expected);
    if (!header.isEmpty()) {
        QVERIFY(headers > 0);
    } else {
        QVERIFY(finalsAfterVendor > 0);
        QVERIFY(finalsAfterVendor < finals);
    }
}

void TestVirtualModem::lateAnswers_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("lateCount");
    QTest::newRow("echo on, every +CSQ late") << true << 0;
    QTest::newRow("echo off, the first +CSQ late") << false << 1;
}

void TestVirtualModem::lateAnswers()
{
    QFETCH(bool, echo);
    QFETCH(int, lateCount);
    VirtualModemOptions options;
    options.echo = echo;
    options.field.lateReplyMs = 3000;
    options.field.lateCommands = {"+CSQ"};
    options.field.lateReplyCount = lateCount;
    Rig rig(options);
    const QList<QByteArray> csqEcho = echo ? QList<QByteArray>{"AT+CSQ"} : QList<QByteArray>{};
    const QList<QByteArray> atEcho = echo ? QList<QByteArray>{"AT"} : QList<QByteArray>{};
    QCOMPARE(rig.at("AT+CGMI").mid(echo ? 1 : 0), (QList<QByteArray>{"Pellix", "OK"}));  // others at once
    // The line is echoed as typed; its answer waits on the clock, and so does the next line.
    QCOMPARE(rig.at("AT+CSQ"), csqEcho);
    QCOMPARE(rig.at("AT"), QList<QByteArray>{});
    QCOMPARE(rig.advance(2999), QList<QByteArray>{});
    const QList<QByteArray> late = rig.advance(1);
    QCOMPARE(late.size(), 3 + atEcho.size());
    QVERIFY(late.at(0).startsWith("+CSQ: "));
    QCOMPARE(late.mid(1), QList<QByteArray>{"OK"} + atEcho + QList<QByteArray>{"OK"});
    // A modem that has recovered answers at once; one still under load stays late.
    const QList<QByteArray> next = rig.at("AT+CSQ");
    QCOMPARE(next.size(), lateCount ? csqEcho.size() + 2 : csqEcho.size());
}

void TestVirtualModem::floodComesAtOnce_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("routed, acknowledged afterwards") << QByteArray("AT+CSMS=1;+CNMI=2,2,0,0,0") << QByteArray("+CMT: ");
    QTest::newRow("stored beyond a SIM's size") << QByteArray("AT+CNMI=2,1,0,0,0") << QByteArray("+CMTI: ");
}

void TestVirtualModem::floodComesAtOnce()
{
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, code);
    constexpr int Count = 200;
    VirtualModemOptions options;
    options.echo = false;
    options.field.floodMessages = Count;
    Rig rig(options);
    QCOMPARE(rig.at("AT+CMEE=1"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at(setting).last(), QByteArray("OK"));
    const QList<QByteArray> lines = rig.advance(0);
    QList<QByteArray> codes;
    for (const QByteArray &line : lines) {
        if (line.startsWith(code))
            codes << line;
    }
    QCOMPARE(codes.size(), Count);
    QByteArray last;
    if (code == "+CMT: ") {
        last = lines.last();
        // Pushed without waiting, each one acknowledged afterwards; no more than were pushed.
        for (int i = 0; i < Count; ++i)
            QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"OK"});
        QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"+CMS ERROR: 340"});
    } else {
        const QByteArray index = codes.last().mid(codes.last().indexOf(',') + 1);
        last = rig.at("AT+CMGR=" + index).value(1);
    }
    QCOMPARE(pdu::decodeDeliver(last).text, QStringLiteral("flood %1").arg(Count));
}

void TestVirtualModem::freezesWithThePortOpen()
{
    VirtualModemOptions options;
    options.echo = false;
    options.field.freezeAfterSeconds = 5;
    Rig rig(options);
    QCOMPARE(rig.at("AT"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT"), QList<QByteArray>{});
    rig.modem.incomingCall(QStringLiteral("+15550001"));
    QCOMPARE(rig.advance(10000), QList<QByteArray>{});
}

QTEST_GUILESS_MAIN(TestVirtualModem)
#include "tst_virtualmodem.moc"
