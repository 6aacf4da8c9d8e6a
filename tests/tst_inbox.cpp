// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "inboxcontroller.h"
#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "multilinetextbox.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString OwnNumber = QStringLiteral("+3934811111111");
const QDateTime Stamp(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::OffsetFromUTC, 3600);

using Rig = FeatureRig;

ReceivedMessage message(qint16 location, bool isNew, int alphabet, const QString &text, const QByteArray &udh = {},
                        const QByteArray &userData = {})
{
    ReceivedMessage m;
    m.Originator.Number = QStringLiteral("+441234");
    m.Timestamp = Stamp;
    m.SimLocation = location;
    m.IsNew = isNew;
    m.Alphabet = alphabet;
    m.Text = text;
    m.Udh = udh;
    m.UserData = userData;
    return m;
}

SmsStatusReport report(qint16 location, qint16 reference, const QString &status)
{
    SmsStatusReport r;
    r.SimLocation = location;
    r.Reference = reference;
    r.Recipient.Number = QStringLiteral("+441234");
    r.StatusText = status;
    return r;
}

} // namespace

class TestInbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void receivedLines_data();
    void receivedLines();
    void timestampFollowsTheLocaleSeparators();
    void readMessagesInOrderWithAutoDelete_data();
    void readMessagesInOrderWithAutoDelete();
    void emptySim_data();
    void emptySim();
    void statusReportLines_data();
    void statusReportLines();
    void readFailureKeepsTheLinesAlreadyLogged();
    void liveFailureIsReportedAndTheWindowGoesOn();
    void deletePrompt_data();
    void deletePrompt();
    void deleteFailureReported();
    void endToEndOnTheVirtualModem();
};

