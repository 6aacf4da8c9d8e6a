// SPDX-License-Identifier: GPL-3.0-or-later
#include "composercontroller.h"
#include "consolerig.h"
#include "frmvendrel.h"
#include "multilinetextbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <memory>

namespace {

const QString Advice = QString::fromLatin1(ComposerController::AutoReceiveAdvice);

// The console over fakes, with the settings of a previous run.
struct Rig : ConsoleRig<>
{
    explicit Rig(const QHash<QString, QString> &stored = {})
    {
        Setup setup;
        setup.stored = stored;
        build(std::move(setup));
    }

    // The window's first activation ends the loading.
    void loaded() const { console->startup().Form_Activate(); }
    void selectAlphabet(int code) const { view().cmbAlphabet->setCurrentIndex(view().cmbAlphabet->findData(code)); }
    QString caption() const { return view().lblMessageLen->text(); }
    int advices() const
    {
        int n = 0;
        for (const FakeDialogs::Asked &asked : dialogs->asked(FakeDialogs::Kind::Message))
            n += asked.text == Advice ? 1 : 0;
        return n;
    }
};

} // namespace

class TestComposer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void counter_data();
    void counter();
    void counterFollowsTyping();
    void alphabetSwitchRecountsTheSameText_data();
    void alphabetSwitchRecountsTheSameText();
    void beyondSixteenBits_data();
    void beyondSixteenBits();
    void largePasteKeepsTheWindowUsable();
    void loadingCopiesTheTextButWaitsWithTheCounter();
    void startupCountsTheLoadedText();
    void storedTextComesBackUnchanged_data();
    void storedTextComesBackUnchanged();
    void advice_data();
    void advice();
    void adviceSeesThePreviousChoice();
    void noAdviceAtStartup_data();
    void noAdviceAtStartup();
};

void TestComposer::counter_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    const auto chars = [](int n) { return QString(n, QLatin1Char('x')); };
    const auto hex = [](int n) { return QString(n, QLatin1Char('A')); };
    QTest::newRow("7-bit empty") << 7 << QString() << "0/160 (1 sms)";
    QTest::newRow("8-bit empty") << 8 << QString() << "0/140 (1 sms)";
    QTest::newRow("16-bit empty") << 16 << QString() << "0/70 (1 sms)";
    QTest::newRow("7-bit 26, the default text") << 7 << QStringLiteral("Hi, this is a test message") << "26/160 (1 sms)";
    QTest::newRow("7-bit 160 fits one") << 7 << chars(160) << "160/160 (1 sms)";
    QTest::newRow("7-bit 161 goes to parts of 152") << 7 << chars(161) << "161/304 (2 sms)";
    QTest::newRow("7-bit 304 fills two parts") << 7 << chars(304) << "304/304 (2 sms)";
    QTest::newRow("7-bit 305 needs three") << 7 << chars(305) << "305/456 (3 sms)";
    QTest::newRow("16-bit 70 fits one") << 16 << chars(70) << "70/70 (1 sms)";
    QTest::newRow("16-bit 71 goes to parts of 62") << 16 << chars(71) << "71/124 (2 sms)";
    QTest::newRow("16-bit surrogate pair counts two") << 16 << QStringLiteral("\U0001F600") << "2/70 (1 sms)";
    QTest::newRow("8-bit 280 digits fit one") << 8 << hex(280) << "140/140 (1 sms)";
    QTest::newRow("8-bit 282 digits, 141 bytes") << 8 << hex(282) << "141/264 (2 sms)";
    QTest::newRow("8-bit 1 digit counts 0") << 8 << hex(1) << "0/140 (1 sms)";
    QTest::newRow("8-bit 3 digits count 2") << 8 << hex(3) << "2/140 (1 sms)";
    QTest::newRow("8-bit 5 digits count 2") << 8 << hex(5) << "2/140 (1 sms)";
    QTest::newRow("8-bit 7 digits count 4") << 8 << hex(7) << "4/140 (1 sms)";
    QTest::newRow("8-bit non-hex counted all the same") << 8 << QStringLiteral("zz") << "1/140 (1 sms)";
    QTest::newRow("line break counts two") << 7 << QStringLiteral("ab\r\ncd") << "6/160 (1 sms)";
    QTest::newRow("lone LF is kept, counts one") << 7 << QStringLiteral("ab\ncd") << "5/160 (1 sms)";
    QTest::newRow("158 and a break: 160") << 7 << chars(158) + QStringLiteral("\r\n") << "160/160 (1 sms)";
    QTest::newRow("159 and a break: 161") << 7 << chars(159) + QStringLiteral("\r\n") << "161/304 (2 sms)";
}

