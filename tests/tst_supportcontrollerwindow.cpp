// SPDX-License-Identifier: GPL-3.0-or-later
#include "supportcontrollerfixture.h"

class TestSupportControllerWindow : public SupportControllerFixture
{
    Q_OBJECT

private Q_SLOTS:
    void startUpLendsTheModemAndBuildsNoWindow();
    void showSupportIsModelessAndOwned();
    void formUpdateFillsTheWindow();
    void formUpdateModemData_data();
    void formUpdateModemData();
    void captionCarriesTheVersion_data();
    void captionCarriesTheVersion();
    void modemErrorLeavesEarlierFieldsAndIsShown();
    void switchingBackRefreshesTheModemFields();
    void closeAndShowAgainRebuildsAndRefreshes();
    void returningFromAnErrorBoxKeepsTheEdits();
    void showWithoutActivationFillsTheFields();
    void focusLeavingTheProgramEndsTheReturnFromABox();
    void unloadedBeforeTheModemIsReleased();
};

void TestSupportControllerWindow::startUpLendsTheModemAndBuildsNoWindow()
{
    Rig rig;
    QVERIFY(rig.modem);
    QCOMPARE(rig.support().modem(), static_cast<GsmModem *>(rig.modem));
    QVERIFY(!rig.window());
    QVERIFY(!rig.main().findChild<frmSupport *>());
    // Lending reads nothing of the modem yet.
    QCOMPARE(rig.modem->count(QStringLiteral("IMEI")), 0);
}

void TestSupportControllerWindow::showSupportIsModelessAndOwned()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    frmSupport *window = rig.window();
    QCOMPARE(window->parentWidget(), static_cast<QWidget *>(&rig.main()));
    QCOMPARE(window->windowHandle()->transientParent(), rig.main().windowHandle());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->cmdClose));

    // Both stay usable: the main window's log button works while the support window is open,
    // and showing again brings back the same window.
    QVERIFY(rig.activate(&rig.main()));
    QTest::mouseClick(rig.main().cmdShowLogFile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.size(), 1);
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window(), window);
    QCOMPARE(rig.main().findChildren<frmSupport *>().size(), 1);
}

void TestSupportControllerWindow::formUpdateFillsTheWindow()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("huawei");
    rig.modem->model = QStringLiteral("E220");
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    const frmSupport *v = rig.window();
    QCOMPARE(v->windowTitle(), QStringLiteral("Pellix Support (2.6.0)"));
    QCOMPARE(v->txtLogFilename->text(), QStringLiteral("Pellix.log"));
    QCOMPARE(v->txtLogPathname->text(), ModUtils::GetLongPath(ModUtils::GetTempFolder()));
    // The library's spelling, as it reports it.
    QCOMPARE(v->txtModemData->text(), QStringLiteral("huawei E220"));
    QCOMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
    QCOMPARE(v->txtSupportEmail->text(), QStringLiteral("support@pellix.example"));
    QCOMPARE(v->txtDownloadModemProfiles->text(), QStringLiteral("http://www.pellix.example/gsm_modem_config"));
    QCOMPARE(v->lblSkypeAccount->text(), QStringLiteral("pellix.support"));

    // Brand, then model, then IMEI, as the modem is asked.
    QStringList identity;
    for (const QString &member : rig.modem->members())
        if (member == QLatin1String("Manufacturer") || member == QLatin1String("Model") || member == QLatin1String("IMEI"))
            identity << member;
    QCOMPARE(identity.mid(0, 3), (QStringList{QStringLiteral("Manufacturer"), QStringLiteral("Model"), QStringLiteral("IMEI")}));
}

void TestSupportControllerWindow::formUpdateModemData_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both empty give an empty field") << QString() << QString() << QString();
    QTest::newRow("brand and model") << QStringLiteral("WAVECOM") << QStringLiteral("MULTIBAND 900E 1800")
                                     << QStringLiteral("WAVECOM MULTIBAND 900E 1800");
    QTest::newRow("brand alone, no stray blank") << QStringLiteral("Siemens") << QString() << QStringLiteral("Siemens");
    QTest::newRow("model alone, no stray blank") << QString() << QStringLiteral("MC35i") << QStringLiteral("MC35i");
    QTest::newRow("trimmed as a whole, inner blanks kept") << QStringLiteral("  Acme ") << QStringLiteral(" M1  ")
                                                           << QStringLiteral("Acme   M1");
}

void TestSupportControllerWindow::formUpdateModemData()
{
    QFETCH(QString, brand);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    Rig rig;
    rig.modem->manufacturer = brand;
    rig.modem->model = model;
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->txtModemData->text(), expected);
}

void TestSupportControllerWindow::captionCarriesTheVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("caption");
    QTest::newRow("2.6.0") << 2 << 6 << 0 << QStringLiteral("Pellix Support (2.6.0)");
    QTest::newRow("decimal, no leading zeros") << 3 << 10 << 7 << QStringLiteral("Pellix Support (3.10.7)");
}

void TestSupportControllerWindow::captionCarriesTheVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, caption);
    Rig rig(major, minor, revision);
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->windowTitle(), caption);
}

