// SPDX-License-Identifier: GPL-3.0-or-later
#include "composercontroller.h"
#include "consolerig.h"
#include "frmvendrel.h"
#include "multilinetextbox.h"
#include "reportlistbox.h"
#include "sendcontroller.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <optional>

namespace {

const QString Number = QStringLiteral("+3934811111111");

// The modem's user data as a real modem gives it back: the header, then the octets of the text.
class UserDataModem : public FakeGsmModem
{
public:
    qint32 SendMessage(SmsMessage &message) override
    {
        const qint32 reference = FakeGsmModem::SendMessage(message);
        message.UserData = message.Udh + (message.Alphabet == 8 ? message.Text.toLatin1() : message.Text.toUtf8());
        return reference;
    }
};

struct Rig : ConsoleRig<UserDataModem>
{
    Rig()
    {
        Setup setup;
        setup.makeModem = [] { return std::make_unique<UserDataModem>(); };
        buildActive(std::move(setup));
        modem->status = GsmModem::Connected;
        view().chkStatusReport->setChecked(false);
    }

    void compose(int alphabet, const QString &text, const QString &udh = QString(), const QString &number = Number) const
    {
        view().cmbAlphabet->setCurrentIndex(view().cmbAlphabet->findData(alphabet));
        view().txtMessageText->setText(text);
        view().txtUDH->setText(udh);
        view().cmbPhoneNumber->setEditText(number);
    }
    void send() const { view().cmdSend->click(); }
    QStringList recent() const { return phoneList(); }
};

} // namespace

class TestSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notConnectedChangesNothing_data();
    void notConnectedChangesNothing();
    void failures_data();
    void failures();
    void singleOrLong_data();
    void singleOrLong();
    void messageClass_data();
    void messageClass();
    void validity_data();
    void validity();
    void fieldsReachTheMessage();
    void sentLines_data();
    void sentLines();
    void labelledEntrySentToItsNumberKeptWhole();
    void focusReturnsAfterSuccessOnly();
    void windowUsableAfterAFailure();
    void noModemObjectAfterUnload();
};

void TestSend::notConnectedChangesNothing_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("disconnected") << 0;
    QTest::newRow("connecting") << 1;
}

void TestSend::notConnectedChangesNothing()
{
    QFETCH(int, status);
    Rig rig;
    rig.modem->status = status;
    rig.compose(7, QStringLiteral("hello"));
    const QString recentBefore = rig.console->settings().RecentPhones;
    rig.send();
    QCOMPARE(rig.modem->members(), QStringList{"Status"});
    QVERIFY(rig.utilities->createdNumbers.isEmpty());
    QCOMPARE(rig.dialogs->asked().size(), 1);
    QCOMPARE(rig.dialogs->last().text, QStringLiteral("Please open modem connection before!"));
    QCOMPARE(rig.dialogs->last().style, 48);
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Pellix Test utility"));
    QVERIFY(rig.newLines().isEmpty());
    QVERIFY(rig.recent().isEmpty());
    QCOMPARE(rig.console->settings().RecentPhones, recentBefore);
}

void TestSend::failures_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("udh");
    QTest::addColumn<QString>("validity");
    QTest::addColumn<QString>("failingMember"); // scripted library failure, or empty
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("libraryCalled");

    const QString odd = QStringLiteral("Error #13 from Vendrel: Invalid hex string (string is composed by an odd number of digits)");
    const QString notHex = QStringLiteral("Error #13 from Vendrel: Invalid hex string");
    QTest::newRow("8-bit text, odd digits") << 8 << "414" << "" << "" << "" << odd << false;
    QTest::newRow("8-bit text, pair not hex") << 8 << "41G1" << "" << "" << "" << notHex << false;
    QTest::newRow("8-bit text ending in a line break") << 8 << "4142\r\n" << "" << "" << "" << notHex << false;
    QTest::newRow("8-bit, the first run's default text") << 8 << "Hi, this is a test message" << "" << "" << ""
                                                         << notHex << false;
    QTest::newRow("header odd, 7-bit") << 7 << "hi" << "050" << "" << "" << odd << false;
    QTest::newRow("header not hex, 16-bit") << 16 << "hi" << "0X" << "" << "" << notHex << false;
    QTest::newRow("bad text found before bad header") << 8 << "4G" << "123" << "" << "" << notHex << false;
    QTest::newRow("validity above 32,767") << 7 << "hi" << "" << "99999" << "" << "Error #6 from Vendrel: Overflow" << false;
    QTest::newRow("number refused") << 7 << "hi" << "" << "" << "CreatePhoneNumber"
                                    << "Error #22 from Pellix: Invalid phone number" << false;
    QTest::newRow("message refused") << 7 << "hi" << "" << "" << "SendMessage"
                                     << "Error #2500 from Pellix: unknown error 500" << true;
    QTest::newRow("long message refused") << 7 << QString(161, QLatin1Char('x')) << "" << "" << "SendLongMessage"
                                          << "Error #3 from Pellix: Timeout" << true;
}

