// SPDX-License-Identifier: GPL-3.0-or-later
// What the virtual modem says of its network, SIM, message centre, storage and USSD, with the
// field behaviours that make each of them fail as on real modems.
#include "pdu/gsmalphabet.h"
#include "pdu/smspdu.h"
#include "sim/virtualmodem.h"
#include "sim/virtualnetwork.h"

#include <QtTest>

#include <functional>

using namespace pellix;
using namespace pellix::sim;

namespace {

using Setup = std::function<void(VirtualModemOptions &)>;
using Lines = QList<QByteArray>;

Lines linesOf(const QByteArray &out)
{
    Lines lines;
    for (const QByteArray &line : out.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            lines << text;
    }
    return lines;
}

struct Rig
{
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    VirtualModem modem;

    explicit Rig(const Setup &setup) : modem(options(setup), clock) { at("ATE0+CMEE=1"); }

    static VirtualModemOptions options(const Setup &setup)
    {
        VirtualModemOptions o;
        if (setup)
            setup(o);
        return o;
    }
    QByteArray raw(const QByteArray &bytes)
    {
        modem.feed(bytes);
        return modem.takeOutput();
    }
    Lines at(const QByteArray &line) { return linesOf(raw(line + '\r')); }
    Lines lastOf(const QByteArrayList &commands)
    {
        Lines last;
        for (const QByteArray &command : commands)
            last = at(command);
        return last;
    }
    Lines advance(qint64 ms)
    {
        Lines seen;
        for (qint64 t = 0; t < ms; t += 100) {
            clock->advance(100);
            modem.poll();
            seen << linesOf(modem.takeOutput());
        }
        return seen;
    }
    Lines send(const QByteArray &hex)
    {
        const int length = int(hex.size() / 2) - 1 - hex.left(2).toInt(nullptr, 16);
        const QByteArray prompt = raw("AT+CMGS=" + QByteArray::number(length) + '\r');
        if (!prompt.endsWith("> "))
            return {"no prompt: " + prompt};
        return linesOf(raw(hex + '\x1A'));
    }
};

QByteArray submitPdu(const QString &to, const QString &text, const QString &smsc = QString(), bool report = false)
{
    pdu::SubmitPdu submit;
    submit.smsc = smsc;
    submit.destination = to;
    submit.text = text;
    submit.statusReportRequest = report;
    return pdu::encodeSubmit(submit).hex;
}

Setup field(std::function<void(FieldBehaviour &)> change)
{
    return [change](VirtualModemOptions &o) { change(o.field); };
}

// The text of a +CUSD <str> in the coding its <dcs> and the --ussd form give it.
QString ussdText(const QByteArray &body, const QByteArray &coding)
{
    if (coding == "ucs2") {
        const QByteArray bytes = QByteArray::fromHex(body);
        QString text;
        for (int i = 0; i + 1 < bytes.size(); i += 2)
            text += QChar(char16_t((uchar(bytes.at(i)) << 8) | uchar(bytes.at(i + 1))));
        return text;
    }
    if (coding == "packed") {
        const QByteArray octets = QByteArray::fromHex(body);
        // 23.038 6.1.2.3.1: a carriage return fills seven spare bits at the end.
        QByteArray septets = pdu::unpackSeptets(octets, int(octets.size() * 8 / 7));
        if (septets.endsWith('\r'))
            septets.chop(1);
        return pdu::decodeGsm7(septets);
    }
    return QString::fromLatin1(body);
}

} // namespace

class TestVirtualNetworkFacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void registrationAnnounced_data();
    void registrationAnnounced();
    void sendingNeedsServiceAndCentre_data();
    void sendingNeedsServiceAndCentre();
    void ussd_data();
    void ussd();
    void ownNumberComesBackWithReport_data();
    void ownNumberComesBackWithReport();
};

