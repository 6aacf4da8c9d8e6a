// SPDX-License-Identifier: GPL-3.0-or-later
// Network, SIM, SMS centre and storage facts, and USSD, as field modems give them: the virtual
// modem does the session, and a scripted layer in front of it answers the commands under test in
// each vendor's form (and refuses the ones a row leaves out, as a modem without them does).
#include "modem/pellixgsmmodem.h"
#include "raisederrorcode.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace pellix;

namespace {

// Answers the commands it holds a script for, passes everything else to the virtual modem.
// Once armed, each command of the facts (those in Owned) that a row does not script is refused
// with ERROR. A reply may have a part that comes later, unasked (the network's +CUSD).
class ScriptedFront : public ByteTransport
{
public:
    struct Answer
    {
        QByteArray now;
        QByteArray later;
        int laterMs = 0;
    };

    ScriptedFront(std::unique_ptr<ByteTransport> inner, QList<QByteArray> &written)
        : m_inner(std::move(inner))
        , m_written(written)
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }

    void arm(const QHash<QByteArray, Answer> &answers)
    {
        m_answers = answers;
        m_armed = true;
    }
    void inject(const QByteArray &bytes, int atMs)
    {
        QTimer::singleShot(atMs, this, [this, bytes] {
            m_extra += bytes;
            Q_EMIT bytesArrived();
        });
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override
    {
        const QByteArray line = bytes.trimmed();
        m_written << line;
        if (m_armed && m_answers.contains(line)) {
            const Answer a = m_answers.value(line);
            m_extra += a.now;
            if (!a.later.isEmpty())
                inject(a.later, a.laterMs);
            return true;
        }
        if (m_armed && owned(line)) {
            m_extra += "\r\nERROR\r\n";
            return true;
        }
        return m_inner->write(bytes);
    }
    QByteArray takeAvailable() override { return std::exchange(m_extra, QByteArray()) + m_inner->takeAvailable(); }
    bool waitForBytes(QDeadlineTimer deadline) override { return !m_extra.isEmpty() || m_inner->waitForBytes(deadline); }
    void close() override { m_inner->close(); }
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_inner->errorText(); }

private:
    static bool owned(const QByteArray &line)
    {
        static const char *const prefixes[] = {"AT+CREG", "AT+CGREG", "AT+CEREG", "AT+COPS", "AT+CPINR", "AT^CPIN",
                                               "AT+QPINC", "AT+XPINCNT", "AT+SPIC", "AT+CCID", "AT^ICCID", "AT+ICCID",
                                               "AT+QCCID", "AT+CRSM", "AT+CNUM", "AT+CSCA", "AT+CPMS?", "AT+CUSD",
                                               "AT+CSCS?", "AT+CIMI"};
        return std::any_of(std::begin(prefixes), std::end(prefixes), [&](const char *p) { return line.startsWith(p); });
    }

    std::unique_ptr<ByteTransport> m_inner;
    QHash<QByteArray, Answer> m_answers;
    QByteArray m_extra;
    QList<QByteArray> &m_written;
    bool m_armed = false;
};

using Script = QHash<QByteArray, ScriptedFront::Answer>;

ScriptedFront::Answer ok(const QByteArray &lines)
{
    return {"\r\n" + lines + "\r\n\r\nOK\r\n", {}, 0};
}

// "CMD=>line|line" rows, the answer OK after its lines ("ERROR" alone: refused).
Script script(const QStringList &rows)
{
    Script s;
    for (const QString &row : rows) {
        const QStringList parts = row.split(QStringLiteral("=>"));
        const QByteArray reply = parts.value(1).toLatin1();
        if (reply == "ERROR" || reply.startsWith("+CME ERROR"))
            s.insert(parts.value(0).toLatin1(), {"\r\n" + reply + "\r\n", {}, 0});
        else
            s.insert(parts.value(0).toLatin1(), reply.isEmpty() ? ScriptedFront::Answer{"\r\nOK\r\n", {}, 0}
                                                              : ok(QByteArray(reply).replace('|', "\r\n")));
    }
    return s;
}

} // namespace

