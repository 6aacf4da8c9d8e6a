// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "modemportcontroller.h"
#include "qtdialogs.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString InvalidPort = QStringLiteral("Please provide a valid serial port number.");
using PortDescriptions = QHash<int, QString>; // by COM number

struct Rig : ConsoleRig<>
{
    // realDialogs: the console's own QMessageBox boxes instead of the scripted ones.
    explicit Rig(const QHash<QString, QString> &stored = {}, const QList<int> &ports = {}, bool realDialogs = false,
                 const QHash<int, QString> &portDescriptions = {})
    {
        Setup setup;
        setup.stored = stored;
        auto fakeUtilities = std::make_unique<FakeGsmUtilities>();
        fakeUtilities->ports = ports;
        fakeUtilities->portDescriptions = portDescriptions;
        setup.utilities = std::move(fakeUtilities);
        if (realDialogs)
            setup.dialogs = std::make_unique<QtDialogs>();
        setup.facts.exeFolder = QStringLiteral("/opt/pellix/bin");
        build(std::move(setup));
    }

    ModemPortController &modemPort() const { return console->modemPort(); }
    QStringList portList() const
    {
        QStringList items;
        for (int i = 0; i < view().cmbModemPort->count(); ++i)
            items << view().cmbModemPort->itemText(i);
        return items;
    }
    QStringList portTips() const
    {
        QStringList tips;
        for (int i = 0; i < view().cmbModemPort->count(); ++i)
            tips << view().cmbModemPort->itemData(i, Qt::ToolTipRole).toString();
        return tips;
    }
};

} // namespace

class TestModemPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedTypeSelectsItsEntry_data();
    void storedTypeSelectsItsEntry();
    void choosingATypeFollowsAtOnce();
    void portListFromTheLibrary_data();
    void portListFromTheLibrary();
    void portNameCheck_data();
    void portNameCheck();
    void focusLeavingThePortBox_data();
    void focusLeavingThePortBox();
    void smallButtonsCheckThePortFirst_data();
    void smallButtonsCheckThePortFirst();
    void portLabelAccessKey_data();
    void portLabelAccessKey();
    void realBoxKeepsTheFocus_data();
    void realBoxKeepsTheFocus();
    void helpMessages_data();
    void helpMessages();
};

void TestModemPort::storedTypeSelectsItsEntry_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("modemType");
    QTest::addColumn<bool>("portEnabled");

    QTest::newRow("default -1: simulator, no port") << QString() << QStringLiteral("No modem (use simulator)") << -1 << false;
    QTest::newRow("40: the last of the two entries") << QStringLiteral("40") << QStringLiteral("Nokia Series 40 (dp2.0)") << 40 << true;
    QTest::newRow("15: Huawei") << QStringLiteral("15") << QStringLiteral("Huawei") << 15 << true;
    QTest::newRow("0: profile of Pellix.ini, the last entry")
        << QStringLiteral("0") << QStringLiteral("Others...(profile on Pellix.ini)") << 0 << true;
    QTest::newRow("a code no entry has: simulator") << QStringLiteral("99") << QStringLiteral("No modem (use simulator)") << -1 << false;
    QTest::newRow("damaged setting reads 0") << QStringLiteral("Nokia") << QStringLiteral("Others...(profile on Pellix.ini)") << 0 << true;
}

void TestModemPort::storedTypeSelectsItsEntry()
{
    QFETCH(QString, stored);
    QFETCH(QString, entry);
    QFETCH(int, modemType);
    QFETCH(bool, portEnabled);

    QHash<QString, QString> values;
    if (!stored.isNull())
        values.insert(QStringLiteral("ModemType"), stored);
    Rig rig(values);
    QCOMPARE(rig.view().cmbModemType->currentText(), entry);
    QCOMPARE(rig.console->settings().ModemType, modemType);
    QCOMPARE(rig.view().cmbModemPort->isEnabled(), portEnabled);
}

