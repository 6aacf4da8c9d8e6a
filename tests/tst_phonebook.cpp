// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "recentphones.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString Title = QStringLiteral("Pellix Test utility");
const QString WritePrompt = QStringLiteral("Insert phonebook position to create/modify:");
const QString NamePrompt = QStringLiteral("Insert name:");
const QString DeletePrompt = QStringLiteral("Insert phonebook position to delete:");

// A SIM that keeps at most five characters of a name and writes numbers without blanks, as real
// SIMs cut and normalise what they store.
class NormalisingModem : public FakeGsmModem
{
public:
    void WritePhonebookEntry(PhonebookEntry &entry) override
    {
        FakeGsmModem::WritePhonebookEntry(entry);
        entry.Name = entry.Name.left(5);
        entry.Number.remove(QLatin1Char(' '));
    }
};

struct Rig : FeatureRig
{
    using FeatureRig::FeatureRig;

    QStringList recent() const { return phoneList(); }
    void setRecent(const QStringList &entries) const
    {
        view().cmbPhoneNumber->clear();
        view().cmbPhoneNumber->addItems(entries);
    }
    QStringList prompts() const
    {
        QStringList texts;
        for (const FakeDialogs::Asked &asked : dialogs->asked(FakeDialogs::Kind::Input))
            texts << asked.text;
        return texts;
    }
};

PhonebookEntry entry(qint16 index, const QString &name, const QString &number)
{
    return PhonebookEntry{index, name, number};
}

using Answers = QList<FakeDialogs::Answer>;

} // namespace

class TestPhonebook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readLinesAndRecentNumbers_data();
    void readLinesAndRecentNumbers();
    void readingTwiceMovesInsteadOfDuplicating();
    void fullRecentListDropsFromTheTop();
    void readShowsTheBusyPointerAndRestoresItBeforeReporting();
    void insert_data();
    void insert();
    void insertAtTheProposedPosition();
    void insertReportsTheEntryAsReadBack();
    void insertWithAFullCountOverflows();
    void insertFailures_data();
    void insertFailures();
    void remove_data();
    void remove();
    void removeFailureReported();
    void endToEndOnTheVirtualModem();
};

void TestPhonebook::readLinesAndRecentNumbers_data()
{
    QTest::addColumn<QList<PhonebookEntry>>("sim");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("recentAfter"); // the list held "+1" and "+2" before

    QTest::newRow("empty SIM: one line, list unchanged")
        << QList<PhonebookEntry>{} << QStringList{"No phonebook items"} << QStringList{"+1", "+2"};
    QTest::newRow("three entries in SIM order, then the total")
        << QList<PhonebookEntry>{entry(7, "Zoe", "+3933"), entry(2, "Anna", "+3911"), entry(40, "Bob", "555")}
        << QStringList{"Phonebook (7): Zoe, +3933 ", "Phonebook (2): Anna, +3911 ", "Phonebook (40): Bob, 555 ",
                       "Your phonebook entries (tot. 3) have been added to the list of recent \"Phone numbers\"."}
        << QStringList{"+1", "+2", "Zoe: +3933", "Anna: +3911", "Bob: 555"};
    QTest::newRow("an entry without a name keeps the separator")
        << QList<PhonebookEntry>{entry(1, "", "123")}
        << QStringList{"Phonebook (1): , 123 ",
                       "Your phonebook entries (tot. 1) have been added to the list of recent \"Phone numbers\"."}
        << QStringList{"+1", "+2", ": 123"};
    QTest::newRow("a labelled entry is not the bare number")
        << QList<PhonebookEntry>{entry(3, "Eve", "+2")}
        << QStringList{"Phonebook (3): Eve, +2 ",
                       "Your phonebook entries (tot. 1) have been added to the list of recent \"Phone numbers\"."}
        << QStringList{"+1", "+2", "Eve: +2"};
}

void TestPhonebook::readLinesAndRecentNumbers()
{
    QFETCH(QList<PhonebookEntry>, sim);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, recentAfter);
    Rig rig;
    rig.setRecent({"+1", "+2"});
    rig.view().cmbPhoneNumber->setEditText(QStringLiteral("+1"));
    rig.fake().phonebook = sim;

    rig.view().cmdReadPhonebook->click();

    QCOMPARE(rig.fake().members(), QStringList{"ReadPhonebook"});
    QCOMPARE(rig.fake().calls().first().args, (QVariantList{0, 0}));
    QCOMPARE(rig.newLines(), lines);
    QCOMPARE(rig.recent(), recentAfter);
    // Added at the bottom: the field still shows what the operator had.
    QCOMPARE(rig.view().cmbPhoneNumber->currentText(), QStringLiteral("+1"));
    if (!sim.isEmpty())
        QCOMPARE(rig.console->settings().RecentPhones, recentAfter.join(QLatin1Char(',')));
    QVERIFY(rig.dialogs->asked().isEmpty());
}