void TestSend::failures()
{
    QFETCH(int, alphabet);
    QFETCH(QString, text);
    QFETCH(QString, udh);
    QFETCH(QString, validity);
    QFETCH(QString, failingMember);
    QFETCH(QString, line);
    QFETCH(bool, libraryCalled);
    Rig rig;
    rig.compose(alphabet, text, udh);
    rig.view().txtValidity->setText(validity);
    if (failingMember == QLatin1String("CreatePhoneNumber"))
        rig.utilities->createError = libraryError(22, QStringLiteral("Invalid phone number"));
    else if (failingMember == QLatin1String("SendMessage"))
        rig.modem->raiseOn(failingMember, libraryError(2500, QStringLiteral("unknown error 500")));
    else if (failingMember == QLatin1String("SendLongMessage"))
        rig.modem->raiseOn(failingMember, libraryError(3, QStringLiteral("Timeout")));
    bool pointerWhileBoxOpen = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { pointerWhileBoxOpen = QGuiApplication::overrideCursor(); };

    rig.send();

    QCOMPARE(rig.newLines(), QStringList{line});
    const qsizetype colon = line.indexOf(QLatin1String(": "));
    QCOMPARE(rig.dialogs->asked().size(), 1);
    QCOMPARE(rig.dialogs->last().title, line.left(colon));
    QCOMPARE(rig.dialogs->last().text, line.mid(colon + 2));
    QCOMPARE(rig.dialogs->last().style, 48);
    QVERIFY2(!pointerWhileBoxOpen, "the busy pointer is restored before the error box");
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(rig.modem->count(QStringLiteral("SendMessage")) + rig.modem->count(QStringLiteral("SendLongMessage")),
             libraryCalled ? 1 : 0);
    // Remembered although the send failed.
    QCOMPARE(rig.recent(), QStringList{Number});
}

void TestSend::singleOrLong_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isLong");
    const auto chars = [](int n) { return QString(n, QLatin1Char('x')); };
    QTest::newRow("7-bit 160: one message") << 7 << chars(160) << false;
    QTest::newRow("7-bit 161: the long path") << 7 << chars(161) << true;
    QTest::newRow("7-bit 159 and a line break: long") << 7 << chars(159) + QStringLiteral("\r\n") << true;
    QTest::newRow("16-bit 100 characters: never split") << 16 << chars(100) << false;
    QTest::newRow("16-bit 200 characters: never split") << 16 << chars(200) << false;
    QTest::newRow("8-bit 300 bytes: never split") << 8 << QString(600, QLatin1Char('A')) << false;
}