void TestModemPort::choosingATypeFollowsAtOnce()
{
    Rig rig;
    frmVendrel &v = rig.view();
    QVERIFY(!v.cmbModemPort->isEnabled());
    v.cmbModemType->setCurrentIndex(7);
    QCOMPARE(rig.console->settings().ModemType, 40);
    QVERIFY(v.cmbModemPort->isEnabled());
    v.cmbModemType->setCurrentIndex(21);
    QCOMPARE(rig.console->settings().ModemType, 2);
    v.cmbModemType->setCurrentIndex(0);
    QCOMPARE(rig.console->settings().ModemType, -1);
    QVERIFY(!v.cmbModemPort->isEnabled());

    // Written back at close as chosen.
    v.cmbModemType->setCurrentIndex(4);
    v.close();
    QCOMPARE(rig.console->settings().ModemType, 15);
}

void TestModemPort::portListFromTheLibrary_data()
{
    QTest::addColumn<QList<int>>("ports");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<PortDescriptions>("descriptions"); // what the library knows of each port
    QTest::addColumn<QStringList>("tips");                 // the entries' tooltips

    QTest::newRow("ports 1 and 3, CommPort 5 added and selected")
        << QList<int>{1, 3} << QStringLiteral("5") << QStringList{QStringLiteral("COM1"), QStringLiteral("COM3"), QStringLiteral("COM5")}
        << QStringLiteral("COM5") << PortDescriptions{} << QStringList{QString(), QString(), QString()};
    QTest::newRow("no ports, default CommPort 1") << QList<int>{} << QString() << QStringList{QStringLiteral("COM1")} << QStringLiteral("COM1")
                                                  << PortDescriptions{} << QStringList{QString()};
    QTest::newRow("listed port selected, nothing added")
        << QList<int>{1, 3, 34} << QStringLiteral("3") << QStringList{QStringLiteral("COM1"), QStringLiteral("COM3"), QStringLiteral("COM34")}
        << QStringLiteral("COM3") << PortDescriptions{} << QStringList{QString(), QString(), QString()};
    QTest::newRow("damaged setting offers COM0")
        << QList<int>{2} << QStringLiteral("x") << QStringList{QStringLiteral("COM2"), QStringLiteral("COM0")} << QStringLiteral("COM0")
        << PortDescriptions{} << QStringList{QString(), QString()};
    const QString modem = QStringLiteral("/dev/ttyUSB1: USB 12d1:1506 HUAWEI Mobile, serial 0123456789");
    QTest::newRow("descriptions are tooltips; the names stay COM and the number")
        << QList<int>{1, 34} << QStringLiteral("34") << QStringList{QStringLiteral("COM1"), QStringLiteral("COM34")}
        << QStringLiteral("COM34") << PortDescriptions{{1, QStringLiteral("/dev/ttyS0")}, {34, modem}, {35, QStringLiteral("absent")}}
        << QStringList{QStringLiteral("/dev/ttyS0"), modem};
}

void TestModemPort::portListFromTheLibrary()
{
    QFETCH(QList<int>, ports);
    QFETCH(QString, stored);
    QFETCH(QStringList, list);
    QFETCH(QString, selected);
    QFETCH(PortDescriptions, descriptions);
    QFETCH(QStringList, tips);

    QHash<QString, QString> values{{QStringLiteral("ModemType"), QStringLiteral("15")}};
    if (!stored.isNull())
        values.insert(QStringLiteral("CommPort"), stored);
    Rig rig(values, ports, false, descriptions);
    QCOMPARE(rig.portList(), list);
    QCOMPARE(rig.portTips(), tips);
    QCOMPARE(rig.view().cmbModemPort->currentText(), selected);
    QCOMPARE(rig.view().cmbModemPort->currentIndex(), int(list.indexOf(selected)));
}

