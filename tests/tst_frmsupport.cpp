// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessiblenames.h"
#include "clickableimage.h"
#include "frmsupport.h"
#include "frmvendrel.h"
#include "twips.h"
#include "vendor.h"

#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

class TestFrmSupport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlKindCaptionTooltip_data();
    void controlKindCaptionTooltip();
    void designRectangle_data();
    void designRectangle();
    void labelsSizedToTheirText_data();
    void labelsSizedToTheirText();
    void accessKeys_data();
    void accessKeys();
    void fixedDialogFrame();
    void ownedByTheMainWindow();
    void centredOnTheScreen();
    void readOnlyFieldsOnButtonFace_data();
    void readOnlyFieldsOnButtonFace();
    void chatLinkAndLogoLookClickable();
    void boldCaptions_data();
    void boldCaptions();
    void focusOrderStartsAtClose();
    void escapeClicksClose_data();
    void escapeClicksClose();
    void closingEmitsUnloadOnce();
    void accessibleNames_data();
    void accessibleNames();
    void everyControlHasAnAccessibleName();
};

namespace {

QWidget *focusOwner()
{
    return QApplication::focusWidget();
}

} // namespace

void TestFrmSupport::controlKindCaptionTooltip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");

    const auto row = [](const char *name, const char *kind, const char *container, const char *caption,
                        const char *tooltip = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromLatin1(container)
                            << QString::fromLatin1(caption) << QString::fromLatin1(tooltip);
    };
    row("Picture1", "QFrame", "frmSupport", "");
    row("cmdHelp", "QPushButton", "Picture1", "Show &Help && Reference", "Show Help file");
    row("cmdOpenLogFile", "QPushButton", "Picture1", "Show &Log file", "Show modem communication log file");
    row("txtLogFilename", "QLineEdit", "Picture1", "");
    row("cmdOpenLogFolder", "QPushButton", "Picture1", "&Open Log folder", "Show modem communication log folder");
    row("txtLogPathname", "QLineEdit", "Picture1", "");
    row("cmdDownloadProfile", "QPushButton", "Picture1", "&Download modem profile...",
        "Download a modem profile (Pellix.ini) to extend software compatibility with your modem/phone");
    row("txtDownloadModemProfiles", "QLineEdit", "Picture1", "");
    row("cmdSupportRequest", "QPushButton", "Picture1", "&Contact Support", "Send support request by mail");
    row("txtSupportEmail", "QLineEdit", "Picture1", "");
    row("Picture2", "QFrame", "frmSupport", "");
    row("Label1", "QLabel", "Picture2", "&Modem brand and model : ");
    row("txtModemData", "QLineEdit", "Picture2", "");
    row("Label2", "QLabel", "Picture2", "Modem &IMEI code : ");
    row("txtModemIMEI", "QLineEdit", "Picture2", "");
    row("Label3", "QLabel", "frmSupport", "Contact us on Skyp&e: ");
    row("lblSkypeAccount", "ClickableImage", "frmSupport", "");
    row("imgLogo", "ClickableImage", "frmSupport", "", "www.pellix.example");
    row("cmdClose", "QPushButton", "frmSupport", "&Close");
}

void TestFrmSupport::controlKindCaptionTooltip()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);

    frmSupport view;
    QCOMPARE(view.objectName(), QStringLiteral("frmSupport"));
    QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->inherits(kind.toLatin1().constData()));
    QCOMPARE(control->parentWidget()->objectName(), container);
    QString text;
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        text = button->text();
    else if (auto *label = qobject_cast<QLabel *>(control))
        text = label->text();
    else if (auto *field = qobject_cast<QLineEdit *>(control))
        text = field->text();
    QCOMPARE(text, caption);
    QCOMPARE(control->toolTip(), tooltip);
}

