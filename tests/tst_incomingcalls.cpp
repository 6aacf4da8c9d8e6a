// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "multilinetextbox.h"
#include "reportlistbox.h"
#include "reportlog.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Records how many report lines stood when each beep sounded.
class OrderedDesktop : public FakeDesktop
{
public:
    ReportListBox *log = nullptr;
    QList<int> linesAtBeep;

    void beep() override
    {
        linesAtBeep << (log ? log->count() : -1);
        FakeDesktop::beep();
    }
};

struct Rig : ConsoleRig<GsmModem>
{
    OrderedDesktop *desktop = nullptr;

    explicit Rig(std::function<std::unique_ptr<GsmModem>()> makeModem = {},
                 std::unique_ptr<GsmUtilities> utilities = std::make_unique<FakeGsmUtilities>())
    {
        auto desktopOwned = std::make_unique<OrderedDesktop>();
        desktop = desktopOwned.get();
        Setup setup;
        setup.desktop = std::move(desktopOwned);
        setup.makeModem = std::move(makeModem);
        setup.utilities = std::move(utilities);
        buildActive(std::move(setup));
        desktop->clear();
        desktop->log = view().lstReport;
    }
};

QString ringLine(const QString &number)
{
    return QStringLiteral("RING!  Incoming call from ") + number + QStringLiteral(" (rejected)");
}

} // namespace

class TestIncomingCalls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rings_data();
    void rings();
    void lineCarriesTheTimeStamp();
    void ringWhileAnInputBoxIsOpen();
    void ringsFromTheVirtualNetwork();
};

void TestIncomingCalls::rings_data()
{
    QTest::addColumn<QStringList>("callers");
    QTest::newRow("from 123") << QStringList{"123"};
    QTest::newRow("number withheld") << QStringList{""};
    QTest::newRow("international, with line breaks as the network sent them") << QStringList{"+44\r\n20"};
    QTest::newRow("three in a row, the same caller too") << QStringList{"123", "123", "+3934"};
}

void TestIncomingCalls::rings()
{
    QFETCH(QStringList, callers);
    Rig rig;
    QStringList expected;
    QList<int> beepsAfter;
    for (const QString &caller : callers) {
        rig.fake().emitRing(caller);
        expected << ringLine(caller).replace(QLatin1String("\r\n"), QLatin1String(" "));
        beepsAfter << rig.linesBefore + int(expected.size());
    }
    QCOMPARE(rig.newLines(), expected);
    // One beep per line, each after its line was written.
    QCOMPARE(rig.desktop->linesAtBeep, beepsAfter);
    QCOMPARE(rig.desktop->events, QStringList(callers.size(), QStringLiteral("beep")));
    // The console never answers: no library call, no box.
    QVERIFY(rig.fake().calls().isEmpty());
    QVERIFY(rig.dialogs->asked().isEmpty());
}

void TestIncomingCalls::lineCarriesTheTimeStamp()
{
    Rig rig;
    rig.console->reportLog().setClock([] { return QTime(14, 5, 9); });
    rig.fake().emitRing(QStringLiteral("123"));
    const ReportListBox &log = *rig.view().lstReport;
    QCOMPARE(log.item(log.count() - 1), QStringLiteral("14:05:09  RING!  Incoming call from 123 (rejected)"));
}

void TestIncomingCalls::ringWhileAnInputBoxIsOpen()
{
    Rig rig;
    rig.dialogs->queueTyped(QStringLiteral("7"));
    FakeDialogs::Answer name = FakeDialogs::Answer::typed(QStringLiteral("Anna"));
    name.whileOpen = [&rig] { rig.fake().emitRing(QStringLiteral("555")); };
    rig.dialogs->queue(name);
    rig.dialogs->queueTyped(QStringLiteral("123"));
    rig.view().cmdWritePhonebook->click();
    QCOMPARE(rig.newLines(), (QStringList{ringLine("555"), "Phonebook (7): Anna, 123 created"}));
    QCOMPARE(rig.desktop->beeps, 1);

    // While the forwarding box is open too, between the query and the change.
    rig.markLog();
    FakeDialogs::Answer target = FakeDialogs::Answer::typed(QStringLiteral("+391"));
    target.whileOpen = [&rig] { rig.fake().emitRing(QString()); };
    rig.dialogs->queue(target);
    rig.view().cmdCallForward->click();
    QCOMPARE(rig.newLines(), (QStringList{ringLine(""), "Voice calls forwarding has been activated to phone number +391"}));
    QCOMPARE(rig.desktop->beeps, 2);
}

void TestIncomingCalls::ringsFromTheVirtualNetwork()
{
    pellix::PellixGsmModem *real = nullptr;
    Rig rig(
        realModemFactory(real),
        std::make_unique<pellix::PellixUtilities>());
    QVERIFY(real);
    frmVendrel &view = rig.view();
    real->setConnectOptionA(true);
    real->setConnectOptionB(true); // +CLIP: the ring names the caller
    real->Connect(-1, 1, QString(), 0, 60, 0);
    QCOMPARE(real->Status(), 2);

    // A short phone session as the operator would have it: the phonebook, the forwarding state
    // (unconditional forwarding would take the call away from the modem), then a call.
    view.cmdReadPhonebook->click();
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("+393479876543"));
    view.cmdCallForward->click();
    rig.dialogs->queueTyped(QString());
    view.cmdCallForward->click();
    QCOMPARE(rig.newLines(), (QStringList{"Voice calls forwarding has been activated to phone number +393479876543",
                                          "Voice calls forwarding has been deactivated"}));
    QCOMPARE(real->ForwardCalls(2, 1, 0, QString()), QString());

    // The virtual network calls back from the number a text beginning with "RING" went to.
    const QString caller = QStringLiteral("+393471112233");
    view.cmbPhoneNumber->setEditText(caller);
    view.txtMessageText->setText(QStringLiteral("RING me please"));
    view.chkStatusReport->setChecked(false);
    rig.markLog();
    QTest::mouseClick(view.cmdSend, Qt::LeftButton);
    QCOMPARE(rig.countMatching(QStringLiteral("Message sent \\(\\d+\\) to \\+393471112233:  RING me please")), 1);

    QTRY_VERIFY_WITH_TIMEOUT(rig.countMatching(QRegularExpression::escape(ringLine(caller))) >= 1, 10000);
    // Every line has its beep, and the window did not answer: the calls keep ringing.
    QCOMPARE(rig.desktop->beeps, rig.countMatching(QStringLiteral("RING!.*")));
    QCOMPARE(rig.countMatching(QStringLiteral("RING!.*")), rig.countMatching(QRegularExpression::escape(ringLine(caller))));
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 0);

    const QByteArray screenshot = qgetenv("VENDREL_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(200);
        QVERIFY(view.grab().save(QString::fromLocal8Bit(screenshot)));
    }
    real->Disconnect();
}

QTEST_MAIN(TestIncomingCalls)
#include "tst_incomingcalls.moc"