void TestSupportControllerWindow::modemErrorLeavesEarlierFieldsAndIsShown()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("WAVECOM");
    rig.modem->raiseOn(QStringLiteral("IMEI"),
                       pellix::libraryError(pellix::ErrorCode::ConnectionLost, QStringLiteral("AT+CGSN")));
    const int reportLines = rig.main().lstReport->count();
    QVERIFY(rig.showSupport());
    const frmSupport *v = rig.window();
    QTRY_COMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    // Filled before the failure: caption, log, brand and model; after it: nothing.
    QCOMPARE(v->windowTitle(), QStringLiteral("Pellix Support (2.6.0)"));
    QCOMPARE(v->txtLogFilename->text(), QStringLiteral("Pellix.log"));
    QCOMPARE(v->txtModemData->text(), QStringLiteral("WAVECOM"));
    QCOMPARE(v->txtModemIMEI->text(), QString());
    QCOMPARE(v->txtSupportEmail->text(), QString());

    const FakeDialogs::Asked box = rig.dialogs->last();
    QCOMPARE(box.style, 48);
    QCOMPARE(box.title, QStringLiteral("Error #5 from Pellix"));
    QVERIFY(box.text.startsWith(QLatin1String("Connection to the modem lost")));
    QCOMPARE(rig.main().lstReport->count(), reportLines);

    // The program goes on: the next activation fills everything.
    QVERIFY(rig.activate(&rig.main()));
    QVERIFY(rig.activate(rig.window()));
    QTRY_COMPARE(v->txtSupportEmail->text(), QStringLiteral("support@pellix.example"));
}

void TestSupportControllerWindow::switchingBackRefreshesTheModemFields()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    QLineEdit *imei = rig.window()->txtModemIMEI;
    imei->setText(QStringLiteral("typed by the operator"));
    rig.modem->imei = QStringLiteral("490154203237518");

    QVERIFY(rig.activate(&rig.main()));
    QCOMPARE(imei->text(), QStringLiteral("typed by the operator"));
    QVERIFY(rig.activate(rig.window()));
    QTRY_COMPARE(imei->text(), QStringLiteral("490154203237518"));
}

void TestSupportControllerWindow::closeAndShowAgainRebuildsAndRefreshes()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    QPointer<frmSupport> first = rig.window();
    first->txtModemIMEI->setText(QStringLiteral("edited"));

    QTest::mouseClick(first->cmdClose, Qt::LeftButton);
    QVERIFY(!rig.window());
    QTRY_VERIFY(!first);
    // The modem stays lent while the window is closed.
    QCOMPARE(rig.support().modem(), static_cast<GsmModem *>(rig.modem));

    rig.modem->imei = QStringLiteral("490154203237518");
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->txtModemIMEI->text(), QStringLiteral("490154203237518"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(rig.window()->cmdClose));

    // Esc and the title bar close it the same way.
    QTest::keyClick(rig.window(), Qt::Key_Escape);
    QVERIFY(!rig.window());
    QVERIFY(rig.showSupport());
    rig.window()->close();
    QVERIFY(!rig.window());
    QVERIFY(rig.showSupport());
}

void TestSupportControllerWindow::returningFromAnErrorBoxKeepsTheEdits()
{
    Rig rig;
    QVERIFY(rig.showSupportWithEditedImei());
    frmSupport *v = rig.window();

    // A real box takes the activation while it is open and gives it back when it closes.
    QWidget box;
    rig.dialogs->whileOpen = [&box](const FakeDialogs::Asked &) {
        box.show();
        box.activateWindow();
        QVERIFY(Rig::becameActive(&box));
        box.hide();
    };
    QTest::mouseClick(v->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    QVERIFY(rig.activate(v));
    QTest::qWait(20);
    QCOMPARE(v->txtModemIMEI->text(), QStringLiteral("corrected IMEI"));

    // Coming back from the main window is the operator's switch: the library's value returns.
    QVERIFY(rig.activate(&rig.main()));
    QVERIFY(rig.activate(v));
    QTRY_COMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
}

void TestSupportControllerWindow::showWithoutActivationFillsTheFields()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    rig.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.main()));
    // A window manager that refuses to activate the window: it never hears of an activation.
    RefusedActivation refuse;
    qApp->installEventFilter(&refuse);
    QTest::mouseClick(rig.main().cmdShowSupport, Qt::LeftButton);
    QVERIFY(rig.window());
    QTRY_COMPARE(rig.window()->txtModemIMEI->text(), QStringLiteral("351234567890123"));
    qApp->removeEventFilter(&refuse);

    // Where the activation does come, the fields are filled by it alone.
    rig.window()->close();
    QVERIFY(!rig.window());
    QVERIFY(rig.activate(&rig.main()));
    const int before = rig.modem->count(QStringLiteral("IMEI"));
    QVERIFY(rig.showSupport());
    QTest::qWait(SupportController::ActivationWaitMs * 2);
    QCOMPARE(rig.modem->count(QStringLiteral("IMEI")), before + 1);
}

void TestSupportControllerWindow::focusLeavingTheProgramEndsTheReturnFromABox()
{
    Rig rig;
    QVERIFY(rig.showSupportWithEditedImei());
    frmSupport *v = rig.window();

    // The box has the activation when the operator goes to another program.
    QWidget box;
    rig.dialogs->whileOpen = [&box](const FakeDialogs::Asked &) {
        box.show();
        box.activateWindow();
        QVERIFY(Rig::becameActive(&box));
    };
    QTest::mouseClick(v->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    // Offscreen there is no other program to take the focus: the application hears it as it would.
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    box.hide();
    QVERIFY(rig.activate(v));
    QTRY_COMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
}

void TestSupportControllerWindow::unloadedBeforeTheModemIsReleased()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QPointer<frmSupport> window = rig.window();
    bool openAtRelease = true;
    QObject::connect(rig.modem, &QObject::destroyed, [&] { openAtRelease = rig.window() || (window && window->isVisible()); });
    rig.main().close();
    QVERIFY(!openAtRelease);
    QVERIFY(!rig.window());
    QVERIFY(!rig.console->modem());
    QTRY_VERIFY(!window);
}

QTEST_MAIN(TestSupportControllerWindow)
#include "tst_supportcontrollerwindow.moc"
