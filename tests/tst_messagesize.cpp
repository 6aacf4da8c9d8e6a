// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagesize.h"

#include <QTest>

// The rule the console and the command line share: how many messages a text takes, and when it
// goes as a long message.
class TestMessageSize : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void measureAndLongMessageChoice_data()
    {
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<qint64>("characters");
        QTest::addColumn<qint64>("messages");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("inParts");
        QTest::newRow("empty 7-bit text: one message") << 7 << qint64(0) << qint64(1) << qint64(160) << false;
        QTest::newRow("7-bit, exactly one message") << 7 << qint64(160) << qint64(1) << qint64(160) << false;
        QTest::newRow("7-bit, one over: parts lose the header") << 7 << qint64(161) << qint64(2) << qint64(152) << true;
        QTest::newRow("UCS-2 over one message is measured, not sent in parts")
            << 16 << qint64(71) << qint64(2) << qint64(62) << false;
        QTest::newRow("8-bit, 281 hex digits round to 140 octets") << 8 << qint64(281) << qint64(1) << qint64(140) << false;
        QTest::newRow("8-bit, 283 hex digits round to 142 octets") << 8 << qint64(283) << qint64(2) << qint64(132) << false;
        QTest::newRow("a paste past 32 bits") << 7 << qint64(5'000'000'000) << qint64(32'894'737) << qint64(152) << true;
    }
    void measureAndLongMessageChoice()
    {
        QFETCH(int, alphabet);
        QFETCH(qint64, characters);
        QFETCH(qint64, messages);
        QFETCH(qint64, room);
        QFETCH(bool, inParts);
        const std::optional<MessageSize> size = MessageSize::of(alphabet, characters);
        QVERIFY(size);
        QCOMPARE(size->messages, messages);
        QCOMPARE(size->room, room);
        QCOMPARE(MessageSize::goesInParts(alphabet, characters), inParts);
    }

    void unknownAlphabetHasNoMeasure()
    {
        QVERIFY(!MessageSize::of(0, 10));
        QVERIFY(!MessageSize::goesInParts(0, 1000));
    }
};

QTEST_GUILESS_MAIN(TestMessageSize)
#include "tst_messagesize.moc"
