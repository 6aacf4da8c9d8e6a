// SPDX-License-Identifier: GPL-3.0-or-later
// The framing modems really use (CR LF, lone LF, lone CR, Huawei's CR CR LF, Wavecom's leading
// blanks), the "> " prompt, and the result-code table, each fed whole, byte by byte and split at
// every position: a parser that only works on whole replies fails on a real serial port.
#include "at/atlineclassifier.h"
#include "at/atlinesplitter.h"

#include <QtTest>

using namespace pellix;

namespace {

// Tokens as text: "L:<line>", "C:<cut line>", "P" (prompt).
QStringList tokens(AtLineSplitter &splitter)
{
    QStringList out;
    for (;;) {
        switch (splitter.next()) {
        case AtLineSplitter::Token::None:
            return out;
        case AtLineSplitter::Token::Prompt:
            out << QStringLiteral("P");
            break;
        case AtLineSplitter::Token::Line:
            out << (splitter.lineWasCut() ? QStringLiteral("C:") : QStringLiteral("L:"))
                       + QString::fromLatin1(splitter.line().toByteArray());
            break;
        }
    }
}

// The input fed in pieces cut at the given positions.
QStringList split(const QByteArray &input, const QList<qsizetype> &cuts, bool promptExpected)
{
    AtLineSplitter splitter;
    splitter.setPromptExpected(promptExpected);
    QStringList out;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        splitter.feed(QByteArrayView(input).sliced(from, cut - from));
        out << tokens(splitter);
        from = cut;
    }
    splitter.feed(QByteArrayView(input).sliced(from));
    out << tokens(splitter);
    return out;
}

void compareAllDeliveries(const QByteArray &input, bool promptExpected, const QStringList &expected)
{
    QCOMPARE(split(input, {}, promptExpected), expected);
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < input.size(); ++i)
        everyByte << i;
    QCOMPARE(split(input, everyByte, promptExpected), expected);
    for (qsizetype i = 1; i < input.size(); ++i) {
        const QStringList got = split(input, {i}, promptExpected);
        if (got != expected)
            QFAIL(qPrintable(QStringLiteral("split at %1: %2").arg(i).arg(got.join(QLatin1Char('|')))));
    }
}

} // namespace

class TestAtLineSplitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("promptExpected");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("CR LF around every line") << QByteArray("\r\n+CSQ: 21,99\r\n\r\nOK\r\n") << false
                                                 << QStringList{"L:+CSQ: 21,99", "L:OK"};
        QTest::newRow("lone LF") << QByteArray("+CSQ: 1,2\nOK\n") << false << QStringList{"L:+CSQ: 1,2", "L:OK"};
        QTest::newRow("lone CR") << QByteArray("+CSQ: 1,2\rOK\r") << false << QStringList{"L:+CSQ: 1,2", "L:OK"};
        QTest::newRow("CR CR LF after an echo") << QByteArray("AT&C\r\r\nOK\r\n") << false << QStringList{"L:AT&C", "L:OK"};
        QTest::newRow("blanks around a bare answer") << QByteArray("\r\n WAVECOM MODEM \t\r\n\r\nOK\r\n") << false
                                                     << QStringList{"L:WAVECOM MODEM", "L:OK"};
        QTest::newRow("runs of empty lines") << QByteArray("\r\n\r\n\n\r\r\n  \r\nOK\r\n") << false << QStringList{"L:OK"};
        QTest::newRow("unfinished line held back") << QByteArray("OK\r\n+CMTI: \"SM\",1") << false << QStringList{"L:OK"};
        QTest::newRow("prompt") << QByteArray("AT+CMGS=23\r\r\n> ") << true << QStringList{"L:AT+CMGS=23", "P"};
        QTest::newRow("prompt without its blank") << QByteArray("\r\n>") << true << QStringList{"P"};
        QTest::newRow("prompt followed by the PDU echo") << QByteArray("\r\n> 0791AB\x1a\r\n+CMGS: 4\r\n") << true
                                                         << QStringList{"P", "L:0791AB\x1a", "L:+CMGS: 4"};
        QTest::newRow("RING before the prompt") << QByteArray("\r\nRING\r\n\r\n> ") << true << QStringList{"L:RING", "P"};
        QTest::newRow("'>' is text when no prompt is expected") << QByteArray("\r\n> \r\nOK\r\n") << false
                                                                << QStringList{"L:>", "L:OK"};
        QTest::newRow("'>' inside a line is no prompt") << QByteArray("\r\n+CUSD: 0,\"a>b\"\r\n") << true
                                                        << QStringList{"L:+CUSD: 0,\"a>b\""};
    }
    void framing()
    {
        QFETCH(QByteArray, input);
        QFETCH(bool, promptExpected);
        QFETCH(QStringList, expected);
        compareAllDeliveries(input, promptExpected, expected);
    }

    void overlongLines_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("chunk");
        QTest::newRow("long line with its end") << QByteArray(5000, 'A') + "\r\nOK\r\n" << 5006;
        QTest::newRow("long line in small chunks") << QByteArray(5000, 'A') + "\r\nOK\r\n" << 7;
        QTest::newRow("a megabyte without line end") << QByteArray(1 << 20, 'B') + "\nOK\n" << 1000;
    }
    void overlongLines()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, chunk);
        AtLineSplitter splitter;
        QStringList out;
        for (qsizetype i = 0; i < input.size(); i += chunk) {
            splitter.feed(QByteArrayView(input).sliced(i, std::min<qsizetype>(chunk, input.size() - i)));
            out << tokens(splitter);
            QVERIFY(splitter.buffered() <= splitter.maxLineLength());
        }
        QCOMPARE(out.size(), 2);
        QVERIFY(out.first().startsWith(QLatin1String("C:")));
        QCOMPARE(out.first().size(), 2 + splitter.maxLineLength());
        QCOMPARE(out.last(), QStringLiteral("L:OK"));
        QCOMPARE(splitter.cutLines(), 1);
    }

    // A modem that answers a send with blanks and never its prompt: the splitter keeps no more
    // than a line of them and says so with a cut line, and a prompt after them is still one.
    void blanksWhilePromptExpected()
    {
        AtLineSplitter splitter;
        splitter.setPromptExpected(true);
        QStringList out;
        const QByteArray blanks(1000, ' ');
        for (int i = 0; i < 1000; ++i) {
            splitter.feed(blanks);
            out << tokens(splitter);
            QVERIFY(splitter.buffered() <= splitter.maxLineLength());
        }
        QVERIFY(!out.isEmpty());
        QVERIFY(std::all_of(out.begin(), out.end(), [](const QString &t) { return t.startsWith(QLatin1String("C:")); }));
        splitter.feed("\r\n> ");
        QCOMPARE(tokens(splitter), QStringList{QStringLiteral("P")});
    }

    void classification_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected"); // F:<final>:<errorCode>, U:<kind>, O
        QTest::newRow("OK") << QByteArray("OK") << "F:0:-1";
        QTest::newRow("ERROR") << QByteArray("ERROR") << "F:1:-1";
        QTest::newRow("CME numeric") << QByteArray("+CME ERROR: 11") << "F:2:11";
        QTest::newRow("CME without blank") << QByteArray("+CME ERROR:14") << "F:2:14";
        QTest::newRow("CME verbose") << QByteArray("+CME ERROR: SIM PIN required") << "F:2:11";
        QTest::newRow("CME verbose other case") << QByteArray("+CME ERROR: sim busy") << "F:2:14";
        QTest::newRow("CME vendor text") << QByteArray("+CME ERROR: frobnicator jammed") << "F:2:-1";
        QTest::newRow("CMS numeric") << QByteArray("+CMS ERROR: 321") << "F:3:321";
        QTest::newRow("CMS verbose") << QByteArray("+CMS ERROR: invalid memory index") << "F:3:321";
        QTest::newRow("CMS verbose text of a CME code") << QByteArray("+CMS ERROR: SIM PIN required") << "F:3:311";
        QTest::newRow("CMS empty") << QByteArray("+CMS ERROR:") << "F:3:-1";
        QTest::newRow("NO CARRIER") << QByteArray("NO CARRIER") << "F:4:-1";
        QTest::newRow("BUSY") << QByteArray("BUSY") << "F:5:-1";
        QTest::newRow("NO ANSWER") << QByteArray("NO ANSWER") << "F:6:-1";
        QTest::newRow("NO DIALTONE") << QByteArray("NO DIALTONE") << "F:7:-1";
        QTest::newRow("COMMAND NOT SUPPORT") << QByteArray("COMMAND NOT SUPPORT") << "F:8:-1";
        QTest::newRow("RING") << QByteArray("RING") << "U:0";
        QTest::newRow("+CRING") << QByteArray("+CRING: VOICE") << "U:0";
        QTest::newRow("+CLIP") << QByteArray("+CLIP: \"+391234\",145") << "U:1";
        QTest::newRow("+CMTI") << QByteArray("+CMTI: \"SM\",3") << "U:2";
        QTest::newRow("+CDSI") << QByteArray("+CDSI: \"SR\",1") << "U:3";
        QTest::newRow("+CMT") << QByteArray("+CMT: ,24") << "U:4";
        QTest::newRow("+CDS") << QByteArray("+CDS: 25") << "U:5";
        QTest::newRow("+CREG") << QByteArray("+CREG: 1") << "U:6";
        QTest::newRow("+CUSD") << QByteArray("+CUSD: 0,\"Balance\",15") << "U:7";
        QTest::newRow("response line") << QByteArray("+CSQ: 21,99") << "O";
        QTest::newRow("OK with more after it") << QByteArray("OKAY") << "O";
        QTest::newRow("RING as part of a word") << QByteArray("RINGING") << "O";
        QTest::newRow("PDU line") << QByteArray("07919730071111F1040B919730") << "O";
    }
    void classification()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const AtLineClass c = AtLineClassifier::classify(line);
        QString got = QStringLiteral("O");
        if (c.isFinal())
            got = QStringLiteral("F:%1:%2").arg(int(c.final)).arg(c.errorCode);
        else if (c.isUnsolicited())
            got = QStringLiteral("U:%1").arg(int(c.unsolicited));
        QCOMPARE(got, expected);
    }

    void unsolicitedFields_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<QByteArray>("storage");
        QTest::addColumn<int>("index");
        QTest::newRow("caller id") << QByteArray("+CLIP: \"+420603123456\",145,,,,0") << QByteArray("+420603123456") << QByteArray() << -1;
        QTest::newRow("caller withheld") << QByteArray("+CLIP: \"\",128,,128,\"\",1") << QByteArray() << QByteArray() << -1;
        QTest::newRow("new message") << QByteArray("+CMTI: \"SM\",12") << QByteArray() << QByteArray("SM") << 12;
        QTest::newRow("new report, no blank") << QByteArray("+CDSI:\"SR\",3") << QByteArray() << QByteArray("SR") << 3;
        QTest::newRow("index missing") << QByteArray("+CMTI: \"SM\"") << QByteArray() << QByteArray() << -1;
    }
    void unsolicitedFields()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, number);
        QFETCH(QByteArray, storage);
        QFETCH(int, index);
        const Unsolicited u = AtLineClassifier::unsolicited(line, AtLineClassifier::classify(line).unsolicited);
        QCOMPARE(u.number, number);
        QCOMPARE(u.storage, storage);
        QCOMPARE(u.index, index);
        QCOMPARE(u.line, line);
    }

    void prefixes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<bool>("matches");
        QTest::newRow("with colon") << QByteArray("+CSQ: 1,1") << QByteArray("+CSQ:") << true;
        QTest::newRow("colon left out") << QByteArray("+CSQ: 1,1") << QByteArray("+CSQ") << true;
        QTest::newRow("longer name") << QByteArray("+CMTI: \"SM\",1") << QByteArray("+CMT") << false;
        QTest::newRow("longer name with colon") << QByteArray("+CMTI: \"SM\",1") << QByteArray("+CMT:") << false;
        QTest::newRow("no prefix") << QByteArray("+CSQ: 1,1") << QByteArray() << false;
    }
    void prefixes()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, prefix);
        QFETCH(bool, matches);
        QCOMPARE(AtLineClassifier::hasPrefix(line, prefix), matches);
    }
};

QTEST_APPLESS_MAIN(TestAtLineSplitter)
#include "tst_atlinesplitter.moc"
