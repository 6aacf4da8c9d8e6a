// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessiblenames.h"
#include "clickableimage.h"
#include "frmvendrel.h"
#include "multilinetextbox.h"
#include "reportlistbox.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestFrmVendrel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlKindCaptionTooltip_data();
    void controlKindCaptionTooltip();
    void designRectangle_data();
    void designRectangle();
    void listEntriesWithItemCodes_data();
    void listEntriesWithItemCodes();
    void designState();
    void welcomeLines();
    void fontsAndColours();
    void accessKeysReachTheControlAfterTheLabel_data();
    void accessKeysReachTheControlAfterTheLabel();
    void focusOrder();
    void smallButtonsOutsideFocusOrder();
    void resizeRule_data();
    void resizeRule();
    void refusedAssignmentKeepsTheOthers();
    void escapeClicksClose_data();
    void escapeClicksClose();
    void closingEmitsUnloadOnce();
    void accessibleNames_data();
    void accessibleNames();
    void everyControlHasAnAccessibleName();
    void headerLimitedTo280Characters_data();
    void headerLimitedTo280Characters();
    void headerPasteCutToTheLimit_data();
    void headerPasteCutToTheLimit();
    void multiLineTextUsesCrLf();
    void logoClick();
};

namespace {

QString captionOf(const QWidget *control)
{
    if (auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (auto *group = qobject_cast<const QGroupBox *>(control))
        return group->title();
    if (auto *combo = qobject_cast<const QComboBox *>(control))
        return combo->currentText();
    if (auto *box = qobject_cast<const MultiLineTextBox *>(control))
        return box->text();
    if (auto *line = qobject_cast<const QLineEdit *>(control))
        return line->text();
    return QString();
}

QWidget *focusOwner()
{
    QWidget *focus = QApplication::focusWidget();
    // The editable combo boxes hand the focus to their line edit.
    if (focus && qobject_cast<QComboBox *>(focus->parentWidget()))
        return focus->parentWidget();
    return focus;
}

} // namespace

void TestFrmVendrel::controlKindCaptionTooltip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");

    const auto row = [](const char *name, const char *kind, const char *caption, const char *tooltip = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromLatin1(caption)
                            << QString::fromLatin1(tooltip);
    };
    row("Frame3", "QGroupBox", "Modem configuration ");
    row("Frame4", "QGroupBox", "Phonebook ");
    row("Frame5", "QGroupBox", "Voice calls ");
    row("Frame2", "QGroupBox", "Receive SMS ");
    row("Frame1", "QGroupBox", "Send SMS ");
    row("Label3", "QLabel", "Modem &type ");
    row("cmbModemType", "QComboBox", "");
    row("cmdHelpModemType", "QPushButton", "?", "Show Help");
    row("Label5", "QLabel", "Modem &port");
    row("cmbModemPort", "QComboBox", "");
    row("cmdHelpModemPort", "QPushButton", "?", "Show Help");
    row("lblModemStatus", "QLabel", "Modem status: Disconnected ");
    row("chkGSMSignal", "QCheckBox", "C&heck GSM signal ", "Activate GSM signal level measuring");
    row("cmdConnect", "QPushButton", "&Connect", "Open/Close modem communication");
    row("cmdReadPhonebook", "QPushButton", "Read ph&onebook", "Read phonebook entries from SIM");
    row("cmdWritePhonebook", "QPushButton", "&Insert...", "Insert a phonebook entry");
    row("cmdDeletePhonebook", "QPushButton", "D&elete...", "Delete one or more phonebook entries");
    row("cmdCallForward", "QPushButton", "For&ward calls...", "Forward incoming voice calls to a different phone number");
    row("chkAutoReceive", "QCheckBox", "&Auto receive SMS",
        "Notify received messages and status reports in real time (if unchacked, they will be stored on SIM)");
    row("chkAutoDelete", "QCheckBox", "&Auto delete SMS ", "Auto delete messages after they have been read from SIM");
    row("cmdReceive", "QPushButton", "&Read received SMS", "Read received messages from SIM");
    row("cmdReadStatusReports", "QPushButton", "Read &status reports", "Read status reports from SIM");
    row("cmdDeleteSim", "QPushButton", "D&elete SIM msg...", "Delete one or more messages from SIM");
    row("Label1", "QLabel", "&Phone number ");
    row("Label6", "QLabel", "(e.g. +3934811111111)");
    row("cmbPhoneNumber", "QComboBox", "+");
    row("Label2", "QLabel", "&Message text ");
    row("lblMessageLen", "QLabel", "0/160 (1 sms)");
    row("txtMessageText", "QPlainTextEdit", "Hi, this is a test message\r\n");
    row("Label4", "QLabel", "&User Data Header ");
    row("Label10", "QLabel", "(hex format)");
    row("txtUDH", "QPlainTextEdit", "");
    row("Label9", "QLabel", "Alp&habet ");
    row("cmbAlphabet", "QComboBox", "");
    row("chkStatusReport", "QCheckBox", "Delivery r&eceipt ", "Require a status report (delivery receipt) for this message");
    row("Label7", "QLabel", "&Class ");
    row("cmbClass", "QComboBox", "");
    row("Label8", "QLabel", "&Validity (minutes) ");
    row("txtValidity", "QLineEdit", "");
    row("cmdSend", "QPushButton", "&Send SMS", "Send SMS message");
    row("lstReport", "QListView", "");
    row("picToolbar", "QFrame", "");
    row("imgLogo", "QLabel", "", "www.pellix.example");
    row("cmdShowSupport", "QPushButton", "Show S&upport", "Show support form");
    row("cmdShowLogFile", "QPushButton", "Show &Log file", "Show application log file");
    row("picButtons", "QFrame", "");
    row("cmdHelp", "QPushButton", "?", "Show Help");
    row("cmdClear", "QPushButton", "", "Clean report contents");
    row("cmdClose", "QPushButton", "", "Exit");
}