void TestPhonebook::readingTwiceMovesInsteadOfDuplicating()
{
    Rig rig;
    rig.setRecent({"+1"});
    rig.fake().phonebook = {entry(1, "Anna", "11"), entry(2, "Bob", "22")};
    rig.view().cmdReadPhonebook->click();
    rig.console->recentPhones().AddRecentPhone(QStringLiteral("+9"), true);
    rig.console->recentPhones().AddRecentPhone(QStringLiteral("Anna: 11"), true); // sent to Anna since
    QCOMPARE(rig.recent(), (QStringList{"Anna: 11", "+9", "+1", "Bob: 22"}));

    rig.markLog();
    rig.view().cmdReadPhonebook->click();
    QCOMPARE(rig.recent(), (QStringList{"+9", "+1", "Anna: 11", "Bob: 22"}));
    QCOMPARE(rig.newLines().size(), 3);
    QVERIFY(rig.newLines().last().contains(QLatin1String("(tot. 2)")));
}

void TestPhonebook::fullRecentListDropsFromTheTop()
{
    Rig rig;
    QStringList full;
    for (int i = 0; i < 100; ++i)
        full << QStringLiteral("+%1").arg(1000 + i);
    rig.setRecent(full);
    rig.fake().phonebook = {entry(1, "A", "1"), entry(2, "B", "2"), entry(3, "C", "3")};

    rig.view().cmdReadPhonebook->click();

    // The most recently used numbers go, one per added entry.
    const QStringList expected = full.mid(3) + QStringList{"A: 1", "B: 2", "C: 3"};
    QCOMPARE(rig.recent(), expected);
}

void TestPhonebook::readShowsTheBusyPointerAndRestoresItBeforeReporting()
{
    Rig rig;
    bool busyDuringRead = false;
    rig.fake().onCall(QStringLiteral("ReadPhonebook"), [&] { busyDuringRead = QGuiApplication::overrideCursor() != nullptr; });
    rig.fake().phonebook = {entry(1, "A", "1")};
    rig.view().cmdReadPhonebook->click();
    QVERIFY(busyDuringRead);
    QVERIFY(!QGuiApplication::overrideCursor());

    rig.markLog();
    bool busyWhileErrorShown = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { busyWhileErrorShown = QGuiApplication::overrideCursor() != nullptr; };
    rig.fake().raiseOn(QStringLiteral("ReadPhonebook"), libraryError(1, QStringLiteral("Not connected")));
    rig.view().cmdReadPhonebook->click();
    QCOMPARE(rig.newLines(), QStringList{"Error #1 from Pellix: Not connected"});
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Error #1 from Pellix"));
    QVERIFY(!busyWhileErrorShown);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPhonebook::insert_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("prompts");  // asked in this order, and no more
    QTest::addColumn<QVariantList>("written"); // Index, Name, Number; empty when nothing written
    QTest::addColumn<QStringList>("lines");
    const auto typed = [](const QString &t) { return FakeDialogs::Answer::typed(t); };
    const QStringList all{WritePrompt, NamePrompt, "Insert number for <Anna>:"};

    QTest::newRow("Anna, 123 at 7")
        << Answers{typed("7"), typed("Anna"), typed("123")} << all << QVariantList{7, "Anna", "123"}
        << QStringList{"Phonebook (7): Anna, 123 created"};
    QTest::newRow("12.5 rounds to even 12")
        << Answers{typed("12.5"), typed("Anna"), typed("1")} << all << QVariantList{12, "Anna", "1"}
        << QStringList{"Phonebook (12): Anna, 1 created"};
    QTest::newRow("13.5 rounds to even 14")
        << Answers{typed("13.5"), typed("Anna"), typed("1")} << all << QVariantList{14, "Anna", "1"}
        << QStringList{"Phonebook (14): Anna, 1 created"};
    QTest::newRow("blanks inside the position ignored")
        << Answers{typed(" 1 5 "), typed("Anna"), typed("1")} << all << QVariantList{15, "Anna", "1"}
        << QStringList{"Phonebook (15): Anna, 1 created"};
    QTest::newRow("negative position passed on")
        << Answers{typed("-3"), typed("Anna"), typed("1")} << all << QVariantList{-3, "Anna", "1"}
        << QStringList{"Phonebook (-3): Anna, 1 created"};
    QTest::newRow("name and number as typed, blanks included")
        << Answers{typed("2"), typed(" Dr. O'Neil "), typed("+39 02 1")}
        << QStringList{WritePrompt, NamePrompt, "Insert number for < Dr. O'Neil >:"} << QVariantList{2, " Dr. O'Neil ", "+39 02 1"}
        << QStringList{"Phonebook (2):  Dr. O'Neil , +39 02 1 created"};
    QTest::newRow("abc ends silently")
        << Answers{typed("abc")} << QStringList{WritePrompt} << QVariantList{} << QStringList{};
    QTest::newRow("0 ends silently") << Answers{typed("0")} << QStringList{WritePrompt} << QVariantList{} << QStringList{};
    QTest::newRow("empty position ends") << Answers{typed("")} << QStringList{WritePrompt} << QVariantList{} << QStringList{};
    QTest::newRow("cancelled position ends")
        << Answers{FakeDialogs::Answer::cancel()} << QStringList{WritePrompt} << QVariantList{} << QStringList{};
    QTest::newRow("empty name ends")
        << Answers{typed("7"), typed("")} << QStringList{WritePrompt, NamePrompt} << QVariantList{} << QStringList{};
    QTest::newRow("cancelled name ends")
        << Answers{typed("7"), FakeDialogs::Answer::cancel()} << QStringList{WritePrompt, NamePrompt} << QVariantList{}
        << QStringList{};
    QTest::newRow("empty number ends") << Answers{typed("7"), typed("Anna"), typed("")} << all << QVariantList{} << QStringList{};
    QTest::newRow("cancelled number ends")
        << Answers{typed("7"), typed("Anna"), FakeDialogs::Answer::cancel()} << all << QVariantList{} << QStringList{};
    QTest::newRow("40000 overflows")
        << Answers{typed("40000")} << QStringList{WritePrompt} << QVariantList{} << QStringList{"Error #6 from Vendrel: Overflow"};
}