class TestModemFacts : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::shared_ptr<sim::VirtualModem> m_virtual;
    ScriptedFront *m_front = nullptr;
    QList<QByteArray> m_written;             // every line the library wrote, over connections

    std::unique_ptr<PellixGsmModem> modem(const QString &pin = QString(), const Script &beforeConnect = {})
    {
        sim::VirtualModemOptions options;
        options.pin = pin;
        m_virtual = std::make_shared<sim::VirtualModem>(options);
        m_written.clear();
        auto modem = std::make_unique<PellixGsmModem>([this, beforeConnect](qint32, const ModemProfile &, qint16, qint32) {
            auto front = std::make_unique<ScriptedFront>(std::make_unique<sim::VirtualModemTransport>(m_virtual), m_written);
            m_front = front.get();
            if (!beforeConnect.isEmpty())
                front->arm(beforeConnect);
            return front;
        });
        modem->setTracePath(m_dir.filePath(QStringLiteral("Pellix.log")));
        modem->setConnectOptionA(true);
        return modem;
    }

    std::unique_ptr<PellixGsmModem> connected(const Script &answers)
    {
        auto m = modem();
        m->Connect(-1, 0, QString(), 0, 60, 0);
        m_front->arm(answers);
        return m;
    }

private Q_SLOTS:
    void network_data();
    void network();
    void sim_data();
    void sim();
    void centreAndStorage_data();
    void centreAndStorage();
    void ussd_data();
    void ussd();
    void ussdMenuAndRefusals();
    void pinWithOneAttemptLeft_data();
    void pinWithOneAttemptLeft();
};

void TestModemFacts::network_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("state");      // of best(); -1: raises NotSupported
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<int>("act");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("numeric");
    QTest::addColumn<int>("domains");

    const QStringList cops = {QStringLiteral("AT+COPS?=>+COPS: 0,0,\"Vodafone IT\",7"),
                              QStringLiteral("AT+COPS=3,2=>"), QStringLiteral("AT+COPS=3,0=>")};
    QTest::newRow("read form n=0, GSM only") << QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,1")}
        << 1 << QString() << QString() << -1 << QString() << QString() << 1;
    QTest::newRow("n=2 quoted with AcT, roaming")
        << QStringList{QStringLiteral("AT+CREG?=>+CREG: 2,5,\"1a2b\",\"00C3D4\",2")} << 5 << "1A2B" << "00C3D4" << 2
        << QString() << QString() << 1;
    QTest::newRow("n=2 unquoted, no blank") << QStringList{QStringLiteral("AT+CREG?=>+CREG:2,1,1A2B,C3D4")}
        << 1 << "1A2B" << "C3D4" << -1 << QString() << QString() << 1;
    QTest::newRow("unsolicited form to the read command")
        << QStringList{QStringLiteral("AT+CREG?=>+CREG: 1,\"1A2B\",\"C3D4\",7")} << 1 << "1A2B" << "C3D4" << 7
        << QString() << QString() << 1;
    QTest::newRow("denied outranks searching")
        << QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,2"), QStringLiteral("AT+CGREG?=>+CGREG: 0,3")} << 3
        << QString() << QString() << -1 << QString() << QString() << 2;
    QTest::newRow("LTE: +CEREG home beats +CREG searching, TAC and AcT 7")
        << QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,2"), QStringLiteral("AT+CGREG?=>+CGREG: 2,4"),
                       QStringLiteral("AT+CEREG?=>+CEREG: 2,1,\"00C3\",\"0A1B2C3D\",7")}
        << 1 << "00C3" << "0A1B2C3D" << 7 << QString() << QString() << 3;
    QTest::newRow("EPS SMS-only roaming (7) and +CGREG with RAC")
        << QStringList{QStringLiteral("AT+CGREG?=>+CGREG: 2,1,\"1A2B\",\"C3D4\",2,\"01\""),
                       QStringLiteral("AT+CEREG?=>+CEREG: 0,7")}
        << 1 << "1A2B" << "C3D4" << 2 << QString() << QString() << 2;
    QTest::newRow("+CME ERROR 4 on two domains") << QStringList{QStringLiteral("AT+CREG?=>+CME ERROR: 4"),
                                                               QStringLiteral("AT+CGREG?=>+CME ERROR: 3"),
                                                               QStringLiteral("AT+CEREG?=>+CEREG: 0,5")}
        << 5 << QString() << QString() << -1 << QString() << QString() << 1;
    QTest::newRow("no domain at all") << QStringList() << -1 << QString() << QString() << -1 << QString() << QString() << 0;
    QTest::newRow("garbage is no answer") << QStringList{QStringLiteral("AT+CREG?=>+CREG: (0-2)"),
                                                        QStringLiteral("AT+CGREG?=>+CGREG: 0,11")}
        << -1 << QString() << QString() << -1 << QString() << QString() << 0;
    QTest::newRow("operator: long first, then numeric, format restored")
        << (QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,1")} + cops) << 1 << QString() << QString() << 7
        << "Vodafone IT" << QString() << 1;
    QTest::newRow("operator numeric unquoted, long refused")
        << QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,1,\"1A2B\",\"C3\",0"),
                       QStringLiteral("AT+COPS?=>+COPS: 0,2,22210,0"), QStringLiteral("AT+COPS=3,0=>ERROR")}
        << 1 << "1A2B" << "C3" << 0 << QString() << "22210" << 1;
    QTest::newRow("no operator: +COPS: 2") << QStringList{QStringLiteral("AT+CREG?=>+CREG: 0,0"),
                                                        QStringLiteral("AT+COPS?=>+COPS: 2")}
        << 0 << QString() << QString() << -1 << QString() << QString() << 1;
}