void TestModemPort::portNameCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("commPort");

    QTest::newRow("com7 in lower case") << QStringLiteral("com7") << true << 7;
    QTest::newRow("COM7 with a remark") << QStringLiteral("COM7 (USB)") << true << 7;
    QTest::newRow("two digits") << QStringLiteral("COM12") << true << 12;
    QTest::newRow("decimal rounds half to even") << QStringLiteral("COM2.5") << true << 2;
    QTest::newRow("COM0 is a name") << QStringLiteral("COM0") << true << 0;
    QTest::newRow("upper bound of CommPort") << QStringLiteral("COM32767") << true << 32767;
    QTest::newRow("COMX") << QStringLiteral("COMX") << false << 1;
    QTest::newRow("bare number") << QStringLiteral("7") << false << 1;
    QTest::newRow("empty") << QString() << false << 1;
    QTest::newRow("COM without a digit") << QStringLiteral("COM") << false << 1;
    QTest::newRow("blank before the digit") << QStringLiteral("COM 7") << false << 1;
    QTest::newRow("leading blank") << QStringLiteral(" COM7") << false << 1;
    QTest::newRow("sign is no digit") << QStringLiteral("COM-1") << false << 1;
    QTest::newRow("number beyond 16 bits refused") << QStringLiteral("COM40000") << false << 1;
    QTest::newRow("exponent beyond 16 bits refused") << QStringLiteral("COM1e9") << false << 1;
}

void TestModemPort::portNameCheck()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(int, commPort);

    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("15")}});
    rig.view().cmbModemPort->setEditText(text);
    bool cancel = false;
    rig.modemPort().cmbModemPort_Validate(cancel);
    QCOMPARE(cancel, !accepted);
    QCOMPARE(int(rig.console->settings().CommPort), commPort);
    // The text stays as typed either way.
    QCOMPARE(rig.view().cmbModemPort->currentText(), text);
    if (accepted) {
        QCOMPARE(rig.dialogs->asked().size(), 0);
    } else {
        QCOMPARE(rig.dialogs->asked().size(), 1);
        QCOMPARE(rig.dialogs->last().text, InvalidPort);
        QCOMPARE(rig.dialogs->last().style, 48);
        QCOMPARE(rig.dialogs->last().title, QStringLiteral("Pellix Test utility"));
    }
}

void TestModemPort::focusLeavingThePortBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("refused");     // the message shown
    QTest::addColumn<QString>("focusAfter");
    QTest::addColumn<QString>("button");   // a button whose click must (not) happen
    QTest::addColumn<int>("commPort");

    const QString port = QStringLiteral("cmbModemPort");
    QTest::newRow("Tab with a valid name") << QStringLiteral("com4") << QStringLiteral("tab") << false << QStringLiteral("chkGSMSignal") << QString() << 4;
    QTest::newRow("Tab with an invalid name") << QStringLiteral("COMX") << QStringLiteral("tab") << true << port << QString() << 1;
    QTest::newRow("Shift+Tab with a bare number") << QStringLiteral("7") << QStringLiteral("backtab") << true << port << QString() << 1;
    QTest::newRow("Tab with a number beyond 16 bits") << QStringLiteral("COM70000") << QStringLiteral("tab") << true << port << QString() << 1;
    QTest::newRow("click on Connect with an empty name: no click")
        << QString() << QStringLiteral("click cmdConnect") << true << port << QStringLiteral("cmdConnect") << 1;
    QTest::newRow("click on Connect with a valid name: clicked")
        << QStringLiteral("COM9") << QStringLiteral("click cmdConnect") << false << QStringLiteral("cmdConnect")
        << QStringLiteral("cmdConnect") << 9;
    QTest::newRow("click on the report list with an invalid name")
        << QStringLiteral("COMX") << QStringLiteral("click lstReport") << true << port << QString() << 1;
    QTest::newRow("access key of a button with an invalid name: no click")
        << QStringLiteral("COMX") << QStringLiteral("alt W") << true << port << QStringLiteral("cmdCallForward") << 1;
    // A Qt button acts on its access key without taking the focus; the check still runs first.
    QTest::newRow("access key of a button with a valid name: clicked")
        << QStringLiteral("COM6") << QStringLiteral("alt W") << false << port << QStringLiteral("cmdCallForward") << 6;
    QTest::newRow("access key shared by Connect with an invalid name")
        << QStringLiteral("x") << QStringLiteral("alt C") << true << port << QStringLiteral("cmdConnect") << 1;
    QTest::newRow("label's access key to another list with an invalid name")
        << QStringLiteral("COMX") << QStringLiteral("alt T") << true << port << QString() << 1;
    QTest::newRow("label's access key to another list with a valid name")
        << QStringLiteral("COM2") << QStringLiteral("alt T") << false << QStringLiteral("cmbModemType") << QString() << 2;
    QTest::newRow("the port box's own label: the focus does not leave")
        << QStringLiteral("COMX") << QStringLiteral("alt P") << false << port << QString() << 1;
    QTest::newRow("a click inside the port box: the focus does not leave")
        << QStringLiteral("COMX") << QStringLiteral("click cmbModemPort") << false << port << QString() << 1;
}

