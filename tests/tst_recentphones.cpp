// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "recentphones.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace {

struct Rig : ConsoleRig<>
{
    // stored: the RecentPhones of a previous run; none: the key is absent.
    explicit Rig(const std::optional<QString> &stored = std::nullopt)
    {
        Setup setup;
        if (stored)
            setup.stored.insert(QStringLiteral("RecentPhones"), *stored);
        build(std::move(setup));
        console->startup().Form_Activate();
    }

    QComboBox &field() const { return *console->view().cmbPhoneNumber; }
    RecentPhones &recent() const { return console->recentPhones(); }
    QString recentPhones() const { return console->settings().RecentPhones; }
    QStringList entries() const { return phoneList(); }
};

QStringList numbered(int count, const QString &prefix = QStringLiteral("+39"))
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << prefix + QString::number(100 + i);
    return list;
}

} // namespace

class TestRecentPhones : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractPhoneNumber_data();
    void extractPhoneNumber();
    void addRecentPhone_data();
    void addRecentPhone();
    void fullListDropsAtTheFarEnd_data();
    void fullListDropsAtTheFarEnd();
    void load_data();
    void load();
    void commaInAnEntrySplitsAtTheNextStart();
    void emptiedFieldShowsPlusWithCaretAfterIt();
    void typedTextIsNotCompletedFromTheList();
};

void TestRecentPhones::extractPhoneNumber_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("number");
    QTest::newRow("labelled, trailing blank") << "Anna: +3934811111111 " << "+3934811111111";
    QTest::newRow("labelled, blanks around") << "Bob:    +441234  " << "+441234";
    QTest::newRow("bare number unchanged, blanks kept") << " +39 348 " << " +39 348 ";
    QTest::newRow("colon without blank is no label") << "Anna:+391" << "Anna:+391";
    QTest::newRow("first separator counts") << "A: B: 123" << "B: 123";
    QTest::newRow("empty label") << ": 5" << "5";
    QTest::newRow("tab is not a blank") << "Anna: 5\t" << "5\t";
    QTest::newRow("empty") << "" << "";
}

void TestRecentPhones::extractPhoneNumber()
{
    QFETCH(QString, entry);
    QFETCH(QString, number);
    QCOMPARE(RecentPhones::ExtractPhoneNumber(entry), number);
}

void TestRecentPhones::addRecentPhone_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");     // the field's text before; empty: leave as loaded
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("atTop");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("shown");

    QTest::newRow("first number") << "+" << "+391" << "+391" << true << QStringList{"+391"} << "+391";
    QTest::newRow("new number on top") << "a,b" << "+391" << "+391" << true << QStringList{"+391", "a", "b"} << "+391";
    QTest::newRow("known number moves to top, one copy") << "a,b,c" << "c" << "c" << true << QStringList{"c", "a", "b"} << "c";
    QTest::newRow("top entry stays") << "a,b" << "" << "a" << true << QStringList{"a", "b"} << "a";
    QTest::newRow("plus alone ignored") << "a,b" << "+" << "+" << true << QStringList{"a", "b"} << "+";
    QTest::newRow("plus ignored at bottom too") << "a" << "" << "+" << false << QStringList{"a"} << "a";
    QTest::newRow("case-sensitive duplicates")
        << "Anna: 1" << "anna: 1" << "anna: 1" << true << QStringList{"anna: 1", "Anna: 1"} << "anna: 1";
    QTest::newRow("bare and labelled are two entries")
        << "+391" << "Anna: +391" << "Anna: +391" << true << QStringList{"Anna: +391", "+391"} << "Anna: +391";
    QTest::newRow("bottom appends, field unchanged")
        << "a,b" << "typed" << "Bob: 5" << false << QStringList{"a", "b", "Bob: 5"} << "typed";
    QTest::newRow("bottom into an empty list keeps the plus")
        << "+" << "" << "Bob: 5" << false << QStringList{"Bob: 5"} << "+";
    QTest::newRow("bottom moves a known entry down")
        << "a,b,c" << "" << "a" << false << QStringList{"b", "c", "a"} << "a";
}

void TestRecentPhones::addRecentPhone()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, entry);
    QFETCH(bool, atTop);
    QFETCH(QStringList, list);
    QFETCH(QString, shown);
    Rig rig(stored);
    if (!typed.isEmpty())
        rig.field().setEditText(typed);
    const QString before = rig.recentPhones();
    rig.recent().AddRecentPhone(entry, atTop);
    QCOMPARE(rig.entries(), list);
    QCOMPARE(rig.field().currentText(), shown);
    if (entry == QLatin1String("+"))
        QCOMPARE(rig.recentPhones(), before); // not even rewritten
    else
        QCOMPARE(rig.recentPhones(), list.join(QLatin1Char(',')));
}

void TestRecentPhones::fullListDropsAtTheFarEnd_data()
{
    QTest::addColumn<bool>("atTop");
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    // Sending: the 101st distinct number drops the oldest at the bottom.
    QTest::newRow("top drops the bottom") << true << "+39199" << "+new" << "+39198";
    // Reading the phonebook into a full list drops the most recently used at the top.
    QTest::newRow("bottom drops the top") << false << "+39100" << "+39101" << "+new";
}