void TestFrmSupport::designRectangle_data()
{
    // Restated because these rectangles are the window's contract (its design in twips), as in
    // the main window's test.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    const auto row = [](const char *name, int left, int top, int width, int height) {
        QTest::newRow(name) << QString::fromLatin1(name) << QRect(left, top, width, height);
    };
    row("Picture1", 120, 120, 7935, 2355);
    row("cmdHelp", 120, 120, 2895, 375);
    row("cmdOpenLogFile", 120, 540, 2895, 375);
    row("txtLogFilename", 3120, 540, 4575, 315);
    row("cmdOpenLogFolder", 120, 960, 2895, 375);
    row("txtLogPathname", 3120, 960, 4575, 315);
    row("cmdDownloadProfile", 120, 1380, 2895, 375);
    row("txtDownloadModemProfiles", 3120, 1380, 4575, 315);
    row("cmdSupportRequest", 120, 1800, 2895, 375);
    row("txtSupportEmail", 3120, 1800, 4575, 315);
    row("Picture2", 120, 2580, 7935, 1515);
    row("txtModemData", 3120, 60, 4575, 315);
    row("txtModemIMEI", 3120, 420, 4575, 315);
    row("lblSkypeAccount", 3060, 4260, 1890, 195);
    row("imgLogo", 120, 4140, 1200, 360);
    row("cmdClose", 6540, 4200, 1515, 375);
}

void TestFrmSupport::designRectangle()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    frmSupport view;
    const QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY(control);
    // The main window's conversion: both windows agree on what a twip is.
    const auto px = [&view](int value) { return Twips::toPixels(value, view.logicalDpiX()); };
    QCOMPARE(control->geometry(), QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
}

void TestFrmSupport::labelsSizedToTheirText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("twips");
    QTest::newRow("Label1") << QStringLiteral("Label1") << QPoint(180, 120);
    QTest::newRow("Label2") << QStringLiteral("Label2") << QPoint(180, 480);
    QTest::newRow("Label3") << QStringLiteral("Label3") << QPoint(1440, 4260);
}

void TestFrmSupport::labelsSizedToTheirText()
{
    QFETCH(QString, name);
    QFETCH(QPoint, twips);
    frmSupport view;
    const auto *label = view.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->pos(), QPoint(view.twips(twips.x()), view.twips(twips.y())));
    // The whole caption shows, and no wider than it: the field to its right is not covered.
    const int textWidth = label->fontMetrics().horizontalAdvance(label->text().remove(QLatin1Char('&')));
    QVERIFY(label->width() >= textWidth);
    QVERIFY(label->width() <= textWidth + 2);
}

void TestFrmSupport::accessKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("focused");
    QTest::newRow("help button") << QStringLiteral("cmdHelp") << QStringLiteral("Alt+H") << QString();
    QTest::newRow("log file") << QStringLiteral("cmdOpenLogFile") << QStringLiteral("Alt+L") << QString();
    QTest::newRow("log folder") << QStringLiteral("cmdOpenLogFolder") << QStringLiteral("Alt+O") << QString();
    QTest::newRow("profile") << QStringLiteral("cmdDownloadProfile") << QStringLiteral("Alt+D") << QString();
    QTest::newRow("support request") << QStringLiteral("cmdSupportRequest") << QStringLiteral("Alt+C") << QString();
    QTest::newRow("close") << QStringLiteral("cmdClose") << QStringLiteral("Alt+C") << QString();
    QTest::newRow("brand label to its field") << QStringLiteral("Label1") << QStringLiteral("Alt+M") << QStringLiteral("txtModemData");
    QTest::newRow("IMEI label to its field") << QStringLiteral("Label2") << QStringLiteral("Alt+I") << QStringLiteral("txtModemIMEI");
    // Nothing after the chat label takes the focus, so the focus order wraps to its start.
    QTest::newRow("chat label wraps to close") << QStringLiteral("Label3") << QStringLiteral("Alt+E") << QStringLiteral("cmdClose");
}

void TestFrmSupport::accessKeys()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QString, focused);
    frmSupport view;
    QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY(control);
    QString caption;
    if (auto *button = qobject_cast<QPushButton *>(control))
        caption = button->text();
    else
        caption = qobject_cast<QLabel *>(control)->text();
    QCOMPARE(QKeySequence::mnemonic(caption), QKeySequence(key));
    if (!focused.isEmpty())
        QCOMPARE(qobject_cast<QLabel *>(control)->buddy(), view.findChild<QWidget *>(focused));
}

void TestFrmSupport::fixedDialogFrame()
{
    frmSupport view;
    const QSize client(view.twips(frmSupport::ClientWidthTwips), view.twips(frmSupport::ClientHeightTwips));
    QCOMPARE(view.size(), client);
    // Not resizable: the smallest and largest sizes are the design size.
    QCOMPARE(view.minimumSize(), client);
    QCOMPARE(view.maximumSize(), client);
    view.resize(client + QSize(100, 80));
    QCOMPARE(view.size(), client);

    const Qt::WindowFlags flags = view.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
}