void TestVirtualNetworkFacts::answers_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<Lines>("answer");  // to the last command
    using R = FieldBehaviour::Registration;
    const auto registration = [](R state) { return field([state](FieldBehaviour &f) { f.registration = state; }); };
    const auto withPin = [](int attempts) {
        return Setup([attempts](VirtualModemOptions &o) {
            o.pin = QStringLiteral("1234");
            o.field.pinAttempts = attempts;
        });
    };
    QTest::newRow("EPS cell with E-UTRAN") << Setup() << QByteArrayList{"AT+CEREG=2", "AT+CEREG?"}
                                           << Lines{"+CEREG: 2,1,\"1A2B\",\"01A2C3D4\",7", "OK"};
    QTest::newRow("roaming") << registration(R::Roaming) << QByteArrayList{"AT+CREG?"} << Lines{"+CREG: 0,5", "OK"};
    QTest::newRow("roaming shows its cell") << registration(R::Roaming) << QByteArrayList{"AT+CGREG=2", "AT+CGREG?"}
                                            << Lines{"+CGREG: 2,5,\"1A2B\",\"00C3D4\"", "OK"};
    QTest::newRow("searching, no cell") << registration(R::Searching) << QByteArrayList{"AT+CREG=2", "AT+CREG?"}
                                        << Lines{"+CREG: 2,2", "OK"};
    QTest::newRow("denied") << registration(R::Denied) << QByteArrayList{"AT+CEREG?"} << Lines{"+CEREG: 0,3", "OK"};
    QTest::newRow("not searching") << registration(R::None) << QByteArrayList{"AT+CGREG?"} << Lines{"+CGREG: 0,0", "OK"};
    QTest::newRow("no operator while denied") << registration(R::Denied) << QByteArrayList{"AT+COPS?"}
                                              << Lines{"+COPS: 0", "OK"};
    QTest::newRow("radio off leaves roaming") << registration(R::Roaming) << QByteArrayList{"AT+CFUN=4", "AT+CREG?"}
                                              << Lines{"+CREG: 0,0", "OK"};
    QTest::newRow("ICCID") << Setup() << QByteArrayList{"AT+CCID"} << Lines{"+CCID: 8900101234567890127", "OK"};
    QTest::newRow("ICCID alias") << Setup() << QByteArrayList{"AT+ICCID"} << Lines{"+ICCID: 8900101234567890127", "OK"};
    QTest::newRow("ICCID needs the PIN") << withPin(-1) << QByteArrayList{"AT+CCID"} << Lines{"+CME ERROR: 11"};
    QTest::newRow("attempts, all codes") << Setup() << QByteArrayList{"AT+CPINR"}
                                         << Lines{"+CPINR: \"SIM PIN\",3,3", "+CPINR: \"SIM PUK\",10,10", "OK"};
    QTest::newRow("one PIN attempt left") << withPin(1) << QByteArrayList{"AT+CPINR=\"SIM PIN\""}
                                          << Lines{"+CPINR: \"SIM PIN\",1,3", "OK"};
    QTest::newRow("one attempt: the SIM asks") << withPin(1) << QByteArrayList{"AT+CPIN?"} << Lines{"+CPIN: SIM PIN", "OK"};
    QTest::newRow("no attempt: PUK") << withPin(0) << QByteArrayList{"AT+CPIN?"} << Lines{"+CPIN: SIM PUK", "OK"};
    QTest::newRow("a wrong PIN counts") << withPin(2) << QByteArrayList{"AT+CPIN=\"0000\"", "AT+CPINR=\"SIM P?N\""}
                                        << Lines{"+CPINR: \"SIM PIN\",1,3", "OK"};
    QTest::newRow("a wrong PUK counts") << withPin(0) << QByteArrayList{"AT+CPIN=\"1\",\"1234\"", "AT+CPINR=\"*PUK\""}
                                        << Lines{"+CPINR: \"SIM PUK\",9,10", "OK"};
    QTest::newRow("no centre") << field([](FieldBehaviour &f) { f.noSmsc = true; }) << QByteArrayList{"AT+CSCA?"}
                               << Lines{"+CSCA: \"\",129", "OK"};
    QTest::newRow("centre set again") << field([](FieldBehaviour &f) { f.noSmsc = true; })
                                      << QByteArrayList{"AT+CSCA=\"+3934800000009\",145", "AT+CSCA?"}
                                      << Lines{"+CSCA: \"+3934800000009\",145", "OK"};
    const auto full = field([](FieldBehaviour &f) { f.storageFull = true; });
    QTest::newRow("storage full") << full << QByteArrayList{"AT+CPMS?"}
                                  << Lines{"+CPMS: \"SM\",50,50,\"SM\",50,50,\"SM\",50,50", "OK"};
    QTest::newRow("storage full refuses writing") << full << QByteArrayList{"AT+CMGW=20"} << Lines{"+CMS ERROR: 322"};
    QTest::newRow("no own number") << field([](FieldBehaviour &f) { f.noCnum = true; }) << QByteArrayList{"AT+CNUM"}
                                   << Lines{"OK"};
    QTest::newRow("own number") << field([](FieldBehaviour &f) { f.ownNumber = QStringLiteral("+4915112345678"); })
                                << QByteArrayList{"AT+CNUM"} << Lines{"+CNUM: \"Own number\",\"+4915112345678\",145", "OK"};
    QTest::newRow("national own number") << field([](FieldBehaviour &f) { f.ownNumber = QStringLiteral("015112345678"); })
                                         << QByteArrayList{"AT+CNUM"} << Lines{"+CNUM: \"Own number\",\"015112345678\",129", "OK"};
    QTest::newRow("USSD not supported") << field([](FieldBehaviour &f) { f.ussd = FieldBehaviour::Ussd::NotSupported; })
                                        << QByteArrayList{"AT+CUSD=1,\"*100#\",15"} << Lines{"+CME ERROR: 4"};
}