void TestSend::singleOrLong()
{
    QFETCH(int, alphabet);
    QFETCH(QString, text);
    QFETCH(bool, isLong);
    Rig rig;
    rig.compose(alphabet, text, QStringLiteral("0500"));
    rig.view().chkStatusReport->setChecked(true);
    rig.view().cmbClass->setCurrentIndex(1);
    rig.view().txtValidity->setText(QStringLiteral("10"));
    rig.modem->longMessageResult = 2;
    rig.send();

    if (isLong) {
        QCOMPARE(rig.modem->count(QStringLiteral("SendMessage")), 0);
        const auto calls = rig.modem->callsOf(QStringLiteral("SendLongMessage"));
        QCOMPARE(calls.size(), 1);
        // Number, text and receipt only: header, class and validity play no part.
        QCOMPARE(calls.first().args, (QVariantList{Number, text, true}));
        QVERIFY(rig.utilities->createdNumbers.isEmpty());
        QCOMPARE(rig.newLines(), QStringList{QStringLiteral("Long message sent (2) to ") + Number + QStringLiteral(":  ")
                                             + QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "))});
    } else {
        QCOMPARE(rig.modem->count(QStringLiteral("SendLongMessage")), 0);
        QCOMPARE(rig.modem->sentMessages.size(), 1);
        const SmsMessage &sent = rig.modem->sentMessages.first();
        QCOMPARE(sent.Alphabet, alphabet);
        QCOMPARE(sent.Text.size(), alphabet == 8 ? text.size() / 2 : text.size());
        QCOMPARE(sent.Udh, QByteArray::fromHex("0500"));
        QCOMPARE(rig.newLines().size(), 1);
        QVERIFY(rig.newLines().first().startsWith(QStringLiteral("Message sent (1) to ") + Number));
    }
}

void TestSend::messageClass_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("messageClass");
    QTest::newRow("None passes -1") << 0 << -1;
    QTest::newRow("0 - Flash SMS") << 1 << 0;
    QTest::newRow("1 - ME specific") << 2 << 1;
    QTest::newRow("2 - SIM specific") << 3 << 2;
    QTest::newRow("3 - TE specific") << 4 << 3;
}

void TestSend::messageClass()
{
    QFETCH(int, index);
    QFETCH(int, messageClass);
    Rig rig;
    rig.compose(7, QStringLiteral("hi"));
    // From another entry, so that "None" is really chosen and not just left as it was.
    rig.view().cmbClass->setCurrentIndex(index == 4 ? 0 : 4);
    rig.view().cmbClass->setCurrentIndex(index);
    rig.send();
    QCOMPARE(rig.modem->sentMessages.size(), 1);
    QCOMPARE(rig.modem->sentMessages.first().MessageClass, messageClass);
}

void TestSend::validity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("validity");
    QTest::newRow("empty: unset") << "" << std::optional<qint32>();
    QTest::newRow("1.5 rounds to 2") << "1.5" << std::optional<qint32>(2);
    QTest::newRow("2.5 rounds to even 2") << "2.5" << std::optional<qint32>(2);
    QTest::newRow("10") << "10" << std::optional<qint32>(10);
    QTest::newRow("no leading number: 0") << "abc" << std::optional<qint32>(0);
    QTest::newRow("blanks ignored") << " 1 440 min" << std::optional<qint32>(1440);
    QTest::newRow("hex prefix") << "&H10" << std::optional<qint32>(16);
    QTest::newRow("largest") << "32767" << std::optional<qint32>(32767);
}

void TestSend::validity()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, validity);
    Rig rig;
    rig.compose(7, QStringLiteral("hi"));
    rig.view().txtValidity->setText(text);
    rig.send();
    QCOMPARE(rig.modem->sentMessages.size(), 1);
    QCOMPARE(rig.modem->sentMessages.first().Validity, validity);
}

void TestSend::fieldsReachTheMessage()
{
    Rig rig;
    rig.compose(8, QStringLiteral("00ff7F"), QStringLiteral("0401020304"));
    rig.view().chkStatusReport->setChecked(true);
    rig.send();
    QCOMPARE(rig.utilities->createdNumbers, QStringList{Number});
    QCOMPARE(rig.modem->sentMessages.size(), 1);
    const SmsMessage &sent = rig.modem->sentMessages.first();
    QCOMPARE(sent.Recipient.Number, Number);
    QCOMPARE(sent.Recipient.NumberingPlan, 1);
    QCOMPARE(sent.Alphabet, 8);
    QCOMPARE(sent.Text, QString::fromLatin1(QByteArray::fromHex("00ff7f")));
    QCOMPARE(sent.Udh, QByteArray::fromHex("0401020304"));
    QVERIFY(sent.RequestStatusReport);

    rig.view().chkStatusReport->setChecked(false);
    rig.compose(16, QStringLiteral("Привет"));
    rig.send();
    QCOMPARE(rig.modem->sentMessages.size(), 2);
    QCOMPARE(rig.modem->sentMessages.last().Text, QStringLiteral("Привет"));
    QCOMPARE(rig.modem->sentMessages.last().Udh, QByteArray());
    QVERIFY(!rig.modem->sentMessages.last().RequestStatusReport);
    // Status first, then the send; nothing else asked of the modem.
    QCOMPARE(rig.modem->members(), (QStringList{"Status", "SendMessage", "Status", "SendMessage"}));
}