void TestInbox::initTestCase()
{
    // Day/month/year with "/" and 24-hour time with ":", as the lines are written below.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

void TestInbox::cleanup()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

void TestInbox::receivedLines_data()
{
    QTest::addColumn<ReceivedMessage>("received");
    QTest::addColumn<QString>("line");
    const QString from = QStringLiteral("Message received from +441234 at 05/03/2024 07:08:09:  ");
    QTest::newRow("live: no location prefix") << message(-1, true, 7, QStringLiteral("hi")) << "NEW " + from + "hi";
    QTest::newRow("location 0 has the prefix") << message(0, false, 7, QStringLiteral("hi")) << "[SIM loc.0] " + from + "hi";
    QTest::newRow("new at location 3") << message(3, true, 7, QStringLiteral("hi")) << "[SIM loc.3] NEW " + from + "hi";
    QTest::newRow("old, live") << message(-5, false, 7, QStringLiteral("hi")) << from + "hi";
    QTest::newRow("7-bit with header: brackets then text")
        << message(1, false, 7, QStringLiteral("part"), QByteArray::fromHex("050003aa0201")) << "[SIM loc.1] " + from + "[050003AA0201]part";
    QTest::newRow("8-bit: user data only, never the text")
        << message(2, false, 8, QStringLiteral("ignored"), QByteArray::fromHex("0401"), QByteArray::fromHex("040102ff00"))
        << "[SIM loc.2] " + from + "[040102FF00]";
    QTest::newRow("8-bit empty user data") << message(-1, false, 8, QString(), {}, {}) << from;
    QTest::newRow("16-bit text") << message(-1, false, 16, QStringLiteral("Привет 😀")) << from + "Привет 😀";
    QTest::newRow("line breaks become blanks")
        << message(-1, false, 7, QStringLiteral("one\r\ntwo\nthree")) << from + "one two three";
}

void TestInbox::receivedLines()
{
    QFETCH(ReceivedMessage, received);
    QFETCH(QString, line);
    // From the SIM ...
    Rig rig;
    rig.fake().messages = {received};
    rig.view().cmdReceive->click();
    QCOMPARE(rig.newLines(), QStringList{line});
    // ... and live, the same line.
    rig.markLog();
    rig.fake().emitMessageReceived(received);
    QCOMPARE(rig.newLines(), QStringList{line});
    QVERIFY(rig.dialogs->asked().isEmpty());
}

void TestInbox::timestampFollowsTheLocaleSeparators()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(InboxController::formatTimestamp(Stamp), QStringLiteral("05.03.2024 07:08:09"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Day first whatever the locale's own order; 24-hour clock.
    const QDateTime evening(QDate(2024, 12, 31), QTime(23, 59, 58), Qt::OffsetFromUTC, -5 * 3600);
    QCOMPARE(InboxController::formatTimestamp(evening), QStringLiteral("31/12/2024 23:59:58"));
    // Shown in the centre's zone, not converted to local time.
    const QDateTime tokyo(QDate(2024, 1, 1), QTime(0, 30, 0), Qt::OffsetFromUTC, 9 * 3600);
    QCOMPARE(InboxController::formatTimestamp(tokyo), QStringLiteral("01/01/2024 00:30:00"));
}

void TestInbox::readMessagesInOrderWithAutoDelete_data()
{
    QTest::addColumn<bool>("autoDelete");
    QTest::newRow("auto delete on") << true;
    QTest::newRow("auto delete off") << false;
}

void TestInbox::readMessagesInOrderWithAutoDelete()
{
    QFETCH(bool, autoDelete);
    Rig rig;
    rig.fake().autoDelete = autoDelete;
    rig.fake().messages = {message(4, true, 7, QStringLiteral("first")), message(1, false, 7, QStringLiteral("second"))};
    rig.fake().clearCalls();
    rig.view().cmdReceive->click();
    QCOMPARE(rig.fake().members(), (QStringList{"AutoDelete", "ReadMessages"}));
    QCOMPARE(rig.fake().callsOf(QStringLiteral("ReadMessages")).first().args, (QVariantList{0, autoDelete}));
    QCOMPARE(rig.countMatching(QStringLiteral("\\[SIM loc.4\\] NEW Message received from .*first")), 1);
    QVERIFY(rig.newLines().last().endsWith(QLatin1String("second")));
    QCOMPARE(rig.newLines().size(), 2);

    rig.fake().clearCalls();
    rig.view().cmdReadStatusReports->click();
    QCOMPARE(rig.fake().members(), (QStringList{"AutoDelete", "ReadStatusReports"}));
    QCOMPARE(rig.fake().callsOf(QStringLiteral("ReadStatusReports")).first().args, (QVariantList{0, autoDelete}));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestInbox::emptySim_data()
{
    QTest::addColumn<bool>("reports");
    QTest::newRow("messages") << false;
    QTest::newRow("status reports") << true;
}

void TestInbox::emptySim()
{
    QFETCH(bool, reports);
    Rig rig;
    (reports ? rig.view().cmdReadStatusReports : rig.view().cmdReceive)->click();
    QCOMPARE(rig.newLines(), QStringList{reports ? QStringLiteral("No status reports received") : QStringLiteral("No messages received")});
}

void TestInbox::statusReportLines_data()
{
    QTest::addColumn<SmsStatusReport>("received");
    QTest::addColumn<QString>("line");
    QTest::newRow("live") << report(-1, 42, QStringLiteral("Delivered")) << "Status report (42) for +441234:  Delivered";
    QTest::newRow("location 0") << report(0, 7, QStringLiteral("Delivered")) << "[SIM loc.0] Status report (7) for +441234:  Delivered";
    QTest::newRow("stored at 12")
        << report(12, 255, QStringLiteral("SME busy")) << "[SIM loc.12] Status report (255) for +441234:  SME busy";
    QTest::newRow("status text with a break")
        << report(-1, 1, QStringLiteral("Temporary error,\r\nstill trying")) << "Status report (1) for +441234:  Temporary error, still trying";
}

void TestInbox::statusReportLines()
{
    QFETCH(SmsStatusReport, received);
    QFETCH(QString, line);
    Rig rig;
    rig.fake().statusReports = {received};
    rig.view().cmdReadStatusReports->click();
    QCOMPARE(rig.newLines(), QStringList{line});
    rig.markLog();
    rig.fake().emitStatusReport(received);
    QCOMPARE(rig.newLines(), QStringList{line});
}

void TestInbox::readFailureKeepsTheLinesAlreadyLogged()
{
    Rig rig;
    bool pointerWhileBoxOpen = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { pointerWhileBoxOpen = QGuiApplication::overrideCursor(); };
    rig.fake().raiseOn(QStringLiteral("ReadMessages"), libraryError(1, QStringLiteral("Not connected")));
    rig.view().cmdReceive->click();
    QCOMPARE(rig.newLines(), QStringList{"Error #1 from Pellix: Not connected"});
    QVERIFY(!pointerWhileBoxOpen);

    // A message whose header cannot be shown (beyond what the hex routines hold) fails after the
    // first line was logged; that line stays.
    rig.markLog();
    rig.fake().messages = {message(1, false, 7, QStringLiteral("fine")),
                           message(2, false, 7, QStringLiteral("huge"), QByteArray(40000, 'x'))};
    rig.view().cmdReceive->click();
    QCOMPARE(rig.newLines().size(), 2);
    QVERIFY(rig.newLines().first().endsWith(QLatin1String("fine")));
    QCOMPARE(rig.newLines().last(), QStringLiteral("Error #6 from Vendrel: Overflow"));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestInbox::liveFailureIsReportedAndTheWindowGoesOn()
{
    Rig rig;
    rig.fake().emitMessageReceived(message(-1, true, 8, QString(), {}, QByteArray(40000, 'x')));
    QCOMPARE(rig.newLines(), QStringList{"Error #6 from Vendrel: Overflow"});
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Error #6 from Vendrel"));
    rig.fake().emitStatusReport(report(-1, 3, QStringLiteral("Delivered")));
    QCOMPARE(rig.newLines().size(), 2);
    QCOMPARE(rig.newLines().last(), QStringLiteral("Status report (3) for +441234:  Delivered"));
}

void TestInbox::deletePrompt_data()
{
    QTest::addColumn<std::optional<FakeDialogs::Answer>>("answer"); // none: OK on the proposed text
    QTest::addColumn<QString>("call");    // the modem member called, or empty
    QTest::addColumn<int>("location");
    QTest::newRow("-1 deletes all") << std::optional(FakeDialogs::Answer::typed("-1")) << "DeleteAllMessages" << 0;
    QTest::newRow("the proposed answer") << std::optional<FakeDialogs::Answer>() << "DeleteAllMessages" << 0;
    QTest::newRow("5 deletes location 5") << std::optional(FakeDialogs::Answer::typed("5")) << "DeleteMessage" << 5;
    QTest::newRow("blanks ignored") << std::optional(FakeDialogs::Answer::typed(" 1 2 ")) << "DeleteMessage" << 12;
    QTest::newRow("4.5 rounds to even 4") << std::optional(FakeDialogs::Answer::typed("4.5")) << "DeleteMessage" << 4;
    QTest::newRow("hex") << std::optional(FakeDialogs::Answer::typed("&HA")) << "DeleteMessage" << 10;
    QTest::newRow("-0.6 rounds to -1: all") << std::optional(FakeDialogs::Answer::typed("-0.6")) << "DeleteAllMessages" << 0;
    QTest::newRow("0 deletes nothing") << std::optional(FakeDialogs::Answer::typed("0")) << "" << 0;
    QTest::newRow("empty answer deletes nothing") << std::optional(FakeDialogs::Answer::typed("")) << "" << 0;
    QTest::newRow("cancel deletes nothing") << std::optional(FakeDialogs::Answer::cancel()) << "" << 0;
    QTest::newRow("-2 deletes nothing") << std::optional(FakeDialogs::Answer::typed("-2")) << "" << 0;
    QTest::newRow("words delete nothing") << std::optional(FakeDialogs::Answer::typed("all")) << "" << 0;
}

void TestInbox::deletePrompt()
{
    QFETCH(std::optional<FakeDialogs::Answer>, answer);
    QFETCH(QString, call);
    QFETCH(int, location);
    Rig rig;
    rig.fake().clearCalls();
    if (answer)
        rig.dialogs->queue(*answer);
    rig.view().cmdDeleteSim->click();

    QCOMPARE(rig.dialogs->asked().size(), 1);
    const FakeDialogs::Asked asked = rig.dialogs->asked().first();
    QCOMPARE(asked.kind, FakeDialogs::Kind::Input);
    QCOMPARE(asked.text, QStringLiteral("Insert SIM location to delete (-1 for all):"));
    QCOMPARE(asked.title, QStringLiteral("Pellix Test utility"));
    QCOMPARE(asked.defaultText, QStringLiteral("-1"));
    QCOMPARE(rig.fake().members(), call.isEmpty() ? QStringList{} : QStringList{call});
    if (call == QLatin1String("DeleteMessage"))
        QCOMPARE(rig.fake().calls().first().args, QVariantList{location});
    QVERIFY(rig.newLines().isEmpty()); // nothing logged on success
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestInbox::deleteFailureReported()
{
    Rig rig;
    // Beyond 16 bits: reported, nothing deleted.
    rig.dialogs->queueTyped(QStringLiteral("40000"));
    rig.fake().clearCalls();
    rig.view().cmdDeleteSim->click();
    QVERIFY(rig.fake().calls().isEmpty());
    QCOMPARE(rig.newLines(), QStringList{"Error #6 from Vendrel: Overflow"});

    // The modem refuses: its error, the pointer restored.
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("9"));
    rig.fake().raiseOn(QStringLiteral("DeleteMessage"), libraryError(2321, QStringLiteral("invalid memory index")));
    rig.view().cmdDeleteSim->click();
    QCOMPARE(rig.newLines(), QStringList{"Error #2321 from Pellix: invalid memory index"});
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestInbox::endToEndOnTheVirtualModem()
{
    pellix::PellixGsmModem *real = nullptr;
    Rig rig(
        realModemFactory(real),
        std::make_unique<pellix::PellixUtilities>());
    QVERIFY(real);
    frmVendrel &view = rig.view();
    const auto sendToOwnNumber = [&](const QString &text) -> QString {
        view.cmbPhoneNumber->setEditText(OwnNumber);
        view.txtMessageText->setText(text);
        view.chkStatusReport->setChecked(true);
        rig.markLog();
        QTest::mouseClick(view.cmdSend, Qt::LeftButton);
        const QRegularExpression sent(QStringLiteral("^Message sent \\((\\d+)\\) to \\+3934811111111:  ")
                                      + QRegularExpression::escape(text) + QLatin1Char('$'));
        for (const QString &line : rig.newLines()) {
            if (const QRegularExpressionMatch match = sent.match(line); match.hasMatch())
                return match.captured(1);
        }
        return QString();
    };
    const QString stamp = QStringLiteral("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d");

    // Live: the simulator with automatic reception, as a first run selects them.
    QCOMPARE(view.cmbModemType->currentData().toInt(), -1);
    QVERIFY(view.chkAutoReceive->isChecked());
    QVERIFY(!view.chkAutoDelete->isChecked());
    QTest::mouseClick(view.cmdConnect, Qt::LeftButton);
    QCOMPARE(real->Status(), 2);
    const QString live = sendToOwnNumber(QStringLiteral("Live from the console"));
    QVERIFY2(!live.isEmpty(), qPrintable(rig.newLines().join(QLatin1Char('\n'))));
    QTRY_COMPARE_WITH_TIMEOUT(
        rig.countMatching(QStringLiteral("NEW Message received from \\+3934811111111 at ") + stamp + QStringLiteral(":  Live from the console")),
        1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.countMatching(QStringLiteral("Status report \\(") + live + QStringLiteral("\\) for \\+3934811111111:  .+")),
                              1, 10000);

    // Stored: automatic reception off (the connection is made again), read from the SIM.
    view.chkAutoReceive->setChecked(false);
    QCOMPARE(real->Status(), 2);
    const QString stored = sendToOwnNumber(QStringLiteral("Kept on the SIM"));
    QVERIFY2(!stored.isEmpty(), qPrintable(rig.newLines().join(QLatin1Char('\n'))));
    QTest::qWait(3000); // the copy comes back after 1 s, its report after 2 s
    QCOMPARE(rig.countMatching(QStringLiteral(".*Message received.*|Status report.*")), 0); // none live

    rig.markLog();
    view.cmdReceive->click();
    QCOMPARE(rig.countMatching(QStringLiteral("\\[SIM loc\\.\\d+\\] NEW Message received from \\+3934811111111 at ") + stamp
                               + QStringLiteral(":  Kept on the SIM")),
             1);
    view.cmdReadStatusReports->click();
    QCOMPARE(rig.countMatching(QStringLiteral("\\[SIM loc\\.\\d+\\] Status report \\(") + stored
                               + QStringLiteral("\\) for \\+3934811111111:  .+")),
             1);
    // Auto delete off: still there, and no longer new.
    rig.markLog();
    view.cmdReceive->click();
    QCOMPARE(rig.countMatching(QStringLiteral("\\[SIM loc\\.\\d+\\] Message received from .*Kept on the SIM")), 1);

    // Delete them all, then nothing is left.
    rig.markLog();
    rig.dialogs->queueTyped(QStringLiteral("-1"));
    view.cmdDeleteSim->click();
    QVERIFY(rig.newLines().isEmpty());
    view.cmdReceive->click();
    QCOMPARE(rig.newLines(), QStringList{"No messages received"});
    // The reports go by reading them with auto delete on.
    view.chkAutoDelete->setChecked(true);
    view.cmdReadStatusReports->click();
    view.chkAutoDelete->setChecked(false);
    rig.markLog();
    view.cmdReadStatusReports->click();
    QCOMPARE(rig.newLines(), QStringList{"No status reports received"});
    // No box at all: no error, and the receipt was asked for while auto receive was on.
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 0);

    const QByteArray screenshot = qgetenv("VENDREL_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        // Taller than designed, so that the list shows the whole session from the connection on.
        view.resize(view.width(), view.height() + 28 * view.lstReport->sizeHintForRow(0));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.grab().save(QString::fromLocal8Bit(screenshot)));
    }
}

QTEST_MAIN(TestInbox)
#include "tst_inbox.moc"
