// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString Caption = QStringLiteral("Voice calls forwarding");
const QString DisabledPrompt = QStringLiteral("Voice calls forwarding is currently disabled.\r\n\r\n"
                                              "Insert a phone number to activate voice calls forwarding:");

QString activePrompt(const QString &number)
{
    return QStringLiteral("Voice calls are currently forwarded to phone number ") + number
        + QStringLiteral(".\r\n\r\nInsert a different phone number, or an empty string to disable this function:");
}

using Rig = FeatureRig;

QVariantList forwardCall(int mode, const QString &number = QString())
{
    return QVariantList{mode, 1, 0, number};
}

} // namespace

class TestCallForwarding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void click_data();
    void click();
    void acceptingTheProposedNumberChangesNothing();
    void lineShowsWhatTheNetworkReturns();
    void everyClickAsksAfresh();
    void busyPointerSpansTheBox();
    void failures_data();
    void failures();
    void endToEndOnTheVirtualModem();
};

void TestCallForwarding::click_data()
{
    QTest::addColumn<QString>("forwardedTo");     // the network's state before the click
    QTest::addColumn<FakeDialogs::Answer>("answer");
    QTest::addColumn<QVariantList>("change");     // the ForwardCalls after the query; empty when none
    QTest::addColumn<QStringList>("lines");
    const auto typed = [](const QString &t) { return FakeDialogs::Answer::typed(t); };
    const QString on = QStringLiteral("+393471234567");

    QTest::newRow("off -> on") << QString() << typed(on) << forwardCall(3, on)
                               << QStringList{"Voice calls forwarding has been activated to phone number " + on};
    QTest::newRow("on -> the same number retyped") << on << typed(on) << QVariantList{} << QStringList{};
    QTest::newRow("on -> another number") << on << typed("+4412") << forwardCall(3, "+4412")
                                          << QStringList{"Voice calls forwarding has been activated to phone number +4412"};
    QTest::newRow("on -> empty: deactivated") << on << typed("") << forwardCall(4)
                                              << QStringList{"Voice calls forwarding has been deactivated"};
    QTest::newRow("off -> empty: nothing") << QString() << typed("") << QVariantList{} << QStringList{};
    QTest::newRow("a trailing blank is another number")
        << on << typed(on + " ") << forwardCall(3, on + " ")
        << QStringList{"Voice calls forwarding has been activated to phone number " + on + " "};
    QTest::newRow("passed as typed, unchecked") << QString() << typed(" 12ab") << forwardCall(3, " 12ab")
                                                << QStringList{"Voice calls forwarding has been activated to phone number  12ab"};
    // Cancel is not an empty answer: forwarding the network holds stays.
    QTest::newRow("cancel while on keeps forwarding") << on << FakeDialogs::Answer::cancel() << QVariantList{} << QStringList{};
    QTest::newRow("cancel while off") << QString() << FakeDialogs::Answer::cancel() << QVariantList{} << QStringList{};
}

void TestCallForwarding::click()
{
    QFETCH(QString, forwardedTo);
    QFETCH(FakeDialogs::Answer, answer);
    QFETCH(QVariantList, change);
    QFETCH(QStringList, lines);
    Rig rig;
    rig.fake().forwardedTo = forwardedTo;
    rig.dialogs->queue(answer);

    rig.view().cmdCallForward->click();

    const QList<FakeDialogs::Asked> asked = rig.dialogs->asked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().kind, FakeDialogs::Kind::Input);
    QCOMPARE(asked.first().text, forwardedTo.isEmpty() ? DisabledPrompt : activePrompt(forwardedTo));
    QCOMPARE(asked.first().title, Caption);
    QCOMPARE(asked.first().defaultText, forwardedTo);

    const QList<FakeGsmModem::Call> calls = rig.fake().calls();
    QCOMPARE(calls.size(), change.isEmpty() ? 1 : 2);
    QCOMPARE(calls.first().member, QStringLiteral("ForwardCalls"));
    QCOMPARE(calls.first().args, forwardCall(2));
    if (!change.isEmpty()) {
        QCOMPARE(calls.last().member, QStringLiteral("ForwardCalls"));
        QCOMPARE(calls.last().args, change);
    }
    QCOMPARE(rig.newLines(), lines);
    // Nothing changed at the network unless a change was asked for.
    if (change.isEmpty())
        QCOMPARE(rig.fake().forwardedTo, forwardedTo);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestCallForwarding::acceptingTheProposedNumberChangesNothing()
{
    Rig rig;
    rig.fake().forwardedTo = QStringLiteral("+391");
    rig.view().cmdCallForward->click(); // closed with OK on the proposed text
    QCOMPARE(rig.dialogs->unscripted(), 1);
    QCOMPARE(rig.fake().count(QStringLiteral("ForwardCalls")), 1);
    QVERIFY(rig.newLines().isEmpty());
}