void TestFrmSupport::ownedByTheMainWindow()
{
    frmVendrel main;
    main.show();
    auto *view = new frmSupport(&main);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QVERIFY(view->isWindow());
    QCOMPARE(view->parentWidget(), &main);
    QCOMPARE(view->windowModality(), Qt::NonModal);
    // Owned: the window system keeps it above its owner.
    QVERIFY(view->windowHandle());
    QCOMPARE(view->windowHandle()->transientParent(), main.windowHandle());
    // Modeless: the main window still takes input.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(main.isEnabled());
    // It shares the main window's fonts.
    QCOMPARE(view->font().family(), main.font().family());
}

void TestFrmSupport::centredOnTheScreen()
{
    frmSupport view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QPoint screenCentre = view.screen()->availableGeometry().center();
    const QPoint windowCentre = view.frameGeometry().center();
    QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(windowCentre.x()).arg(windowCentre.y()).arg(screenCentre.x()).arg(screenCentre.y())));
}

void TestFrmSupport::readOnlyFieldsOnButtonFace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("log file name") << QStringLiteral("txtLogFilename") << true;
    QTest::newRow("log folder") << QStringLiteral("txtLogPathname") << true;
    QTest::newRow("profile page") << QStringLiteral("txtDownloadModemProfiles") << true;
    QTest::newRow("support address") << QStringLiteral("txtSupportEmail") << true;
    QTest::newRow("brand and model, editable") << QStringLiteral("txtModemData") << false;
    QTest::newRow("IMEI, editable") << QStringLiteral("txtModemIMEI") << false;
}

void TestFrmSupport::readOnlyFieldsOnButtonFace()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnly);
    frmSupport view;
    const auto *field = view.findChild<QLineEdit *>(name);
    QVERIFY(field);
    QCOMPARE(field->isReadOnly(), readOnly);
    // Read-only or not, the text can be reached with the keyboard and copied.
    QCOMPARE(field->focusPolicy(), Qt::StrongFocus);
    const QColor base = field->palette().color(QPalette::Active, QPalette::Base);
    const QColor face = field->palette().color(QPalette::Active, QPalette::Button);
    QCOMPARE(base == face, readOnly);
}

void TestFrmSupport::chatLinkAndLogoLookClickable()
{
    frmSupport view;
    const QLabel *link = view.lblSkypeAccount;
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(link->font().bold());
    QVERIFY(link->font().underline());
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(link->focusPolicy(), Qt::NoFocus);

    QCOMPARE(view.imgLogo->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!view.imgLogo->pixmap().isNull());
    QCOMPARE(view.imgLogo->pixmap().deviceIndependentSize().toSize(), view.imgLogo->size());

    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy chats(view.lblSkypeAccount, &ClickableImage::clicked);
    QSignalSpy logos(view.imgLogo, &ClickableImage::clicked);
    QTest::mouseClick(view.lblSkypeAccount, Qt::LeftButton);
    QTest::mouseClick(view.imgLogo, Qt::LeftButton);
    QCOMPARE(chats.size(), 1);
    QCOMPARE(logos.size(), 1);
}