void TestPhonebook::insert()
{
    QFETCH(Answers, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QVariantList, written);
    QFETCH(QStringList, lines);
    Rig rig;
    rig.fake().phonebookCount = 4;
    rig.setRecent({"+1"});
    bool busyWhileAsked = false;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &asked) {
        if (asked.kind == FakeDialogs::Kind::Input)
            busyWhileAsked = busyWhileAsked || QGuiApplication::overrideCursor() != nullptr;
    };
    for (const FakeDialogs::Answer &answer : answers)
        rig.dialogs->queue(answer);

    rig.view().cmdWritePhonebook->click();

    QCOMPARE(rig.prompts(), prompts);
    QCOMPARE(rig.dialogs->pendingAnswers(), 0);
    const QList<FakeDialogs::Asked> asked = rig.dialogs->asked(FakeDialogs::Kind::Input);
    QCOMPARE(asked.first().defaultText, QStringLiteral("5"));
    for (qsizetype i = 0; i < asked.size(); ++i) {
        QCOMPARE(asked.at(i).title, Title);
        if (i > 0)
            QCOMPARE(asked.at(i).defaultText, QString());
    }
    const QStringList expectedCalls = written.isEmpty() ? QStringList{"PhonebookCount"}
                                                        : QStringList{"PhonebookCount", "WritePhonebookEntry"};
    QCOMPARE(rig.fake().members(), expectedCalls);
    if (!written.isEmpty())
        QCOMPARE(rig.fake().callsOf(QStringLiteral("WritePhonebookEntry")).first().args, written);
    QCOMPARE(rig.newLines(), lines);
    QCOMPARE(rig.recent(), QStringList{"+1"}); // a written entry is not offered as a recent number
    QVERIFY(!busyWhileAsked);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPhonebook::insertAtTheProposedPosition()
{
    Rig rig;
    rig.fake().phonebookCount = 4;
    // The position box is closed with OK on what it proposed; the next two get typed answers.
    rig.dialogs->whileOpen = [&rig](const FakeDialogs::Asked &asked) {
        if (asked.text == WritePrompt) {
            rig.dialogs->queueTyped(QStringLiteral("Anna"));
            rig.dialogs->queueTyped(QStringLiteral("123"));
        }
    };
    rig.view().cmdWritePhonebook->click();
    QCOMPARE(rig.dialogs->unscripted(), 1);
    QCOMPARE(rig.fake().callsOf(QStringLiteral("WritePhonebookEntry")).first().args, (QVariantList{5, "Anna", "123"}));
    QCOMPARE(rig.newLines(), QStringList{"Phonebook (5): Anna, 123 created"});
}