// The console shown and active, the focus in the port box with `text` typed there, no box asked yet.
void typeInPortBox(Rig &rig, const QString &text)
{
    frmVendrel &v = rig.view();
    rig.console->show();
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    QTRY_VERIFY(!rig.console->startup().IsLoading());
    v.cmbModemPort->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), v.cmbModemPort);
    v.cmbModemPort->setEditText(text);
    rig.dialogs->clear();
}

void TestModemPort::focusLeavingThePortBox()
{
    QFETCH(QString, text);
    QFETCH(QString, action);
    QFETCH(bool, refused);
    QFETCH(QString, focusAfter);
    QFETCH(QString, button);
    QFETCH(int, commPort);

    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("15")}});
    frmVendrel &v = rig.view();
    typeInPortBox(rig, text);
    if (QTest::currentTestFailed())
        return;

    QPushButton *target = button.isEmpty() ? nullptr : v.findChild<QPushButton *>(button);
    std::unique_ptr<QSignalSpy> clicks;
    if (target)
        clicks = std::make_unique<QSignalSpy>(target, &QPushButton::clicked);

    if (action == QLatin1String("tab"))
        QTest::keyClick(v.cmbModemPort, Qt::Key_Tab);
    else if (action == QLatin1String("backtab"))
        QTest::keyClick(v.cmbModemPort, Qt::Key_Backtab, Qt::ShiftModifier);
    else if (action == QLatin1String("click cmdConnect"))
        QTest::mouseClick(v.cmdConnect, Qt::LeftButton);
    else if (action == QLatin1String("click lstReport"))
        QTest::mouseClick(v.lstReport->viewport(), Qt::LeftButton);
    else if (action == QLatin1String("click cmbModemPort"))
        QTest::mouseClick(v.cmbModemPort, Qt::LeftButton, {}, QPoint(10, v.cmbModemPort->height() / 2));
    else if (action.startsWith(QLatin1String("alt ")))
        QTest::keyClick(v.cmbModemPort, action.back().toLatin1(), Qt::AltModifier);
    // An access key clicks its button on a short timer.
    QTest::qWait(action.startsWith(QLatin1String("alt ")) ? 300 : 20);

    // A button that is clicked may open boxes of its own feature; only the port check's count.
    QList<FakeDialogs::Asked> boxes;
    for (const FakeDialogs::Asked &box : rig.dialogs->asked())
        if (box.text == InvalidPort)
            boxes << box;
    QCOMPARE(boxes.size(), refused ? 1 : 0);
    if (refused) {
        QCOMPARE(rig.dialogs->asked().size(), 1);
        QCOMPARE(boxes.first().style, 48);
        QCOMPARE(v.cmbModemPort->currentText(), text);
    }
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
    QCOMPARE(int(rig.console->settings().CommPort), commPort);
    if (target)
        QCOMPARE(clicks->size(), refused ? 0 : 1);
    if (button == QLatin1String("cmdConnect"))
        QCOMPARE(rig.modem->count(QStringLiteral("Connect")), refused ? 0 : 1);
    QVERIFY(!QApplication::overrideCursor());
}