void TestComposer::counter()
{
    QFETCH(int, alphabet);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    Rig rig;
    rig.loaded();
    rig.selectAlphabet(alphabet);
    QCOMPARE(rig.console->composer().SelectedAlphabet(), alphabet);
    rig.view().txtMessageText->setText(text);
    QCOMPARE(rig.caption(), caption);
    QCOMPARE(rig.console->settings().MessageText, rig.view().txtMessageText->text());
}

void TestComposer::counterFollowsTyping()
{
    Rig rig;
    rig.loaded();
    MultiLineTextBox &box = *rig.view().txtMessageText;
    box.setText(QString(158, QLatin1Char('x')));
    box.setFocus();
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Y);
    QCOMPARE(rig.caption(), QStringLiteral("159/160 (1 sms)"));
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(rig.caption(), QStringLiteral("161/304 (2 sms)"));
    QCOMPARE(rig.console->settings().MessageText, QString(158, QLatin1Char('x')) + QStringLiteral("y\r\n"));
    QTest::keyClick(&box, Qt::Key_Backspace);
    QCOMPARE(rig.caption(), QStringLiteral("159/160 (1 sms)"));
}

void TestComposer::alphabetSwitchRecountsTheSameText_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Text (7 bit)") << 7 << "2/160 (1 sms)";
    QTest::newRow("Binary (8 bit)") << 8 << "1/140 (1 sms)";
    QTest::newRow("Unicode (16 bit)") << 16 << "2/70 (1 sms)";
}

void TestComposer::alphabetSwitchRecountsTheSameText()
{
    QFETCH(int, alphabet);
    QFETCH(QString, caption);
    Rig rig;
    rig.loaded();
    rig.view().txtMessageText->setText(QStringLiteral("AB"));
    // From each other alphabet to this one, so that the selection really changes.
    for (int from : {7, 8, 16}) {
        if (from == alphabet)
            continue;
        rig.selectAlphabet(from);
        rig.selectAlphabet(alphabet);
        QCOMPARE(rig.console->composer().SelectedAlphabet(), alphabet);
        QCOMPARE(rig.caption(), caption);
    }
}

void TestComposer::beyondSixteenBits_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<int>("characters");
    QTest::addColumn<QString>("caption");
    QTest::newRow("7-bit 32,680: room 32,680, the last in range") << 7 << 32680 << "32680/32680 (215 sms)";
    QTest::newRow("7-bit 32,681: room past 32,767") << 7 << 32681 << "32681/32832 (216 sms)";
    QTest::newRow("16-bit 32,737") << 16 << 32737 << "32737/32798 (529 sms)";
    QTest::newRow("7-bit 32,768 characters") << 7 << 32768 << "32768/32832 (216 sms)";
    QTest::newRow("8-bit 65,536 digits") << 8 << 65536 << "32768/32868 (249 sms)";
    QTest::newRow("7-bit 100,000") << 7 << 100000 << "100000/100016 (658 sms)";
}

void TestComposer::beyondSixteenBits()
{
    QFETCH(int, alphabet);
    QFETCH(int, characters);
    QFETCH(QString, caption);
    QCOMPARE(ComposerController::messageLenCaption(alphabet, characters), caption);
}

void TestComposer::largePasteKeepsTheWindowUsable()
{
    Rig rig;
    rig.loaded();
    MultiLineTextBox &box = *rig.view().txtMessageText;
    box.clear();
    QGuiApplication::clipboard()->setText(QString(100000, QLatin1Char('x')));
    box.setFocus();
    box.paste();
    QCOMPARE(rig.caption(), QStringLiteral("100000/100016 (658 sms)"));
    QCOMPARE(rig.console->settings().MessageText.size(), 100000);
    QTest::keyClick(&box, Qt::Key_Z);
    QCOMPARE(rig.caption(), QStringLiteral("100001/100016 (658 sms)"));
    rig.selectAlphabet(16);
    QCOMPARE(rig.caption(), QStringLiteral("100001/100006 (1613 sms)"));
}

void TestComposer::loadingCopiesTheTextButWaitsWithTheCounter()
{
    Rig rig;
    QVERIFY(rig.console->startup().IsLoading());
    const QString before = rig.caption();
    rig.view().txtMessageText->setText(QString(200, QLatin1Char('x')));
    QCOMPARE(rig.console->settings().MessageText, QString(200, QLatin1Char('x')));
    QCOMPARE(rig.caption(), before);
    rig.loaded();
    rig.view().txtMessageText->setText(QString(201, QLatin1Char('x')));
    QCOMPARE(rig.caption(), QStringLiteral("201/304 (2 sms)"));
}

void TestComposer::startupCountsTheLoadedText()
{
    // Set while loading, the text is counted once the first alphabet is selected.
    Rig rig({{QStringLiteral("MessageText"), QString(170, QLatin1Char('m'))}});
    QCOMPARE(rig.console->composer().SelectedAlphabet(), 7);
    QCOMPARE(rig.caption(), QStringLiteral("170/304 (2 sms)"));
    Rig firstRun;
    QCOMPARE(firstRun.caption(), QStringLiteral("26/160 (1 sms)"));
    QCOMPARE(firstRun.console->settings().MessageText, QStringLiteral("Hi, this is a test message"));
}