void TestPhonebook::insertReportsTheEntryAsReadBack()
{
    Rig rig([] { return std::make_unique<NormalisingModem>(); });
    rig.dialogs->queueTyped(QStringLiteral("9"));
    rig.dialogs->queueTyped(QStringLiteral("Alexandra"));
    rig.dialogs->queueTyped(QStringLiteral("+39 347 1"));
    rig.view().cmdWritePhonebook->click();
    QCOMPARE(rig.prompts().last(), QStringLiteral("Insert number for <Alexandra>:"));
    QCOMPARE(rig.newLines(), QStringList{"Phonebook (9): Alexa, +393471 created"});
}

void TestPhonebook::insertWithAFullCountOverflows()
{
    Rig rig;
    rig.fake().phonebookCount = 32767;
    rig.view().cmdWritePhonebook->click();
    QVERIFY(rig.dialogs->asked(FakeDialogs::Kind::Input).isEmpty());
    QCOMPARE(rig.newLines(), QStringList{"Error #6 from Vendrel: Overflow"});
    QCOMPARE(rig.fake().members(), QStringList{"PhonebookCount"});

    // One below still has a next position.
    rig.markLog();
    rig.dialogs->clear();
    rig.fake().phonebookCount = 32766;
    rig.dialogs->queueCancel();
    rig.view().cmdWritePhonebook->click();
    QCOMPARE(rig.dialogs->asked().first().defaultText, QStringLiteral("32767"));
    QVERIFY(rig.newLines().isEmpty());
}

void TestPhonebook::insertFailures_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("boxesAsked");
    QTest::newRow("the count: no box asked") << "PhonebookCount" << 0;
    QTest::newRow("the write: no created line") << "WritePhonebookEntry" << 3;
}

void TestPhonebook::insertFailures()
{
    QFETCH(QString, failing);
    QFETCH(int, boxesAsked);
    Rig rig;
    rig.fake().raiseOn(failing, libraryError(2324, QStringLiteral("text string too long")));
    bool busyWhileErrorShown = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &asked) {
        if (asked.kind == FakeDialogs::Kind::Message)
            busyWhileErrorShown = QGuiApplication::overrideCursor() != nullptr;
    };
    rig.dialogs->queueTyped(QStringLiteral("7"));
    rig.dialogs->queueTyped(QStringLiteral("Anna"));
    rig.dialogs->queueTyped(QStringLiteral("123"));
    rig.view().cmdWritePhonebook->click();
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Input), boxesAsked);
    QCOMPARE(rig.newLines(), QStringList{"Error #2324 from Pellix: text string too long"});
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    QVERIFY(!busyWhileErrorShown);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPhonebook::remove_data()
{
    QTest::addColumn<FakeDialogs::Answer>("answer");
    QTest::addColumn<QVariant>("position"); // passed to the library; invalid when not called
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("3") << FakeDialogs::Answer::typed("3") << QVariant(3) << QStringList{"Phonebook (3) deleted"};
    QTest::newRow("2.5 rounds to even 2") << FakeDialogs::Answer::typed("2.5") << QVariant(2) << QStringList{"Phonebook (2) deleted"};
    QTest::newRow("negative passed on") << FakeDialogs::Answer::typed("-2") << QVariant(-2) << QStringList{"Phonebook (-2) deleted"};
    QTest::newRow("0 does nothing") << FakeDialogs::Answer::typed("0") << QVariant() << QStringList{};
    QTest::newRow("empty does nothing") << FakeDialogs::Answer::typed("") << QVariant() << QStringList{};
    QTest::newRow("cancel does nothing") << FakeDialogs::Answer::cancel() << QVariant() << QStringList{};
    QTest::newRow("abc does nothing") << FakeDialogs::Answer::typed("abc") << QVariant() << QStringList{};
    QTest::newRow("40000 overflows")
        << FakeDialogs::Answer::typed("40000") << QVariant() << QStringList{"Error #6 from Vendrel: Overflow"};
}