void TestModemPort::smallButtonsCheckThePortFirst_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");

    for (const char *button : {"cmdHelpModemType", "cmdHelpModemPort", "cmdHelp", "cmdClear", "cmdClose"}) {
        const QString name = QString::fromLatin1(button);
        QTest::addRow("%s after COMX: refused, no click", button) << name << QStringLiteral("COMX") << true;
        QTest::addRow("%s after COM7: taken, clicked", button) << name << QStringLiteral("COM7") << false;
    }
}

void TestModemPort::smallButtonsCheckThePortFirst()
{
    // The small buttons are outside the Tab order, but a click still takes the focus from the
    // port box, so the typed name is checked before the button acts.
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(bool, refused);

    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("15")}});
    frmVendrel &v = rig.view();
    typeInPortBox(rig, text);
    if (QTest::currentTestFailed())
        return;
    const int lines = rig.lineCount();

    auto *target = v.findChild<QPushButton *>(button);
    QVERIFY(target);
    QSignalSpy clicks(target, &QPushButton::clicked);
    QTest::mouseClick(target, Qt::LeftButton);
    QTest::qWait(20);

    int invalid = 0;
    for (const FakeDialogs::Asked &box : rig.dialogs->asked())
        invalid += box.text == InvalidPort ? 1 : 0;
    QCOMPARE(invalid, refused ? 1 : 0);
    QCOMPARE(clicks.size(), refused ? 0 : 1);
    if (refused) {
        QCOMPARE(QApplication::focusWidget(), v.cmbModemPort);
        QCOMPARE(v.cmbModemPort->currentText(), text);
        QCOMPARE(rig.lineCount(), lines);
        QCOMPARE(int(rig.console->settings().CommPort), 1);
    } else {
        QCOMPARE(int(rig.console->settings().CommPort), 7);
    }
    if (button == QLatin1String("cmdClose"))
        QCOMPARE(rig.store->value(Rig::App, Rig::Section, QStringLiteral("CommPort")),
                 refused ? std::optional<QString>() : std::optional<QString>(QStringLiteral("7")));
}

void TestModemPort::portLabelAccessKey_data()
{
    QTest::addColumn<QString>("modemType");
    QTest::addColumn<QString>("focusAfter");
    QTest::newRow("a real modem: the port box") << QStringLiteral("15") << QStringLiteral("cmbModemPort");
    // The simulator needs no port and the box is disabled: the next control that can take the
    // focus gets it.
    QTest::newRow("the simulator: the next control") << QStringLiteral("-1") << QStringLiteral("chkGSMSignal");
}

void TestModemPort::portLabelAccessKey()
{
    QFETCH(QString, modemType);
    QFETCH(QString, focusAfter);

    Rig rig({{QStringLiteral("ModemType"), modemType}});
    frmVendrel &v = rig.view();
    rig.console->show();
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    QTRY_VERIFY(!rig.console->startup().IsLoading());
    v.cmdConnect->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), v.cmdConnect);
    QCOMPARE(v.cmbModemPort->isEnabled(), modemType != QLatin1String("-1"));

    QTest::keyClick(v.cmdConnect, Qt::Key_P, Qt::AltModifier);
    // "&Phone number" shares the key: repeated presses take turns between the two labels, and
    // the turn carries over from earlier presses in this process.
    if (QApplication::focusWidget() == v.cmbPhoneNumber) {
        v.cmdConnect->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(v.cmdConnect, Qt::Key_P, Qt::AltModifier);
    }
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
}

void TestModemPort::realBoxKeepsTheFocus_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Tab") << QStringLiteral("tab");
    QTest::newRow("click on Connect") << QStringLiteral("click");
}