void TestComposer::storedTextComesBackUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    const QChar nbsp(0x00A0);
    QTest::newRow("no-break space") << QStringLiteral("100") + nbsp + QStringLiteral("km") << "6/160 (1 sms)";
    QTest::newRow("CR LF") << QStringLiteral("one\r\ntwo") << "8/160 (1 sms)";
    QTest::newRow("lone LF") << QStringLiteral("one\ntwo") << "7/160 (1 sms)";
    QTest::newRow("lone CR") << QStringLiteral("one\rtwo") << "7/160 (1 sms)";
    QTest::newRow("mixed, trailing breaks")
        << QStringLiteral("a\nb\r\n") + nbsp + QStringLiteral("\r\r\nc\n\n") << "12/160 (1 sms)";
}

void TestComposer::storedTextComesBackUnchanged()
{
    QFETCH(QString, text);
    QFETCH(QString, caption);
    Rig rig({{QStringLiteral("MessageText"), text}});
    rig.loaded();
    QCOMPARE(rig.view().txtMessageText->text(), text);
    QCOMPARE(rig.caption(), caption);
    rig.view().close();
    QCOMPARE(rig.store->value(QStringLiteral("Pellix"), QStringLiteral("Vendrel"), QStringLiteral("MessageText")),
             std::optional<QString>(text));
}

void TestComposer::advice_data()
{
    QTest::addColumn<bool>("autoReceive");
    QTest::addColumn<QList<bool>>("clicks"); // successive values given to chkStatusReport
    QTest::addColumn<int>("advices");
    QTest::addColumn<qint16>("statusReport");
    QTest::newRow("check with auto receive off") << false << QList<bool>{true} << 1 << qint16(-1);
    QTest::newRow("check with auto receive on") << true << QList<bool>{true} << 0 << qint16(-1);
    QTest::newRow("uncheck shows nothing") << false << QList<bool>{true, false} << 1 << qint16(0);
    QTest::newRow("check, uncheck, check: twice") << false << QList<bool>{true, false, true} << 2 << qint16(-1);
    QTest::newRow("on, off, on with auto receive on") << true << QList<bool>{true, false, true} << 0 << qint16(-1);
}

void TestComposer::advice()
{
    QFETCH(bool, autoReceive);
    QFETCH(QList<bool>, clicks);
    QFETCH(int, advices);
    QFETCH(qint16, statusReport);
    // Receipt off and auto receive as the row says, from a previous run.
    Rig rig({{QStringLiteral("StatusReport"), QStringLiteral("0")},
             {QStringLiteral("AutoReceive"), autoReceive ? QStringLiteral("-1") : QStringLiteral("0")}});
    rig.loaded();
    QCOMPARE(rig.advices(), 0);
    QVERIFY(!rig.view().chkStatusReport->isChecked());
    for (bool on : clicks)
        rig.view().chkStatusReport->setChecked(on);
    QCOMPARE(rig.advices(), advices);
    QCOMPARE(rig.console->settings().StatusReport, statusReport);
    if (advices > 0) {
        const FakeDialogs::Asked box = rig.dialogs->last();
        QCOMPARE(box.style, 64);
        QCOMPARE(box.title, QStringLiteral("Pellix Test utility"));
    }
}

void TestComposer::adviceSeesThePreviousChoice()
{
    Rig rig({{QStringLiteral("StatusReport"), QStringLiteral("0")}, {QStringLiteral("AutoReceive"), QStringLiteral("0")}});
    rig.loaded();
    qint16 heldWhileOpen = 1;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { heldWhileOpen = rig.console->settings().StatusReport; };
    QTest::mouseClick(rig.view().chkStatusReport, Qt::LeftButton);
    QCOMPARE(rig.advices(), 1);
    QCOMPARE(heldWhileOpen, qint16(0));
    QCOMPARE(rig.console->settings().StatusReport, qint16(-1));
}

void TestComposer::noAdviceAtStartup_data()
{
    QTest::addColumn<QString>("statusReport");
    QTest::newRow("receipt saved on") << "-1";
    QTest::newRow("receipt saved on as 1") << "1";
    QTest::newRow("receipt saved off") << "0";
}

void TestComposer::noAdviceAtStartup()
{
    QFETCH(QString, statusReport);
    Rig rig({{QStringLiteral("StatusReport"), statusReport}, {QStringLiteral("AutoReceive"), QStringLiteral("0")}});
    rig.loaded();
    QCOMPARE(rig.advices(), 0);
    QCOMPARE(rig.view().chkStatusReport->isChecked(), statusReport != QLatin1String("0"));
}

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