void TestFrmSupport::boldCaptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("bold");
    for (const char *name : {"cmdHelp", "cmdDownloadProfile", "cmdSupportRequest", "cmdClose"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    for (const char *name : {"cmdOpenLogFile", "cmdOpenLogFolder", "Label1", "Label2", "Label3"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestFrmSupport::boldCaptions()
{
    QFETCH(QString, name);
    QFETCH(bool, bold);
    frmVendrel main;
    frmSupport view(&main);
    const QWidget *control = view.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->font().bold(), bold);
    // Every caption fits its button in the main window's fonts.
    if (auto *button = qobject_cast<const QPushButton *>(control)) {
        QString shown = button->text();
        shown.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&')).replace(QLatin1Char('\x01'), QLatin1Char('&'));
        QVERIFY(button->fontMetrics().horizontalAdvance(shown) < button->width() - 8);
    }
}

void TestFrmSupport::focusOrderStartsAtClose()
{
    frmSupport view;
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    const QStringList expected{QStringLiteral("cmdClose"),          QStringLiteral("cmdHelp"),
                               QStringLiteral("cmdOpenLogFile"),    QStringLiteral("txtLogFilename"),
                               QStringLiteral("cmdOpenLogFolder"),  QStringLiteral("txtLogPathname"),
                               QStringLiteral("cmdDownloadProfile"), QStringLiteral("txtDownloadModemProfiles"),
                               QStringLiteral("cmdSupportRequest"), QStringLiteral("txtSupportEmail"),
                               QStringLiteral("txtModemData"),      QStringLiteral("txtModemIMEI")};
    QStringList visited;
    for (int i = 0; i <= expected.size(); ++i) {
        QWidget *owner = focusOwner();
        QVERIFY(owner);
        visited << owner->objectName();
        QTest::keyClick(owner, Qt::Key_Tab);
    }
    // The first focus is cmdClose, and the order goes round the window once.
    QCOMPARE(visited.mid(0, expected.size()), expected);
    QCOMPARE(visited.last(), expected.first());
}

void TestFrmSupport::escapeClicksClose_data()
{
    QTest::addColumn<QString>("focused");
    QTest::newRow("on Close") << QStringLiteral("cmdClose");
    QTest::newRow("in an editable field") << QStringLiteral("txtModemIMEI");
    QTest::newRow("in a read-only field") << QStringLiteral("txtLogPathname");
    QTest::newRow("on another button") << QStringLiteral("cmdSupportRequest");
}

void TestFrmSupport::escapeClicksClose()
{
    QFETCH(QString, focused);
    frmSupport view;
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    auto *target = view.findChild<QWidget *>(focused);
    target->setFocus(Qt::OtherFocusReason);
    QCOMPARE(focusOwner(), target);
    QSignalSpy closes(view.cmdClose, &QPushButton::clicked);
    QSignalSpy others(view.cmdSupportRequest, &QPushButton::clicked);
    QTest::keyClick(target, Qt::Key_Escape);
    QCOMPARE(closes.size(), 1);
    QCOMPARE(others.size(), 0);
}

void TestFrmSupport::closingEmitsUnloadOnce()
{
    frmSupport view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy unloads(&view, &frmSupport::unloading);
    view.close();
    QCOMPARE(unloads.size(), 1);
    QVERIFY(!view.isVisible());
    view.close();
    QCOMPARE(unloads.size(), 1);
}



void TestFrmSupport::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("imgLogo") << QStringLiteral("imgLogo") << QStringLiteral("www.pellix.example");
    QTest::newRow("txtModemData") << QStringLiteral("txtModemData") << QStringLiteral("Modem brand and model :");
    QTest::newRow("txtModemIMEI") << QStringLiteral("txtModemIMEI") << QStringLiteral("Modem IMEI code :");
    QTest::newRow("cmdClose") << QStringLiteral("cmdClose") << QStringLiteral("Close");
    QTest::newRow("cmdHelp") << QStringLiteral("cmdHelp") << QStringLiteral("Show Help & Reference");
    QTest::newRow("txtLogFilename") << QStringLiteral("txtLogFilename") << QStringLiteral("Log file");
    QTest::newRow("txtLogPathname") << QStringLiteral("txtLogPathname") << QStringLiteral("Log folder");
    QTest::newRow("txtDownloadModemProfiles") << QStringLiteral("txtDownloadModemProfiles") << QStringLiteral("Modem profiles");
    QTest::newRow("txtSupportEmail") << QStringLiteral("txtSupportEmail") << QStringLiteral("Support e-mail");
    QTest::newRow("lblSkypeAccount") << QStringLiteral("lblSkypeAccount") << QStringLiteral("pellix.support");
}

void TestFrmSupport::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    frmSupport view;
    // The chat link is read by the account it shows, which the window's loading puts there.
    view.lblSkypeAccount->setText(QString::fromLatin1(Vendor::ChatAccount));
    QWidget *widget = view.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(accessibleName(widget), name);
}

void TestFrmSupport::everyControlHasAnAccessibleName()
{
    frmSupport view;
    // The chat link is read by the account it shows, which the window's loading puts there.
    view.lblSkypeAccount->setText(QString::fromLatin1(Vendor::ChatAccount));
    const QList<QWidget *> controls = namedControls(view);
    QVERIFY(controls.size() > 10);
    for (QWidget *control : controls)
        QVERIFY2(!accessibleName(control).isEmpty(), qPrintable(control->objectName()));
}

QTEST_MAIN(TestFrmSupport)
#include "tst_frmsupport.moc"
