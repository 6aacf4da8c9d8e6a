// SPDX-License-Identifier: GPL-3.0-or-later
// Phonebook names in the +CSCS character sets: the coding on the command line, and the library
// end to end on virtual modems that offer UCS2, GSM or IRA alone.
#include "modem/pellixgsmmodem.h"
#include "modem/phonebooktext.h"
#include "profiles/modemprofile.h"
#include "raisederrorcode.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QtTest>

using namespace pellix;
using phonebook::Charset;

Q_DECLARE_METATYPE(pellix::phonebook::Charset)

namespace {

const QString Cjk = QStringLiteral("山田");

} // namespace

class TestPhonebookText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void coding_data()
    {
        QTest::addColumn<Charset>("set");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("wire");  // empty: refused
        QTest::newRow("UCS2 umlaut") << Charset::Ucs2 << "Jürgen" << QByteArray("004A00FC007200670065006E");
        QTest::newRow("UCS2 CJK") << Charset::Ucs2 << Cjk << QByteArray("5C717530");
        QTest::newRow("GSM umlaut as its septet") << Charset::Gsm << "Jürgen" << QByteArray("J~rgen");
        QTest::newRow("GSM euro as an escape pair") << Charset::Gsm << "€uro" << QByteArray("\x1B\x65uro");
        QTest::newRow("GSM @ $ _ below 0x20") << Charset::Gsm << "@$_" << QByteArray("\x00\x02\x11", 3);
        QTest::newRow("GSM has no e with diaeresis") << Charset::Gsm << "Zoë" << QByteArray();
        QTest::newRow("GSM o grave is the backspace byte") << Charset::Gsm << "ò" << QByteArray();
        QTest::newRow("GSM CJK") << Charset::Gsm << Cjk << QByteArray();
        QTest::newRow("IRA ASCII") << Charset::Ira << "Anna {B}" << QByteArray("Anna {B}");
        QTest::newRow("IRA umlaut") << Charset::Ira << "Jürgen" << QByteArray();
        QTest::newRow("unknown set: what GSM and IRA write alike") << Charset::Unknown << "Anna 1-2" << QByteArray("Anna 1-2");
        QTest::newRow("unknown set: _ differs") << Charset::Unknown << "a_b" << QByteArray();
    }
    void coding()
    {
        QFETCH(Charset, set);
        QFETCH(QString, text);
        QFETCH(QByteArray, wire);
        if (wire.isEmpty()) {
            QCOMPARE(errorOf([&] { phonebook::encodeText(text, set); }), code(ErrorCode::TextNotRepresentable));
            return;
        }
        QCOMPARE(phonebook::encodeText(text, set), wire);
        QCOMPARE(phonebook::decodeText(wire, set), text);
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("number");  // read in UCS2
        QTest::newRow("hex of dialling characters") << QByteArray("002B0033003900310032") << "+3912";
        QTest::newRow("star and hash in hex") << QByteArray("002A0031002300320023") << "*1#2#";
        QTest::newRow("plain with plus") << QByteArray("+3912") << "+3912";
        QTest::newRow("plain digits that are hex of no digit") << QByteArray("4242") << "4242";
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void numbers()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, number);
        QCOMPARE(phonebook::decodeNumber(field, Charset::Ucs2), number);
        QCOMPARE(phonebook::decodeNumber(field, Charset::Gsm), QString::fromLatin1(field));
    }

    // The library against a modem that offers one set: names round-trip where the set can carry
    // them, and are refused with a clear error where it cannot; the SIM holds the very name.
    void namesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("charsets");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint32>("error");
        const qint32 refused = code(ErrorCode::TextNotRepresentable);
        const struct
        {
            const char *set;
            qint32 juergen, euro, zoe, cjk;
        } sets[] = {
            {"UCS2", 0, 0, 0, 0},
            {"GSM,IRA,UCS2", 0, 0, 0, 0},  // the default: UCS2 for the phonebook, IRA put back
            {"GSM", 0, 0, refused, refused},
            {"IRA", refused, refused, refused, refused},
        };
        for (const auto &s : sets) {
            QTest::addRow("%s Juergen", s.set) << QByteArray(s.set) << "Jürgen" << s.juergen;
            QTest::addRow("%s euro sign", s.set) << QByteArray(s.set) << "€uro" << s.euro;
            QTest::addRow("%s Zoe with diaeresis", s.set) << QByteArray(s.set) << "Zoë" << s.zoe;
            QTest::addRow("%s CJK", s.set) << QByteArray(s.set) << Cjk << s.cjk;
            QTest::addRow("%s ASCII", s.set) << QByteArray(s.set) << "Anna" << 0;
            QTest::addRow("%s longer than the SIM holds", s.set) << QByteArray(s.set) << QString(21, QLatin1Char('a'))
                                                                  << code(ErrorCode::InvalidArgument);
        }
    }
    void namesRoundTrip()
    {
        QFETCH(QByteArray, charsets);
        QFETCH(QString, name);
        QFETCH(qint32, error);
        sim::VirtualModemOptions options;
        options.field.charsets = charsets;
        auto virtualModem = std::make_shared<sim::VirtualModem>(options);
        PellixGsmModem modem([virtualModem](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            return std::make_unique<sim::VirtualModemTransport>(virtualModem);
        });
        modem.setTracePath(QString());
        modem.Connect(-1, 0, QString(), 0, 60, 0);

        // The SIM's own non-ASCII name reads right in every set.
        const auto entries = modem.ReadPhonebook(2, 2);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().Name, QStringLiteral("Jürgen Müller"));

        PhonebookEntry entry{50, name, QStringLiteral("+391234")};
        QCOMPARE(errorOf([&] { modem.WritePhonebookEntry(entry); }), error);
        const auto &book = virtualModem->sim().phonebook();
        if (error) {
            QVERIFY(book.find(50) == book.end());
        } else {
            QCOMPARE(book.at(50).name, name);
            QCOMPARE(entry.Name, name);
            const auto back = modem.ReadPhonebook(50, 50);
            QCOMPARE(back.size(), 1);
            QCOMPARE(back.first().Name, name);
            QCOMPARE(back.first().Number, QStringLiteral("+391234"));
        }

        // The modem is left in the set it had at power-on.
        modem.Disconnect();
        virtualModem->takeOutput();
        virtualModem->feed("ATE0\rAT+CSCS?\r");
        const QByteArray own = charsets.contains("IRA") ? "IRA" : charsets;
        QVERIFY(virtualModem->takeOutput().contains("+CSCS: \"" + own + '"'));
    }
};

QTEST_GUILESS_MAIN(TestPhonebookText)
#include "tst_phonebooktext.moc"