void TestVirtualNetworkFacts::answers()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArrayList, commands);
    QFETCH(Lines, answer);
    Rig rig(setup);
    QCOMPARE(rig.lastOf(commands), answer);
}

void TestVirtualNetworkFacts::registrationAnnounced_data()
{
    QTest::addColumn<FieldBehaviour::Registration>("state");
    QTest::addColumn<Lines>("announced");  // after the PIN opens the SIM
    using R = FieldBehaviour::Registration;
    QTest::newRow("home") << R::Home << Lines{"+CREG: 1,\"1A2B\",\"00C3D4\"", "+CEREG: 1"};
    QTest::newRow("roaming") << R::Roaming << Lines{"+CREG: 5,\"1A2B\",\"00C3D4\"", "+CEREG: 5"};
    QTest::newRow("denied") << R::Denied << Lines{"+CREG: 3", "+CEREG: 3"};
    QTest::newRow("searching") << R::Searching << Lines{"+CREG: 2", "+CEREG: 2"};
    QTest::newRow("none") << R::None << Lines{};
}

void TestVirtualNetworkFacts::registrationAnnounced()
{
    QFETCH(FieldBehaviour::Registration, state);
    QFETCH(Lines, announced);
    Rig rig([state](VirtualModemOptions &o) {
        o.pin = QStringLiteral("1234");
        o.field.registration = state;
    });
    rig.at("AT+CREG=2;+CEREG=1");
    Lines said = rig.at("AT+CPIN=\"1234\"");
    said.removeAll("OK");
    QCOMPARE(said, announced);
}

void TestVirtualNetworkFacts::sendingNeedsServiceAndCentre_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("smsc");  // in the PDU
    QTest::addColumn<QByteArray>("answer");
    const auto noSmsc = field([](FieldBehaviour &f) { f.noSmsc = true; });
    QTest::newRow("home") << Setup() << QString() << QByteArray("+CMGS: 1");
    QTest::newRow("roaming") << field([](FieldBehaviour &f) { f.registration = FieldBehaviour::Registration::Roaming; })
                             << QString() << QByteArray("+CMGS: 1");
    QTest::newRow("searching") << field([](FieldBehaviour &f) { f.registration = FieldBehaviour::Registration::Searching; })
                               << QString() << QByteArray("+CMS ERROR: 331");
    QTest::newRow("denied") << field([](FieldBehaviour &f) { f.registration = FieldBehaviour::Registration::Denied; })
                            << QString() << QByteArray("+CMS ERROR: 331");
    QTest::newRow("no centre anywhere") << noSmsc << QString() << QByteArray("+CMS ERROR: 330");
    QTest::newRow("the PDU names one") << noSmsc << QStringLiteral("+3934800000001") << QByteArray("+CMGS: 1");
}