void TestModemFacts::network()
{
    QFETCH(QStringList, answers);
    QFETCH(int, state);
    auto m = connected(script(answers));
    if (state < 0) {
        QCOMPARE(errorOf([&] { m->readNetwork(); }), code(ErrorCode::NotSupported));
        return;
    }
    const NetworkFacts facts = m->readNetwork();
    QTEST(int(facts.registrations.size()), "domains");
    QVERIFY(facts.best());
    QCOMPARE(int(facts.best()->state), state);
    QCOMPARE(facts.registered(), state == 1 || state == 5);
    QTEST(facts.best()->area, "area");
    QTEST(facts.best()->cellId, "cell");
    QTEST(facts.accessTechnology, "act");
    QTEST(facts.operatorName, "name");
    QTEST(facts.operatorNumeric, "numeric");
    // The operator format is the modem's again once read in the other form.
    const QList<QByteArray> sent = m_written;
    const qsizetype other = sent.indexOf("AT+COPS=3,2");
    if (other >= 0)
        QCOMPARE(sent.value(other + 2), QByteArray("AT+COPS=3,0"));
}

void TestModemFacts::sim_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("iccid");
    QTest::addColumn<int>("pin");
    QTest::addColumn<int>("puk");
    QTest::addColumn<QStringList>("numbers");

    const QString iccid = QStringLiteral("89390100001234567891");
    QTest::newRow("27.007: +CPINR, +CCID, +CNUM")
        << QStringList{QStringLiteral("AT+CPINR=>+CPINR: SIM PIN,3,3|+CPINR: SIM PUK,10,10|+CPINR: SIM PIN2,3,3"),
                       QStringLiteral("AT+CCID=>+CCID: 89390100001234567891"),
                       QStringLiteral("AT+CNUM=>+CNUM: \"Own\",\"+393331234567\",145")}
        << iccid << 3 << 10 << QStringList{QStringLiteral("+393331234567")};
    QTest::newRow("Huawei: ^CPIN, ^ICCID nibbles swapped, no own number")
        << QStringList{QStringLiteral("AT^CPIN?=>^CPIN: READY,,10,3,10,3"),
                       QStringLiteral("AT^ICCID?=>^ICCID: 98931000002143658719"), QStringLiteral("AT+CNUM=>")}
        << iccid << 3 << 10 << QStringList();
    QTest::newRow("Quectel: +QPINC, +QCCID with filler")
        << QStringList{QStringLiteral("AT+QPINC?=>+QPINC: \"SC\",1,10|+QPINC: \"P2\",3,10"),
                       QStringLiteral("AT+QCCID=>+QCCID: 8939010000123456789F")}
        << QStringLiteral("8939010000123456789") << 1 << 10 << QStringList();
    QTest::newRow("Intel +XPINCNT, bare ICCID line, number without alpha, type 145 without +")
        << QStringList{QStringLiteral("AT+XPINCNT=>+XPINCNT: 2,3,9,10"), QStringLiteral("AT+CCID=>89390100001234567891"),
                       QStringLiteral("AT+CNUM=>+CNUM: \"393331234567\",145")}
        << iccid << 2 << 9 << QStringList{QStringLiteral("+393331234567")};
    QTest::newRow("SIMCom +SPIC, ICCID only through +CRSM, UCS2 numbers")
        << QStringList{QStringLiteral("AT+SPIC=>+SPIC: 3,10,3,10"),
                       QStringLiteral("AT+CRSM=176,12258,0,0,10=>+CRSM: 144,0,\"98930100002143657619\""),
                       QStringLiteral("AT+CNUM=>+CNUM: \"\",\"002B0033003900330033\",145|+CNUM: ,\"0333\",129")}
        << QStringLiteral("89391000001234566791") << 3 << 10
        << QStringList{QStringLiteral("+3933"), QStringLiteral("0333")};
    QTest::newRow("nothing but +CPIN: every extra is empty, none fails")
        << QStringList{QStringLiteral("AT+CCID=>+CCID: 12"), QStringLiteral("AT+CRSM=176,12258,0,0,10=>+CRSM: 148,4")}
        << QString() << -1 << -1 << QStringList();
}