void TestCallForwarding::lineShowsWhatTheNetworkReturns()
{
    Rig rig;
    // The network answers the activation with nothing forwarded: the line says so.
    rig.fake().onCall(QStringLiteral("ForwardCalls"), [&rig] {
        if (rig.fake().count(QStringLiteral("ForwardCalls")) == 2)
            rig.fake().forwardAnswer = QString();
    });
    rig.dialogs->queueTyped(QStringLiteral("+391"));
    rig.view().cmdCallForward->click();
    QCOMPARE(rig.fake().callsOf(QStringLiteral("ForwardCalls")).last().args, forwardCall(3, "+391"));
    QCOMPARE(rig.newLines(), QStringList{"Voice calls forwarding has been deactivated"});

    // ... or with the number as it stores it.
    rig.markLog();
    rig.fake().clearCalls();
    rig.fake().forwardAnswer.reset();
    rig.fake().forwardedTo.clear();
    rig.fake().onCall(QStringLiteral("ForwardCalls"), [&rig] {
        if (rig.fake().count(QStringLiteral("ForwardCalls")) == 2)
            rig.fake().forwardAnswer = QStringLiteral("+39021");
    });
    rig.dialogs->queueTyped(QStringLiteral("021"));
    rig.view().cmdCallForward->click();
    QCOMPARE(rig.newLines(), QStringList{"Voice calls forwarding has been activated to phone number +39021"});
}

void TestCallForwarding::everyClickAsksAfresh()
{
    Rig rig;
    rig.dialogs->queueTyped(QStringLiteral("+391"));
    rig.view().cmdCallForward->click();
    // Changed elsewhere (another phone, the operator's hotline) between the clicks.
    rig.fake().forwardedTo = QStringLiteral("+392");
    rig.dialogs->queueCancel();
    rig.view().cmdCallForward->click();
    QCOMPARE(rig.dialogs->asked().last().text, activePrompt(QStringLiteral("+392")));
    QCOMPARE(rig.dialogs->asked().last().defaultText, QStringLiteral("+392"));
    QCOMPARE(rig.fake().count(QStringLiteral("ForwardCalls")), 3);
}

void TestCallForwarding::busyPointerSpansTheBox()
{
    Rig rig;
    bool busyWhileAsked = false;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { busyWhileAsked = QGuiApplication::overrideCursor() != nullptr; };
    rig.dialogs->queueTyped(QStringLiteral("+391"));
    rig.view().cmdCallForward->click();
    QVERIFY(busyWhileAsked);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestCallForwarding::failures_data()
{
    QTest::addColumn<int>("failingCall"); // 1 the query, 2 the change
    QTest::addColumn<int>("inputBoxes");
    QTest::newRow("the query: no box") << 1 << 0;
    QTest::newRow("the activation: no line of its own") << 2 << 1;
}

void TestCallForwarding::failures()
{
    QFETCH(int, failingCall);
    QFETCH(int, inputBoxes);
    Rig rig;
    rig.fake().onCall(QStringLiteral("ForwardCalls"), [&rig, failingCall] {
        if (rig.fake().count(QStringLiteral("ForwardCalls")) == failingCall)
            throw libraryError(30, QStringLiteral("no network service"));
    });
    bool busyWhileErrorShown = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &asked) {
        if (asked.kind == FakeDialogs::Kind::Message)
            busyWhileErrorShown = QGuiApplication::overrideCursor() != nullptr;
    };
    rig.dialogs->queueTyped(QStringLiteral("+391"));
    rig.view().cmdCallForward->click();
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Input), inputBoxes);
    QCOMPARE(rig.newLines(), QStringList{"Error #30 from Pellix: no network service"});
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Error #30 from Pellix"));
    QVERIFY(!busyWhileErrorShown);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestCallForwarding::endToEndOnTheVirtualModem()
{
    pellix::PellixGsmModem *real = nullptr;
    Rig rig(
        realModemFactory(real),
        std::make_unique<pellix::PellixUtilities>());
    QVERIFY(real);
    real->setConnectOptionA(true);
    real->Connect(-1, 1, QString(), 0, 60, 0);
    QCOMPARE(real->Status(), 2);
    rig.markLog();
    QPushButton &button = *rig.view().cmdCallForward;
    const QString target = QStringLiteral("+393479876543");

    // Off at first: activate.
    rig.dialogs->queueTyped(target);
    button.click();
    QCOMPARE(rig.dialogs->asked().last().text, DisabledPrompt);
    QCOMPARE(rig.newLines(), QStringList{"Voice calls forwarding has been activated to phone number " + target});
    QCOMPARE(real->ForwardCalls(2, 1, 0, QString()), target);

    // Query: the box shows it; Cancel keeps it.
    rig.markLog();
    rig.dialogs->queueCancel();
    button.click();
    QCOMPARE(rig.dialogs->asked().last().text, activePrompt(target));
    QCOMPARE(rig.dialogs->asked().last().defaultText, target);
    QVERIFY(rig.newLines().isEmpty());
    QCOMPARE(real->ForwardCalls(2, 1, 0, QString()), target);

    // A number the network refuses: its error, forwarding unchanged.
    rig.dialogs->queueTyped(QStringLiteral("12#ab"));
    button.click();
    QCOMPARE(rig.newLines().size(), 1);
    QVERIFY2(rig.newLines().first().startsWith(QLatin1String("Error #")), qPrintable(rig.newLines().first()));
    QCOMPARE(real->ForwardCalls(2, 1, 0, QString()), target);

    // An empty answer confirmed: off.
    rig.markLog();
    rig.dialogs->queueTyped(QString());
    button.click();
    QCOMPARE(rig.newLines(), QStringList{"Voice calls forwarding has been deactivated"});
    QCOMPARE(real->ForwardCalls(2, 1, 0, QString()), QString());

    rig.markLog();
    rig.dialogs->queueCancel();
    button.click();
    QCOMPARE(rig.dialogs->asked().last().text, DisabledPrompt);
    QVERIFY(rig.newLines().isEmpty());
    QVERIFY(!QGuiApplication::overrideCursor());
    real->Disconnect();
}

QTEST_MAIN(TestCallForwarding)
#include "tst_callforwarding.moc"