void TestVirtualNetworkFacts::sendingNeedsServiceAndCentre()
{
    QFETCH(Setup, setup);
    QFETCH(QString, smsc);
    QFETCH(QByteArray, answer);
    Rig rig(setup);
    QCOMPARE(rig.send(submitPdu(QStringLiteral("+3934822222222"), QStringLiteral("hi"), smsc)).value(0), answer);
}

void TestVirtualNetworkFacts::ussd_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArrayList>("commands");  // each answered OK; the network answers the last
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<Lines>("answers");            // "<m>,<dcs>,<text>", or the line itself without <str>
    using U = FieldBehaviour::Ussd;
    const auto form = [](U ussd) { return field([ussd](FieldBehaviour &f) { f.ussd = ussd; }); };
    const QByteArray credit = "Credit: 12.34 EUR, valid until 31/12";
    const QByteArray menu = "Pellix menu: 1 Balance, 2 My number, reply with a number";
    QTest::newRow("balance") << Setup() << QByteArrayList{"AT+CUSD=1,\"*100#\",15"} << QByteArray("text")
                             << Lines{"0,15," + credit};
    QTest::newRow("in the UCS2 set") << Setup()
                                     << QByteArrayList{"AT+CSCS=\"UCS2\"", "AT+CUSD=1,\"002A0031003000300023\",15"}
                                     << QByteArray("ucs2") << Lines{"0,15," + credit};
    QTest::newRow("ucs2 network") << form(U::Ucs2) << QByteArrayList{"AT+CUSD=1,\"*100#\",15"} << QByteArray("ucs2")
                                  << Lines{"0,72," + credit};
    QTest::newRow("packed") << form(U::Packed) << QByteArrayList{"AT+CUSD=1,\"*100#\",15"} << QByteArray("packed")
                            << Lines{"0,15," + credit};
    // 31 septets leave seven spare bits, which must not read as '@'.
    QTest::newRow("packed, seven spare bits") << field([](FieldBehaviour &f) {
        f.ussd = U::Packed;
        f.ownNumber = QStringLiteral("+491511234567890");
    }) << QByteArrayList{"AT+CUSD=1,\"*101#\",15"} << QByteArray("packed") << Lines{"0,15,Your number is +491511234567890"};
    QTest::newRow("plain text in the UCS2 set") << form(U::Text)
                                                << QByteArrayList{"AT+CSCS=\"UCS2\"", "AT+CUSD=1,\"002A0031003000300023\",15"}
                                                << QByteArray("text") << Lines{"0,15," + credit};
    QTest::newRow("silent") << form(U::Silent) << QByteArrayList{"AT+CUSD=1,\"*100#\",15"} << QByteArray("text") << Lines{};
    QTest::newRow("unknown code") << Setup() << QByteArrayList{"AT+CUSD=1,\"*999#\",15"} << QByteArray("text")
                                  << Lines{"+CUSD: 4"};
    QTest::newRow("menu") << Setup() << QByteArrayList{"AT+CUSD=1,\"*111#\",15"} << QByteArray("text")
                          << Lines{"1,15," + menu};
    QTest::newRow("menu reply") << field([](FieldBehaviour &f) { f.ownNumber = QStringLiteral("+4915112345678"); })
                                << QByteArrayList{"AT+CUSD=1,\"*111#\",15", "AT+CUSD=1,\"2\",15"} << QByteArray("text")
                                << Lines{"1,15," + menu, "0,15,Your number is +4915112345678"};
    QTest::newRow("menu, wrong reply") << Setup() << QByteArrayList{"AT+CUSD=1,\"*111#\",15", "AT+CUSD=1,\"7\",15"}
                                       << QByteArray("text") << Lines{"1,15," + menu, "1,15,Unknown choice. " + menu};
    QTest::newRow("cancelled menu") << Setup()
                                    << QByteArrayList{"AT+CUSD=1,\"*111#\",15", "AT+CUSD=2", "AT+CUSD=1,\"1\",15"}
                                    << QByteArray("text") << Lines{"1,15," + menu, "+CUSD: 4"};
    QTest::newRow("cancelled before the answer") << Setup() << QByteArrayList{"AT+CUSD=1,\"*100#\",15", "!AT+CUSD=2"}
                                                 << QByteArray("text") << Lines{};
    QTest::newRow("presentation off") << Setup() << QByteArrayList{"AT+CUSD=1,\"*100#\",15", "!AT+CUSD=0"}
                                      << QByteArray("text") << Lines{};
}