void TestModemFacts::sim()
{
    QFETCH(QStringList, answers);
    auto m = connected(script(answers));
    const SimFacts facts = m->readSim();
    QCOMPARE(facts.pinState, QStringLiteral("READY"));
    QTEST(facts.iccid, "iccid");
    QTEST(facts.pinAttempts, "pin");
    QTEST(facts.pukAttempts, "puk");
    QTEST(facts.ownNumbers, "numbers");
}

void TestModemFacts::centreAndStorage_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("centre");    // "!": NotSupported
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("storage");   // "SM 3/30 full ..." ; "!": NotSupported
    QTest::newRow("plain, three memories")
        << QStringList{QStringLiteral("AT+CSCA?=>+CSCA: \"+393359609600\",145"),
                       QStringLiteral("AT+CPMS?=>+CPMS: \"SM\",3,30,\"SM\",3,30,\"ME\",0,100")}
        << "+393359609600" << 145 << "SM 3/30,SM 3/30,ME 0/100";
    QTest::newRow("UCS2 hex centre, full SIM, blanks")
        << QStringList{QStringLiteral("AT+CSCA?=>+CSCA: \"002B00330039003300330035\",145"),
                       QStringLiteral("AT+CPMS?=>+CPMS: \"SM\", 30, 30, \"SM\", 30, 30, \"SM\", 30, 30")}
        << "+39335" << 145 << "SM 30/30 full,SM 30/30 full,SM 30/30 full";
    QTest::newRow("no centre set, two memories, type without +")
        << QStringList{QStringLiteral("AT+CSCA?=>+CSCA: \"\",129"), QStringLiteral("AT+CPMS?=>+CPMS: \"ME\",0,0,\"ME\",0,0")}
        << "" << 129 << "ME 0/0,ME 0/0";
    QTest::newRow("centre 145 without its +") << QStringList{QStringLiteral("AT+CSCA?=>+CSCA: \"393359609600\",145")}
        << "+393359609600" << 145 << "!";
    QTest::newRow("refused as unknown") << QStringList{QStringLiteral("AT+CSCA?=>+CME ERROR: 4")} << "!" << -1 << "!";
}

void TestModemFacts::centreAndStorage()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, centre);
    QFETCH(QString, storage);
    auto m = connected(script(answers));
    if (centre == QLatin1String("!")) {
        const auto error = raisedBy([&] { m->readSmsc(); });
        QVERIFY(error);
        QCOMPARE(error->number(), code(ErrorCode::NotSupported));
        QVERIFY2(error->description().contains(QLatin1String("AT+CSCA? is not supported by this modem")),
                 qPrintable(error->description()));
    } else {
        const SmscFacts facts = m->readSmsc();
        QCOMPARE(facts.number, centre);
        QTEST(facts.typeOfAddress, "type");
    }
    if (storage == QLatin1String("!")) {
        QCOMPARE(errorOf([&] { m->readStorage(); }), code(ErrorCode::NotSupported));
        return;
    }
    QStringList shown;
    for (const StorageUse &use : m->readStorage())
        shown << QStringLiteral("%1 %2/%3%4").arg(QString::fromLatin1(use.storage)).arg(use.used).arg(use.total)
                     .arg(use.full() ? QStringLiteral(" full") : QString());
    QCOMPARE(shown.join(QLatin1Char(',')), storage);
}