void TestFrmVendrel::controlKindCaptionTooltip()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);

    frmVendrel view;
    QCOMPARE(view.objectName(), QStringLiteral("frmVendrel"));
    QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY2(control->inherits(kind.toLatin1().constData()), control->metaObject()->className());
    QCOMPARE(captionOf(control), caption);
    QCOMPARE(control->toolTip(), tooltip);
}

void TestFrmVendrel::designRectangle_data()
{
    // The one layout table restated here: these rectangles are the window's contract (its design,
    // in twips), not a choice of this code.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");

    const auto row = [](const char *name, int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QRect(l, t, w, h);
    };
    row("Frame3", 120, 120, 4035, 1815);
    row("Frame4", 120, 2040, 1935, 1275);
    row("Frame5", 120, 3420, 1935, 1035);
    row("Frame2", 2160, 2040, 1995, 2415);
    row("Frame1", 4260, 120, 4095, 4335);
    row("Label3", 120, 360, 915, 195);
    row("cmbModemType", 1050, 300, 2625, 315);
    row("cmdHelpModemType", 3660, 300, 315, 315);
    row("Label5", 120, 720, 840, 195);
    row("cmbModemPort", 1050, 660, 2625, 315);
    row("cmdHelpModemPort", 3660, 660, 315, 315);
    row("lblModemStatus", 120, 1080, 3855, 195);
    row("chkGSMSignal", 120, 1380, 1695, 315);
    row("cmdConnect", 2160, 1320, 1755, 375);
    row("cmdReadPhonebook", 120, 360, 1695, 375);
    row("cmdWritePhonebook", 120, 780, 795, 375);
    row("cmdDeletePhonebook", 1020, 780, 795, 375);
    row("cmdCallForward", 120, 540, 1695, 375);
    row("chkAutoReceive", 120, 360, 1692, 315);
    row("chkAutoDelete", 120, 660, 1695, 315);
    row("cmdReceive", 120, 1080, 1755, 375);
    row("cmdReadStatusReports", 120, 1500, 1755, 375);
    row("cmdDeleteSim", 120, 1920, 1755, 375);
    row("Label1", 120, 420, 1290, 195);
    row("Label6", 2280, 420, 1665, 195);
    row("cmbPhoneNumber", 120, 660, 3825, 315);
    row("Label2", 120, 1050, 1200, 195);
    row("lblMessageLen", 2130, 1050, 1815, 195);
    row("txtMessageText", 120, 1260, 3855, 975);
    row("Label4", 120, 2310, 1335, 195);
    row("Label10", 3120, 2310, 825, 195);
    row("txtUDH", 120, 2520, 3855, 555);
    row("Label9", 120, 3240, 675, 195);
    row("cmbAlphabet", 900, 3180, 1275, 315);
    row("chkStatusReport", 2400, 3180, 1575, 315);
    row("Label7", 120, 3600, 420, 195);
    row("cmbClass", 900, 3540, 1275, 315);
    row("Label8", 120, 3900, 675, 375);
    row("txtValidity", 900, 3900, 1275, 315);
    row("cmdSend", 2400, 3840, 1575, 375);
    row("imgLogo", 120, 30, 1200, 360);
    row("cmdShowSupport", 1560, 30, 1755, 375);
    row("cmdShowLogFile", 3420, 30, 1755, 375);
    row("cmdHelp", 0, 0, 435, 375);
    row("cmdClear", 480, 0, 435, 375);
    row("cmdClose", 960, 0, 435, 375);
}