void TestVirtualNetworkFacts::ussd()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, coding);
    QFETCH(Lines, answers);
    Rig rig(setup);
    Lines said;
    for (QByteArray command : commands) {
        // '!': at once, before the network answered the one before.
        if (command.startsWith('!'))
            command.remove(0, 1);
        else
            said << rig.advance(3000);
        QCOMPARE(rig.at(command), Lines{"OK"});
    }
    said << rig.advance(3000);
    Lines read;
    for (const QByteArray &line : said) {
        QVERIFY2(line.startsWith("+CUSD: "), line.constData());
        const QByteArray body = line.mid(7);
        const int open = body.indexOf('"');
        const int close = body.lastIndexOf('"');
        if (open < 0) {
            read << line;
            continue;
        }
        const QByteArray status = body.left(open - 1);
        const QByteArray dcs = body.mid(close + 2);
        read << status + ',' + dcs + ',' + ussdText(body.mid(open + 1, close - open - 1), coding).toLatin1();
    }
    QCOMPARE(read, answers);
}

void TestVirtualNetworkFacts::ownNumberComesBackWithReport_data()
{
    QTest::addColumn<QString>("own");       // --own-number; empty: the standard one
    QTest::addColumn<QString>("dialled");
    QTest::addColumn<QString>("originator"); // of the message that comes back
    QTest::newRow("standard") << QString() << QString::fromLatin1(VirtualNetwork::OwnNumber)
                              << QString::fromLatin1(VirtualNetwork::OwnNumber);
    QTest::newRow("own-number") << QStringLiteral("+4915112345678") << QStringLiteral("+4915112345678")
                                << QStringLiteral("+4915112345678");
    QTest::newRow("own-number with 00") << QStringLiteral("+4915112345678") << QStringLiteral("004915112345678")
                                        << QStringLiteral("+4915112345678");
    QTest::newRow("the old number is a stranger") << QStringLiteral("+4915112345678")
                                                  << QString::fromLatin1(VirtualNetwork::OwnNumber) << QString();
}

void TestVirtualNetworkFacts::ownNumberComesBackWithReport()
{
    QFETCH(QString, own);
    QFETCH(QString, dialled);
    QFETCH(QString, originator);
    Rig rig(field([own](FieldBehaviour &f) { f.ownNumber = own; }));
    rig.at("AT+CNMI=2,2,0,1,0");
    QVERIFY(rig.send(submitPdu(dialled, QStringLiteral("loop"), QString(), true)).value(0).startsWith("+CMGS: "));
    const Lines said = rig.advance(5000);
    QString from;
    bool reported = false;
    for (int i = 0; i + 1 < said.size(); ++i) {
        if (said.at(i).startsWith("+CMT: "))
            from = pdu::decodeDeliver(said.at(i + 1)).originator.number;
        reported = reported || said.at(i).startsWith("+CDS: ");
    }
    QCOMPARE(from, originator);
    QVERIFY(reported);
}

QTEST_GUILESS_MAIN(TestVirtualNetworkFacts)
#include "tst_virtualnetworkfacts.moc"