void TestModemFacts::ussd_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("answer");   // what the network says, after the OK
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("request");  // the command that must have gone out

    const QByteArray plainRequest = "AT+CUSD=1,\"*100#\",15";
    QTest::newRow("packed 7-bit hex, dcs 15, GSM (Huawei)")
        << QByteArray("GSM") << QByteArray("+CUSD: 0,\"C2303BEC1E9775209A6B260315AB52\",15") << 0
        << QStringLiteral("Balance: 4.32 EUR") << plainRequest;
    QTest::newRow("UCS2 hex, dcs 72") << QByteArray("IRA")
        << QByteArray("+CUSD: 0,\"04110430043B0430043D0441003A0020003500200440\",72") << 0
        << QStringLiteral("Баланс: 5 р") << plainRequest;
    QTest::newRow("plain text in IRA, dcs 15") << QByteArray("IRA") << QByteArray("+CUSD: 0,\"Credit 12.50 EUR\",15") << 0
        << QStringLiteral("Credit 12.50 EUR") << plainRequest;
    QTest::newRow("plain digits that look like hex stay text") << QByteArray("IRA") << QByteArray("+CUSD: 0,\"1250\",15")
        << 0 << QStringLiteral("1250") << plainRequest;
    QTest::newRow("UCS2 set: the request and the answer in hex") << QByteArray("UCS2")
        << QByteArray("+CUSD: 2,\"004F004B\",15") << 2 << QStringLiteral("OK")
        << QByteArray("AT+CUSD=1,\"002A0031003000300023\",15");
    QTest::newRow("HEX set: septets one per octet") << QByteArray("HEX")
        << QByteArray("+CUSD: 0,\"48656C6C6F20576F726C64\",15") << 0 << QStringLiteral("Hello World")
        << QByteArray("AT+CUSD=1,\"AA180C3602\",15");
    QTest::newRow("UCS2 with its language first, dcs 0x11") << QByteArray("GSM")
        << QByteArray("+CUSD: 0,\"65370048006900210021\",17") << 0 << QStringLiteral("Hi!!") << plainRequest;
    QTest::newRow("7-bit with its language first, dcs 0x10") << QByteArray("IRA")
        << QByteArray("+CUSD: 0,\"en\rHello\",16") << 0 << QStringLiteral("Hello") << plainRequest;
    QTest::newRow("8-bit hex, dcs 0x44") << QByteArray("IRA") << QByteArray("+CUSD: 0,\"48692E\",68") << 0
        << QStringLiteral("Hi.") << plainRequest;
    QTest::newRow("menu over several lines, vendor noise before it") << QByteArray("IRA")
        << QByteArray("^RSSI: 17\r\n+CUSD: 1,\"Menu\r\n1. Balance\r\n2. Data\",15") << 1
        << QStringLiteral("Menu\n1. Balance\n2. Data") << plainRequest;
    QTest::newRow("menu over several lines, vendor noise inside it") << QByteArray("IRA")
        << QByteArray("+CUSD: 1,\"Menu\r\n1. Balance\r\n^RSSI: 17\r\n+CMTI: \"SM\",3\r\n2. Data\",15") << 1
        << QStringLiteral("Menu\n1. Balance\n2. Data") << plainRequest;
    QTest::newRow("no text, no dcs: terminated by the network") << QByteArray("GSM") << QByteArray("+CUSD: 2") << 2
        << QString() << plainRequest;
    QTest::newRow("+CUSD: 4 is not supported") << QByteArray("GSM") << QByteArray("+CUSD: 4") << 4 << QString()
        << plainRequest;
    QTest::newRow("silent network: no answer, session cancelled") << QByteArray("GSM") << QByteArray() << -1
        << QString() << plainRequest;
}

void TestModemFacts::ussd()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, request);
    Script s = script({QStringLiteral("AT+CSCS?=>+CSCS: \"%1\"").arg(QString::fromLatin1(charset)),
                       QStringLiteral("AT+CUSD=2=>")});
    // Whatever the request's form, the network's answer comes a while after the OK.
    s.insert(request, {"\r\nOK\r\n", answer.isEmpty() ? QByteArray() : "\r\n" + answer + "\r\n", 150});
    auto m = connected(s);
    // The answer of a session an earlier caller gave up on, come late, answers nothing now.
    m_front->inject("\r\n+CUSD: 0,\"Stale answer\",15\r\n", 0);
    QTest::qWait(50);
    const UssdAnswer got = m->sendUssd(QStringLiteral("*100#"), 1500);
    QTEST(int(got.status), "status");
    QTEST(got.text, "text");
    QVERIFY(m_written.contains(request));
    QCOMPARE(m_written.contains("AT+CUSD=2"), answer.isEmpty());
}