void TestModemPort::realBoxKeepsTheFocus()
{
    // The real box runs its own event loop inside the check and takes the focus while open;
    // afterwards the focus must be back in the port box and the click must not have happened.
    QFETCH(QString, action);
    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("15")}}, {}, true);
    frmVendrel &v = rig.view();
    rig.console->show();
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    QTRY_VERIFY(!rig.console->startup().IsLoading());
    v.cmbModemPort->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), v.cmbModemPort);
    v.cmbModemPort->setEditText(QStringLiteral("COMX"));
    QSignalSpy clicks(v.cmdConnect, &QPushButton::clicked);

    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &closer, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(20);
    if (action == QLatin1String("tab"))
        QTest::keyClick(v.cmbModemPort, Qt::Key_Tab);
    else
        QTest::mouseClick(v.cmdConnect, Qt::LeftButton);
    closer.stop();
    QTest::qWait(50);

    QCOMPARE(shown, InvalidPort);
    // The window's own focus is what it gets back when active again (the offscreen platform has
    // no window manager to reactivate it by itself).
    QCOMPARE(v.focusWidget(), v.cmbModemPort);
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    QCOMPARE(QApplication::focusWidget(), v.cmbModemPort);
    QCOMPARE(clicks.size(), 0);
    QCOMPARE(rig.modem->count(QStringLiteral("Connect")), 0);
    QCOMPARE(rig.console->settings().CommPort, qint16(1));
}

void TestModemPort::helpMessages_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("topic");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("modem type") << QStringLiteral("cmdHelpModemType") << QStringLiteral("Modem type") << 10022
                                << QStringList{
                                       QStringLiteral("- Select \"No modem\" if you don't have a GSM device."),
                                       QStringLiteral("  The software will emulate the behaviour of a GSM modem."),
                                       QString(),
                                       QStringLiteral("- Select \"Others...\" if your device is not in the list."),
                                       QStringLiteral("  Then download a suitable <Pellix.ini> modem profile from:"),
                                       QStringLiteral("     http://www.pellix.example/gsm_modem_config"),
                                       QString(),
                                       QStringLiteral("- Select \"Others...\" even if you can't find a suitable modem profile online,"),
                                       QStringLiteral("  then try a test with your device."),
                                       QString(),
                                       QStringLiteral("- If needed, you can define your modem settings manually into"),
                                       QStringLiteral("  the current <Pellix.ini>."),
                                       QString(),
                                       QStringLiteral("See Help for more information..."),
                                   };
    QTest::newRow("modem port") << QStringLiteral("cmdHelpModemPort") << QStringLiteral("Modem port") << 10025
                                << QStringList{
                                       QStringLiteral("If your device is connected by serial cable, please choose the related COM port."),
                                       QString(),
                                       QStringLiteral("If your device is connected by USB cable, IrDA or Bluetooth,"),
                                       QStringLiteral("please ensure you have installed the software driver provided by the"),
                                       QStringLiteral("constructor (e.g. Nokia Data Suite, Huawei Mobile Connect etc.)"),
                                       QString(),
                                       QStringLiteral("Then open Windows Control Panel > Modem and phone settings"),
                                       QStringLiteral("to find the virtual COM port associated to your device."),
                                       QString(),
                                       QStringLiteral("See Help for more information..."),
                                   };
}

void TestModemPort::helpMessages()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(int, topic);
    QFETCH(QStringList, lines);

    Rig rig;
    rig.dialogs->queue(FakeDialogs::Answer::help(1));
    rig.view().findChild<QPushButton *>(button)->click();

    QCOMPARE(rig.dialogs->asked().size(), 1);
    const FakeDialogs::Asked box = rig.dialogs->last();
    QCOMPARE(box.kind, FakeDialogs::Kind::InformationWithHelp);
    QCOMPARE(box.title, title);
    QCOMPARE(box.text.split(QStringLiteral("\r\n")), lines);
    QCOMPARE(box.text, lines.join(QStringLiteral("\r\n")));
    // Help opens the help file where start-up found it, at the topic of this box.
    QCOMPARE(rig.desktop->helpCalls.size(), 1);
    QCOMPARE(rig.desktop->helpCalls.first().file, rig.console->help().filePath());
    QCOMPARE(rig.desktop->helpCalls.first().file, QStringLiteral("/opt/pellix/bin/../../../Doc/Pellix.CHM"));
    QCOMPARE(rig.desktop->helpCalls.first().contextId, topic);
}

QTEST_MAIN(TestModemPort)
#include "tst_modemport.moc"