void TestFrmVendrel::designRectangle()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);

    frmVendrel view;
    const QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY(control);
    const QRect expected(view.twips(twips.x()), view.twips(twips.y()), view.twips(twips.width()),
                         view.twips(twips.height()));
    QCOMPARE(control->geometry(), expected);
}

void TestFrmVendrel::listEntriesWithItemCodes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("modem types, two sharing 40")
        << QStringLiteral("cmbModemType")
        << QStringList{QStringLiteral("No modem (use simulator)"), QStringLiteral("Audiotel"), QStringLiteral("Digicom"),
                       QStringLiteral("Falcom"), QStringLiteral("Huawei"), QStringLiteral("Motorola"),
                       QStringLiteral("Nokia old phones (Nokia OS)"), QStringLiteral("Nokia Series 40 (dp1.0)"),
                       QStringLiteral("Nokia Series 40 (dp2.0)"), QStringLiteral("Nokia Series 40 (1st)"),
                       QStringLiteral("Nokia Series 40 (2nd)"), QStringLiteral("Nokia Series 40 (3rd)"),
                       QStringLiteral("Nokia Series 40 (5th)"), QStringLiteral("Nokia Series 40 (6th)"),
                       QStringLiteral("Nokia or Symbian S60 (1st)"), QStringLiteral("Nokia or Symbian S60 (2nd)"),
                       QStringLiteral("Nokia or Symbian S60 (3rd)"), QStringLiteral("Nokia or Symbian S60 (5th)"),
                       QStringLiteral("Siemens"), QStringLiteral("Sony Ericsson"), QStringLiteral("Teltonika"),
                       QStringLiteral("Wavecom"), QStringLiteral("Others...(profile on Pellix.ini)")}
        << QList<int>{-1, 1, 10, 5, 15, 8, 3, 40, 40, 41, 42, 43, 45, 46, 61, 62, 63, 65, 4, 7, 12, 2, 0};
    QTest::newRow("alphabets")
        << QStringLiteral("cmbAlphabet")
        << QStringList{QStringLiteral("Text (7 bit)"), QStringLiteral("Binary (8 bit)"), QStringLiteral("Unicode (16 bit)")}
        << QList<int>{7, 8, 16};
    QTest::newRow("message classes")
        << QStringLiteral("cmbClass")
        << QStringList{QStringLiteral("None"), QStringLiteral("0 - Flash SMS"), QStringLiteral("1 - ME specific"),
                       QStringLiteral("2 - SIM specific"), QStringLiteral("3 - TE specific")}
        << QList<int>{-1, 0, 1, 2, 3};
}

void TestFrmVendrel::listEntriesWithItemCodes()
{
    QFETCH(QString, name);
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, codes);

    frmVendrel view;
    const auto *list = view.findChild<QComboBox *>(name);
    QVERIFY(list);
    QVERIFY2(!list->isEditable(), "a drop-down list takes no typing");
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->count(), entries.size());
    for (int i = 0; i < list->count(); ++i) {
        QCOMPARE(list->itemText(i), entries.at(i));
        QCOMPARE(list->itemData(i, Qt::UserRole).toInt(), codes.at(i));
    }
}