void TestModemFacts::ussdMenuAndRefusals()
{
    // A menu: the reply goes into the same session, and a reply without one is refused.
    Script s = script({QStringLiteral("AT+CSCS?=>+CSCS: \"IRA\""), QStringLiteral("AT+CUSD=2=>")});
    s.insert("AT+CUSD=1,\"*123#\",15", {"\r\nOK\r\n", "\r\n+CUSD: 1,\"1. Balance 2. Data\",15\r\n", 50});
    s.insert("AT+CUSD=1,\"1\",15", {"\r\nOK\r\n", "\r\n+CUSD: 0,\"Balance: 3 EUR\",15\r\n", 50});
    auto m = connected(s);
    QCOMPARE(errorOf([&] { m->replyUssd(QStringLiteral("1")); }), code(ErrorCode::InvalidArgument));
    QCOMPARE(int(m->sendUssd(QStringLiteral("*123#"), 2000).status), int(UssdStatus::MoreExpected));
    const UssdAnswer done = m->replyUssd(QStringLiteral("1"), 2000);
    QCOMPARE(done.text, QStringLiteral("Balance: 3 EUR"));
    QCOMPARE(errorOf([&] { m->replyUssd(QStringLiteral("1")); }), code(ErrorCode::InvalidArgument));
    QCOMPARE(errorOf([&] { m->sendUssd(QStringLiteral("*100#\",1")); }), code(ErrorCode::InvalidArgument));

    // A modem that takes the request only packed (Huawei): the plain form's ERROR is no failure.
    Script packed = script({QStringLiteral("AT+CSCS?=>+CSCS: \"GSM\"")});
    packed.insert("AT+CUSD=1,\"AA180C3602\",15", {"\r\nOK\r\n", "\r\n+CUSD: 0,\"C8329BFD06\",15\r\n", 50});
    auto huawei = connected(packed);
    QCOMPARE(huawei->sendUssd(QStringLiteral("*100#"), 2000).text, QStringLiteral("Hello"));

    // Refused in every form: not supported, told apart from a failure.
    auto none = connected(script({QStringLiteral("AT+CSCS?=>+CSCS: \"GSM\"")}));
    QCOMPARE(errorOf([&] { none->sendUssd(QStringLiteral("*100#"), 2000); }), code(ErrorCode::NotSupported));
    auto broken = connected(script({QStringLiteral("AT+CSCS?=>+CSCS: \"GSM\""),
                                    QStringLiteral("AT+CUSD=1,\"*100#\",15=>+CME ERROR: 30")}));
    QCOMPARE(errorOf([&] { broken->sendUssd(QStringLiteral("*100#"), 2000); }), code(ErrorCode::CmeErrorBase) + 30);
}

void TestModemFacts::pinWithOneAttemptLeft_data()
{
    QTest::addColumn<QString>("attempts");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("entered");
    QTest::newRow("one left: not entered") << QStringLiteral("AT+CPINR=>+CPINR: SIM PIN,1,3") << false << false;
    QTest::newRow("one left, forced") << QStringLiteral("AT+CPINR=>+CPINR: SIM PIN,1,3") << true << true;
    QTest::newRow("one left, Quectel form") << QStringLiteral("AT+QPINC?=>+QPINC: \"SC\",1,10") << false << false;
    QTest::newRow("two left") << QStringLiteral("AT+CPINR=>+CPINR: SIM PIN,2,3") << false << true;
    QTest::newRow("the modem does not say") << QStringLiteral("AT+CPINR=>ERROR") << false << true;
}

void TestModemFacts::pinWithOneAttemptLeft()
{
    QFETCH(QString, attempts);
    QFETCH(bool, force);
    QFETCH(bool, entered);
    auto m = modem(QStringLiteral("1234"), script({attempts}));
    m->setForcePin(force);
    const auto error = raisedBy([&] { m->Connect(-1, 0, QStringLiteral("1234"), 0, 60, 0); });
    const bool sent = std::any_of(m_written.begin(), m_written.end(),
                                  [](const QByteArray &line) { return line.startsWith("AT+CPIN=\""); });
    QCOMPARE(sent, entered);
    if (entered) {
        QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        QCOMPARE(m->Status(), qint32(GsmModem::Connected));
    } else {
        QVERIFY(error);
        QCOMPARE(error->number(), code(ErrorCode::PinRequired));
        QVERIFY2(error->description().contains(QLatin1String("1 attempt left")), qPrintable(error->description()));
    }
}

QTEST_GUILESS_MAIN(TestModemFacts)
#include "tst_modemfacts.moc"