void TestRecentPhones::fullListDropsAtTheFarEnd()
{
    QFETCH(bool, atTop);
    QFETCH(QString, dropped);
    QFETCH(QString, first);
    QFETCH(QString, last);
    Rig rig(numbered(100).join(QLatin1Char(',')));
    QCOMPARE(rig.field().count(), 100);
    rig.recent().AddRecentPhone(QStringLiteral("+new"), atTop);
    QCOMPARE(rig.field().count(), RecentPhones::MaxEntries);
    QVERIFY(!rig.entries().contains(dropped));
    QCOMPARE(rig.entries().first(), first);
    QCOMPARE(rig.entries().last(), last);
    QCOMPARE(rig.recentPhones().split(QLatin1Char(',')).size(), 100);

    // A known entry in a full list moves without dropping anything.
    const QString known = rig.entries().at(50);
    rig.recent().AddRecentPhone(known, atTop);
    QCOMPARE(rig.field().count(), 100);
    QCOMPARE(atTop ? rig.entries().first() : rig.entries().last(), known);
}

void TestRecentPhones::load_data()
{
    QTest::addColumn<std::optional<QString>>("stored");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no setting") << std::optional<QString>() << QStringList{} << "+";
    QTest::newRow("plus stands for empty") << std::optional<QString>(QStringLiteral("+")) << QStringList{} << "+";
    QTest::newRow("empty value") << std::optional<QString>(QString()) << QStringList{} << "+";
    QTest::newRow("two, first shown") << std::optional<QString>(QStringLiteral("+391,+392")) << QStringList{"+391", "+392"} << "+391";
    QTest::newRow("empty piece kept") << std::optional<QString>(QStringLiteral("a,,b")) << QStringList{"a", "", "b"} << "a";
    QTest::newRow("plus pieces skipped") << std::optional<QString>(QStringLiteral("+,x,+")) << QStringList{"x"} << "x";
    QTest::newRow("duplicates not removed") << std::optional<QString>(QStringLiteral("a,a")) << QStringList{"a", "a"} << "a";
    QTest::newRow("not sorted") << std::optional<QString>(QStringLiteral("z,a,m")) << QStringList{"z", "a", "m"} << "z";
    QTest::newRow("not cut to 100") << std::optional<QString>(numbered(150).join(QLatin1Char(','))) << numbered(150) << "+39100";
    QTest::newRow("labelled kept whole")
        << std::optional<QString>(QStringLiteral("Anna: +3934811111111")) << QStringList{"Anna: +3934811111111"}
        << "Anna: +3934811111111";
}

void TestRecentPhones::load()
{
    QFETCH(std::optional<QString>, stored);
    QFETCH(QStringList, list);
    QFETCH(QString, shown);
    Rig rig(stored);
    QCOMPARE(rig.entries(), list);
    QCOMPARE(rig.field().currentText(), shown);
    // Until the first addition the value stays as loaded.
    QCOMPARE(rig.recentPhones(), stored.value_or(QStringLiteral("+")));
}

void TestRecentPhones::commaInAnEntrySplitsAtTheNextStart()
{
    std::optional<QString> saved;
    {
        Rig rig;
        rig.recent().AddRecentPhone(QStringLiteral("Smith, John: +391"), true);
        saved = rig.recentPhones();
    }
    Rig again(saved);
    QCOMPARE(again.entries(), (QStringList{"Smith", " John: +391"}));
}

void TestRecentPhones::emptiedFieldShowsPlusWithCaretAfterIt()
{
    Rig rig(QStringLiteral("+391"));
    QComboBox &field = rig.field();
    QLineEdit *edit = field.lineEdit();
    QVERIFY(edit);
    field.setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(field.currentText(), QStringLiteral("+"));
    QCOMPARE(edit->cursorPosition(), 1);
    // Typing on goes after the plus.
    QTest::keyClicks(edit, QStringLiteral("44"));
    QCOMPARE(field.currentText(), QStringLiteral("+44"));
    // Backspace over everything: the plus comes back.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(field.currentText(), QStringLiteral("+"));
    QCOMPARE(edit->cursorPosition(), 1);
    QCOMPARE(rig.entries(), QStringList{"+391"}); // editing adds nothing to the list
}

void TestRecentPhones::typedTextIsNotCompletedFromTheList()
{
    Rig rig(QStringLiteral("+3934811111111,Anna: +391"));
    // Completion works on the focused field of an active window.
    rig.console->view().show();
    QVERIFY(QTest::qWaitForWindowActive(&rig.console->view()));
    QLineEdit *edit = rig.field().lineEdit();
    edit->clear();
    rig.field().setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->setCursorPosition(1);
    QTest::keyClicks(edit, QStringLiteral("39"));
    QCOMPARE(rig.field().currentText(), QStringLiteral("+39"));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("anna"));
    QCOMPARE(rig.field().currentText(), QStringLiteral("anna"));
}

QTEST_MAIN(TestRecentPhones)
#include "tst_recentphones.moc"