void TestFrmVendrel::designState()
{
    frmVendrel view;
    QCOMPARE(view.windowTitle(), QStringLiteral("Pellix Test utility"));
    QVERIFY(!view.windowIcon().isNull());
    QCOMPARE(view.size(), QSize(view.twips(8475), view.twips(7455)));
    QCOMPARE(view.minimumSize(), QSize(0, 0));

    QVERIFY(!view.chkGSMSignal->isChecked());
    QVERIFY(view.chkAutoReceive->isChecked());
    QVERIFY(view.chkAutoDelete->isChecked());
    QVERIFY(view.chkStatusReport->isChecked());
    QVERIFY(view.cmbModemPort->isEditable());
    QVERIFY(view.cmbPhoneNumber->isEditable());
    QCOMPARE(view.cmbModemPort->count(), 0);
    QCOMPARE(view.cmbPhoneNumber->count(), 0);

    QCOMPARE(view.TimerGSMSignal->objectName(), QStringLiteral("TimerGSMSignal"));
    QCOMPARE(view.TimerGSMSignal->interval(), 10000);
    QVERIFY(!view.TimerGSMSignal->isActive());

    QCOMPARE(view.picToolbar->geometry(), QRect(0, view.height() - view.twips(435), view.width(), view.twips(435)));
    QCOMPARE(view.imgLogo->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!view.imgLogo->pixmap().isNull());
    QVERIFY(!view.cmdClear->icon().isNull());
    QVERIFY(!view.cmdClose->icon().isNull());
    QCOMPARE(view.txtMessageText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(view.txtUDH->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void TestFrmVendrel::welcomeLines()
{
    frmVendrel view;
    const QStringList expected{QString(),
                               QStringLiteral("WELCOME!  TO SEND YOUR FIRST SMS:"),
                               QString(),
                               QStringLiteral("  1.  Select Modem type and Port"),
                               QStringLiteral("  2.  Click on [Connect]"),
                               QStringLiteral("  3.  Wait until your modem is READY..."),
                               QStringLiteral("  4.  ... Now you can start sending and receiving SMS messages."),
                               QString(),
                               QStringLiteral("Please click on [?] or [Support] for further help."),
                               QStringLiteral("   ")};
    QStringList lines;
    for (int i = 0; i < view.lstReport->count(); ++i)
        lines << view.lstReport->item(i);
    QCOMPARE(lines, expected);
    QCOMPARE(view.lstReport->listIndex(), -1);
}

void TestFrmVendrel::fontsAndColours()
{
    frmVendrel view;
    for (QGroupBox *frame : {view.Frame1, view.Frame2, view.Frame3, view.Frame4, view.Frame5}) {
        QVERIFY(frame->font().bold());
        QCOMPARE(frame->font().pointSizeF(), 11.25);
    }
    // The frame caption's font stays on the caption.
    QVERIFY(!view.Label3->font().bold());
    QCOMPARE(view.Label3->font().pointSizeF(), 8.25);
    QVERIFY(!view.chkAutoReceive->font().bold());
    for (QWidget *bold : std::initializer_list<QWidget *>{view.cmdConnect, view.cmdReadPhonebook, view.cmdSend,
                                                          view.cmdShowSupport, view.Label1, view.Label2}) {
        QVERIFY2(bold->font().bold(), qPrintable(bold->objectName()));
        QCOMPARE(bold->font().pointSizeF(), 8.25);
    }
    for (QPushButton *help : {view.cmdHelpModemType, view.cmdHelpModemPort, view.cmdHelp}) {
        QVERIFY(help->font().bold());
        QCOMPARE(help->font().pointSizeF(), 9.75);
    }
    QVERIFY(!view.cmdShowLogFile->font().bold());

    QCOMPARE(view.lblModemStatus->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(view.cmbPhoneNumber->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(view.txtMessageText->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(view.lstReport->palette().color(QPalette::Base), QColor(255, 255, 192));
    QVERIFY(view.Label6->palette().color(QPalette::WindowText) != view.Label4->palette().color(QPalette::WindowText));
    QCOMPARE(view.Label6->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(view.Label10->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(view.lblMessageLen->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

void TestFrmVendrel::accessKeysReachTheControlAfterTheLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("control");
    QTest::newRow("modem type") << QStringLiteral("Label3") << QStringLiteral("cmbModemType");
    QTest::newRow("modem port") << QStringLiteral("Label5") << QStringLiteral("cmbModemPort");
    QTest::newRow("phone number") << QStringLiteral("Label1") << QStringLiteral("cmbPhoneNumber");
    QTest::newRow("message text") << QStringLiteral("Label2") << QStringLiteral("txtMessageText");
    QTest::newRow("user data header") << QStringLiteral("Label4") << QStringLiteral("txtUDH");
    QTest::newRow("alphabet") << QStringLiteral("Label9") << QStringLiteral("cmbAlphabet");
    QTest::newRow("class") << QStringLiteral("Label7") << QStringLiteral("cmbClass");
    QTest::newRow("validity") << QStringLiteral("Label8") << QStringLiteral("txtValidity");
}

void TestFrmVendrel::accessKeysReachTheControlAfterTheLabel()
{
    QFETCH(QString, label);
    QFETCH(QString, control);
    frmVendrel view;
    const auto *caption = view.findChild<QLabel *>(label);
    QVERIFY(caption);
    QCOMPARE(caption->buddy(), view.findChild<QWidget *>(control));
}

void TestFrmVendrel::focusOrder()
{
    frmVendrel view;
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));

    const QStringList expected{
        QStringLiteral("cmbModemType"), QStringLiteral("cmbModemPort"), QStringLiteral("chkGSMSignal"),
        QStringLiteral("cmdConnect"), QStringLiteral("cmdReadPhonebook"), QStringLiteral("cmdWritePhonebook"),
        QStringLiteral("cmdDeletePhonebook"), QStringLiteral("cmdCallForward"), QStringLiteral("chkAutoReceive"),
        QStringLiteral("chkAutoDelete"), QStringLiteral("cmdReceive"), QStringLiteral("cmdReadStatusReports"),
        QStringLiteral("cmdDeleteSim"), QStringLiteral("cmbPhoneNumber"), QStringLiteral("txtMessageText"),
        QStringLiteral("txtUDH"), QStringLiteral("cmbAlphabet"), QStringLiteral("cmbClass"),
        QStringLiteral("txtValidity"), QStringLiteral("chkStatusReport"), QStringLiteral("cmdSend"),
        QStringLiteral("lstReport"), QStringLiteral("cmdShowSupport"), QStringLiteral("cmdShowLogFile")};

    view.cmbModemType->setFocus(Qt::OtherFocusReason);
    QStringList visited;
    for (int i = 0; i <= expected.size(); ++i) {
        QWidget *owner = focusOwner();
        QVERIFY(owner);
        visited << owner->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Round the window once, back to the first.
    QCOMPARE(visited.mid(0, expected.size()), expected);
    QCOMPARE(visited.last(), expected.first());
}

void TestFrmVendrel::smallButtonsOutsideFocusOrder()
{
    frmVendrel view;
    // Out of the Tab order (focusOrder walks it), yet a click gives them the focus like any
    // control, so that the port box's check runs before they act.
    for (QPushButton *button : {view.cmdHelpModemType, view.cmdHelpModemPort, view.cmdHelp, view.cmdClear, view.cmdClose})
        QCOMPARE(button->focusPolicy(), Qt::ClickFocus);
}

void TestFrmVendrel::resizeRule_data()
{
    // Client size in twips; the expected list size and tool-button panel left in twips.
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QSize>("list");
    QTest::addColumn<int>("buttonsLeft");

    QTest::newRow("design size: the list reaches the toolbar") << QSize(8475, 7455) << QSize(8235, 2460) << 6960;
    QTest::newRow("grown: only the list grows, only the buttons move")
        << QSize(12000, 9000) << QSize(11760, 4005) << 10485;
    QTest::newRow("narrower than the frames: the list shrinks") << QSize(3000, 7455) << QSize(2760, 2460) << 1485;
    QTest::newRow("too low for the list: its height stays") << QSize(8475, 4500) << QSize(8235, 2460) << 6960;
    QTest::newRow("minimise-like: both list sizes stay, the buttons still move")
        << QSize(150, 150) << QSize(8235, 2460) << -1365;
}

void TestFrmVendrel::resizeRule()
{
    QFETCH(QSize, client);
    QFETCH(QSize, list);
    QFETCH(int, buttonsLeft);

    frmVendrel view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect frame3 = view.Frame3->geometry();
    const QRect frame1 = view.Frame1->geometry();
    const QRect logo = view.imgLogo->geometry();
    const QRect support = view.cmdShowSupport->geometry();

    view.resize(view.twips(client.width()), view.twips(client.height()));
    QCoreApplication::processEvents();
    QCOMPARE(view.size(), QSize(view.twips(client.width()), view.twips(client.height())));

    // Each size of the list is assigned on its own; a refused (negative) one keeps the design value.
    QCOMPARE(view.lstReport->size(), QSize(view.twips(list.width()), view.twips(list.height())));
    QCOMPARE(view.lstReport->pos(), QPoint(view.twips(120), view.twips(4560)));
    QCOMPARE(view.picButtons->x(), view.width() - view.lstReport->x() - view.picButtons->width());
    QCOMPARE(view.picButtons->x(), view.twips(buttonsLeft));

    // The toolbar stays docked to the bottom, as wide as the window.
    QCOMPARE(view.picToolbar->geometry(),
             QRect(0, view.height() - view.twips(435), view.width(), view.twips(435)));
    // Nothing else moves or grows.
    QCOMPARE(view.Frame3->geometry(), frame3);
    QCOMPARE(view.Frame1->geometry(), frame1);
    QCOMPARE(view.imgLogo->geometry(), logo);
    QCOMPARE(view.cmdShowSupport->geometry(), support);
}

void TestFrmVendrel::refusedAssignmentKeepsTheOthers()
{
    frmVendrel view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Shrunk first, so that the kept values are not the design ones.
    view.resize(view.twips(6000), view.twips(6000));
    QCoreApplication::processEvents();
    const QSize before = view.lstReport->size();

    // Too low for the list but wide enough: the height assignment is refused, the width one made.
    view.resize(view.twips(7000), view.twips(3000));
    QCoreApplication::processEvents();
    QCOMPARE(view.lstReport->height(), before.height());
    QCOMPARE(view.lstReport->width(), view.width() - 2 * view.lstReport->x());

    // Restored: the list again fills the space between its top and the toolbar.
    view.resize(view.twips(8475), view.twips(7455));
    QCoreApplication::processEvents();
    QCOMPARE(view.lstReport->geometry().bottom() + 1, view.picToolbar->y());
}

void TestFrmVendrel::escapeClicksClose_data()
{
    QTest::addColumn<QString>("focused");
    QTest::newRow("button") << QStringLiteral("cmdConnect");
    QTest::newRow("drop-down list") << QStringLiteral("cmbModemType");
    QTest::newRow("editable combo box") << QStringLiteral("cmbPhoneNumber");
    QTest::newRow("multi-line text box") << QStringLiteral("txtMessageText");
    QTest::newRow("text box") << QStringLiteral("txtValidity");
    QTest::newRow("report list") << QStringLiteral("lstReport");
}

void TestFrmVendrel::escapeClicksClose()
{
    QFETCH(QString, focused);
    frmVendrel view;
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    auto *target = view.findChild<QWidget *>(focused);
    QVERIFY(target);
    target->setFocus(Qt::OtherFocusReason);
    QCOMPARE(focusOwner(), target);

    QSignalSpy clicks(view.cmdClose, &QPushButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(clicks.size(), 1);
}

void TestFrmVendrel::closingEmitsUnloadOnce()
{
    frmVendrel view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy unloads(&view, &frmVendrel::unloading);
    QVERIFY(view.close());
    QVERIFY(!view.isVisible());
    QCOMPARE(unloads.size(), 1);
    view.show();
    QVERIFY(view.close());
    QCOMPARE(unloads.size(), 1);
}

void TestFrmVendrel::headerLimitedTo280Characters_data()
{
    QTest::addColumn<QString>("already");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("length");
    QTest::newRow("typing stops at 280") << QString() << QString(300, QLatin1Char('A')) << 280;
    QTest::newRow("full box takes nothing more") << QString(280, QLatin1Char('0')) << QStringLiteral("FF") << 280;
    QTest::newRow("below the limit types freely") << QStringLiteral("0500") << QStringLiteral("0003") << 8;
}

void TestFrmVendrel::headerLimitedTo280Characters()
{
    QFETCH(QString, already);
    QFETCH(QString, typed);
    QFETCH(int, length);

    frmVendrel view;
    QCOMPARE(view.txtUDH->maxLength(), 280);
    view.txtUDH->setText(already);
    view.txtUDH->moveCursor(QTextCursor::End);
    QTest::keyClicks(view.txtUDH, typed);
    QCOMPARE(view.txtUDH->text().size(), length);
}

void TestFrmVendrel::headerPasteCutToTheLimit_data()
{
    QTest::addColumn<QString>("already");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("result");
    QTest::newRow("long paste cut") << QString() << QString(300, QLatin1Char('B')) << QString(280, QLatin1Char('B'));
    QTest::newRow("fills what is left") << QString(276, QLatin1Char('0')) << QStringLiteral("ABCDEF")
                                        << QString(276, QLatin1Char('0')) + QStringLiteral("ABCD");
    QTest::newRow("a line break counts two")
        << QString(278, QLatin1Char('0')) << QStringLiteral("A\r\nB") << QString(278, QLatin1Char('0')) + QStringLiteral("A");
}

void TestFrmVendrel::headerPasteCutToTheLimit()
{
    QFETCH(QString, already);
    QFETCH(QString, pasted);
    QFETCH(QString, result);
    frmVendrel view;
    view.txtUDH->setText(already);
    view.txtUDH->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(pasted);
    view.txtUDH->paste();
    QCOMPARE(view.txtUDH->text(), result);
}

void TestFrmVendrel::multiLineTextUsesCrLf()
{
    frmVendrel view;
    QSignalSpy changes(view.txtMessageText, &QPlainTextEdit::textChanged);
    view.txtMessageText->setText(QStringLiteral("one\r\ntwo"));
    QCOMPARE(view.txtMessageText->text(), QStringLiteral("one\r\ntwo"));
    QCOMPARE(changes.size(), 1);
    // Setting the same text again is no change.
    view.txtMessageText->setText(QStringLiteral("one\r\ntwo"));
    QCOMPARE(changes.size(), 1);
}

void TestFrmVendrel::logoClick()
{
    frmVendrel view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy clicks(view.imgLogo, &ClickableImage::clicked);
    QTest::mouseClick(view.imgLogo, Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);
    QTest::mouseClick(view.imgLogo, Qt::RightButton);
    QCOMPARE(clicks.size(), 1);
}



void TestFrmVendrel::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("cmdClear") << QStringLiteral("cmdClear") << QStringLiteral("Clean report contents");
    QTest::newRow("cmdClose") << QStringLiteral("cmdClose") << QStringLiteral("Exit");
    QTest::newRow("cmdHelp") << QStringLiteral("cmdHelp") << QStringLiteral("Show Help");
    QTest::newRow("cmdHelpModemType") << QStringLiteral("cmdHelpModemType") << QStringLiteral("Show Help");
    QTest::newRow("cmdHelpModemPort") << QStringLiteral("cmdHelpModemPort") << QStringLiteral("Show Help");
    QTest::newRow("imgLogo") << QStringLiteral("imgLogo") << QStringLiteral("www.pellix.example");
    QTest::newRow("lstReport") << QStringLiteral("lstReport") << QStringLiteral("Report");
    QTest::newRow("cmbModemType") << QStringLiteral("cmbModemType") << QStringLiteral("Modem type");
    // An editable box is read by the text typed in it once there is any (the desktop's tools find
    // its label through the label relation); until then, by its label.
    QTest::newRow("cmbModemPort") << QStringLiteral("cmbModemPort") << QStringLiteral("Modem port");
    QTest::newRow("txtMessageText") << QStringLiteral("txtMessageText") << QStringLiteral("Message text");
    QTest::newRow("txtUDH") << QStringLiteral("txtUDH") << QStringLiteral("User Data Header");
    QTest::newRow("cmbAlphabet") << QStringLiteral("cmbAlphabet") << QStringLiteral("Alphabet");
    QTest::newRow("cmbClass") << QStringLiteral("cmbClass") << QStringLiteral("Class");
    QTest::newRow("txtValidity") << QStringLiteral("txtValidity") << QStringLiteral("Validity (minutes)");
    QTest::newRow("cmdConnect") << QStringLiteral("cmdConnect") << QStringLiteral("Connect");
    QTest::newRow("chkGSMSignal") << QStringLiteral("chkGSMSignal") << QStringLiteral("Check GSM signal ");
}

void TestFrmVendrel::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    frmVendrel view;
    QWidget *widget = view.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(accessibleName(widget), name);
}

void TestFrmVendrel::everyControlHasAnAccessibleName()
{
    frmVendrel view;
    const QList<QWidget *> controls = namedControls(view);
    QVERIFY(controls.size() > 10);
    for (QWidget *control : controls)
        QVERIFY2(!accessibleName(control).isEmpty(), qPrintable(control->objectName()));
}

QTEST_MAIN(TestFrmVendrel)
#include "tst_frmvendrel.moc"