void TestPhonebook::remove()
{
    QFETCH(FakeDialogs::Answer, answer);
    QFETCH(QVariant, position);
    QFETCH(QStringList, lines);
    Rig rig;
    rig.dialogs->queue(answer);
    rig.view().cmdDeletePhonebook->click();

    QCOMPARE(rig.prompts(), QStringList{DeletePrompt});
    QCOMPARE(rig.dialogs->asked().first().title, Title);
    QCOMPARE(rig.dialogs->asked().first().defaultText, QString());
    if (position.isValid()) {
        QCOMPARE(rig.fake().members(), QStringList{"DeletePhonebookEntry"});
        QCOMPARE(rig.fake().calls().first().args, QVariantList{position});
    } else {
        QVERIFY(rig.fake().calls().isEmpty());
    }
    QCOMPARE(rig.newLines(), lines);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPhonebook::removeFailureReported()
{
    Rig rig;
    rig.dialogs->queueTyped(QStringLiteral("250"));
    rig.fake().raiseOn(QStringLiteral("DeletePhonebookEntry"), libraryError(2321, QStringLiteral("invalid index")));
    rig.view().cmdDeletePhonebook->click();
    QCOMPARE(rig.newLines(), QStringList{"Error #2321 from Pellix: invalid index"});
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPhonebook::endToEndOnTheVirtualModem()
{
    pellix::PellixGsmModem *real = nullptr;
    Rig rig(
        realModemFactory(real),
        std::make_unique<pellix::PellixUtilities>());
    QVERIFY(real);
    frmVendrel &view = rig.view();
    const auto entryLines = [&rig] {
        QStringList lines = rig.newLines();
        lines.removeLast();
        return lines;
    };

    // Not connected: the library's refusal is what the operator sees.
    view.cmdReadPhonebook->click();
    QCOMPARE(rig.newLines().size(), 1);
    QVERIFY2(rig.newLines().first().startsWith(QLatin1String("Error #")), qPrintable(rig.newLines().first()));
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);

    real->setConnectOptionA(true);
    real->Connect(-1, 1, QString(), 0, 60, 0);
    QCOMPARE(real->Status(), 2);
    rig.dialogs->clear();

    // The SIM's own entries, in index order, into the log and the recent numbers.
    rig.markLog();
    view.cmdReadPhonebook->click();
    const QStringList seeded = entryLines();
    QVERIFY2(seeded.size() >= 3, qPrintable(rig.newLines().join(QLatin1Char('\n'))));
    QCOMPARE(rig.newLines().last(), QStringLiteral("Your phonebook entries (tot. %1) have been added to the list of recent "
                                                   "\"Phone numbers\".").arg(seeded.size()));
    const QRegularExpression entryLine(QStringLiteral("^Phonebook \\((\\d+)\\): (.*), (\\S+) $"));
    QStringList labelled;
    for (const QString &line : seeded) {
        const QRegularExpressionMatch m = entryLine.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        labelled << m.captured(2) + QLatin1String(": ") + m.captured(3);
    }
    QCOMPARE(rig.recent().mid(rig.recent().size() - labelled.size()), labelled);
    QVERIFY(!seeded.filter(QStringLiteral("Phonebook (4): ")).size()); // the free position used below

    // Insert at the free position 4; the box proposed one more than the count of used entries.
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("4"));
    rig.dialogs->queueTyped(QStringLiteral("Zoe Test"));
    rig.dialogs->queueTyped(QStringLiteral("+391234567"));
    view.cmdWritePhonebook->click();
    QCOMPARE(rig.dialogs->asked().first().defaultText, QString::number(seeded.size() + 1));
    QCOMPARE(rig.newLines(), QStringList{"Phonebook (4): Zoe Test, +391234567 created"});

    rig.markLog();
    view.cmdReadPhonebook->click();
    QCOMPARE(entryLines().size(), seeded.size() + 1);
    QCOMPARE(entryLines().filter(QStringLiteral("Phonebook (4): Zoe Test, +391234567 ")).size(), 1);

    // A name the SIM cannot hold: the library's error, nothing written.
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("8"));
    rig.dialogs->queueTyped(QStringLiteral("A name far too long for any SIM"));
    rig.dialogs->queueTyped(QStringLiteral("123"));
    view.cmdWritePhonebook->click();
    QCOMPARE(rig.newLines().size(), 1);
    QVERIFY2(rig.newLines().first().startsWith(QLatin1String("Error #")), qPrintable(rig.newLines().first()));

    // Delete it again; the SIM is as it was.
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("4"));
    view.cmdDeletePhonebook->click();
    QCOMPARE(rig.newLines(), QStringList{"Phonebook (4) deleted"});
    rig.markLog();
    view.cmdReadPhonebook->click();
    QCOMPARE(entryLines(), seeded);
    QVERIFY(!QGuiApplication::overrideCursor());
    real->Disconnect();
}

QTEST_MAIN(TestPhonebook)
#include "tst_phonebook.moc"