void TestSend::sentLines_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("udh");
    QTest::addColumn<QString>("line");
    QTest::newRow("7-bit without header") << 7 << "Hello" << "" << "Message sent (42) to +3934811111111:  Hello";
    QTest::newRow("7-bit with header") << 7 << "Hi" << "050003aa0101"
                                       << "Message sent (42) to +3934811111111:  [050003AA0101]Hi";
    QTest::newRow("16-bit shows the text") << 16 << "Привет" << "" << "Message sent (42) to +3934811111111:  Привет";
    QTest::newRow("8-bit shows the user data") << 8 << "48690d0A" << "" << "Message sent (42) to +3934811111111:  [48690D0A]";
    QTest::newRow("8-bit with header: all of the user data")
        << 8 << "FF" << "0401020304" << "Message sent (42) to +3934811111111:  [0401020304FF]";
    QTest::newRow("line breaks become blanks") << 7 << "two\r\nlines" << "" << "Message sent (42) to +3934811111111:  two lines";
}

void TestSend::sentLines()
{
    QFETCH(int, alphabet);
    QFETCH(QString, text);
    QFETCH(QString, udh);
    QFETCH(QString, line);
    Rig rig;
    rig.modem->nextReference = 42;
    rig.compose(alphabet, text, udh);
    rig.send();
    QCOMPARE(rig.newLines(), QStringList{line});
    QVERIFY(rig.dialogs->asked().isEmpty());
}

void TestSend::labelledEntrySentToItsNumberKeptWhole()
{
    Rig rig;
    rig.compose(7, QStringLiteral("hi"), QString(), QStringLiteral("+441"));
    rig.send();
    rig.compose(7, QStringLiteral("hi"), QString(), QStringLiteral("Anna: +3934811111111 "));
    rig.send();
    QCOMPARE(rig.utilities->createdNumbers, (QStringList{"+441", Number}));
    QCOMPARE(rig.recent(), (QStringList{"Anna: +3934811111111 ", "+441"}));
    QCOMPARE(rig.view().cmbPhoneNumber->currentText(), QStringLiteral("Anna: +3934811111111 "));
    QCOMPARE(rig.console->settings().RecentPhones, QStringLiteral("Anna: +3934811111111 ,+441"));
    QCOMPARE(rig.newLines().last(), QStringLiteral("Message sent (2) to +3934811111111:  hi"));

    // The long path dials the number too.
    rig.compose(7, QString(170, QLatin1Char('x')), QString(), QStringLiteral("Bob: +442"));
    rig.send();
    QCOMPARE(rig.modem->callsOf(QStringLiteral("SendLongMessage")).first().args.first(), QVariant(QStringLiteral("+442")));
    QCOMPARE(rig.recent().first(), QStringLiteral("Bob: +442"));
}

void TestSend::focusReturnsAfterSuccessOnly()
{
    Rig rig;
    frmVendrel &view = rig.view();
    view.show();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    for (bool succeeds : {true, false}) {
        rig.compose(succeeds ? 7 : 8, QStringLiteral("hi"));
        view.cmdSend->setFocus();
        QTRY_VERIFY(view.cmdSend->hasFocus());
        QTest::mouseClick(view.cmdSend, Qt::LeftButton);
        QCOMPARE(view.txtMessageText->hasFocus(), succeeds);
        QCOMPARE(view.cmdSend->hasFocus(), !succeeds);
    }
}

void TestSend::windowUsableAfterAFailure()
{
    Rig rig;
    rig.compose(7, QStringLiteral("hi"));
    rig.modem->raiseOn(QStringLiteral("SendMessage"), libraryError(5, QStringLiteral("Connection lost")));
    rig.send();
    rig.send();
    QCOMPARE(rig.newLines(), (QStringList{"Error #5 from Pellix: Connection lost",
                                          "Message sent (1) to +3934811111111:  hi"}));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestSend::noModemObjectAfterUnload()
{
    Rig rig;
    rig.view().close(); // Form_Unload releases the modem object
    QVERIFY(!rig.console->modem());
    rig.dialogs->clear();
    rig.console->sending().cmdSend_Click();
    QCOMPARE(rig.newLines().last(), QStringLiteral("Error #91 from Vendrel: Object variable not set"));
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Error #91 from Vendrel"));
}

QTEST_MAIN(TestSend)
#include "tst_send.moc"
