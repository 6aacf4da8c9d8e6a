// SPDX-License-Identifier: GPL-3.0-or-later
#include "connectionfixture.h"

class TestConnectionConnect : public ConnectionFixture
{
    Q_OBJECT

private Q_SLOTS:
    void connectPassesTheWindowsChoices_data();
    void connectPassesTheWindowsChoices();
    void connectedStatusNamesTheModem_data();
    void connectedStatusNamesTheModem();
    void statusDisplay_data();
    void statusDisplay();
    void connectionEndingByItselfSaysWhy_data();
    void connectionEndingByItselfSaysWhy();
    void statusIsPaintedWhileConnectBlocks();
    void failedConnectIsReported_data();
    void failedConnectIsReported();
    void onlyTheIdleCaptionConnects_data();
    void onlyTheIdleCaptionConnects();
};

void TestConnectionConnect::connectPassesTheWindowsChoices_data()
{
    QTest::addColumn<int>("typeEntry");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("autoReceive");
    QTest::addColumn<bool>("autoDelete");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("simulator, receive live, keep messages")
        << 0 << QStringLiteral("COM1") << true << false
        << QStringList{QStringLiteral("set ConnectOptionA(true)"), QStringLiteral("set AutoDelete(false)"),
                       QStringLiteral("set ConnectOptionB(true)"), QStringLiteral("Connect(-1,1,,2,60,0)")};
    QTest::newRow("Huawei on a typed port with a remark, messages stay on the SIM")
        << 4 << QStringLiteral("com12 (USB)") << false << true
        << QStringList{QStringLiteral("set ConnectOptionA(true)"), QStringLiteral("set AutoDelete(true)"),
                       QStringLiteral("set ConnectOptionB(true)"), QStringLiteral("Connect(15,12,,0,60,0)")};
    QTest::newRow("second of two entries with code 40")
        << 8 << QStringLiteral("COM3") << true << true
        << QStringList{QStringLiteral("set ConnectOptionA(true)"), QStringLiteral("set AutoDelete(true)"),
                       QStringLiteral("set ConnectOptionB(true)"), QStringLiteral("Connect(40,3,,2,60,0)")};
    QTest::newRow("profile of Pellix.ini, port read leniently")
        << 22 << QStringLiteral("COM2.5") << false << false
        << QStringList{QStringLiteral("set ConnectOptionA(true)"), QStringLiteral("set AutoDelete(false)"),
                       QStringLiteral("set ConnectOptionB(true)"), QStringLiteral("Connect(0,2,,0,60,0)")};
}

void TestConnectionConnect::connectPassesTheWindowsChoices()
{
    QFETCH(int, typeEntry);
    QFETCH(QString, portText);
    QFETCH(bool, autoReceive);
    QFETCH(bool, autoDelete);
    QFETCH(QStringList, expected);

    Rig rig;
    frmVendrel &v = rig.view();
    v.cmbModemType->setCurrentIndex(typeEntry);
    v.cmbModemPort->setEditText(portText);
    v.chkAutoReceive->setChecked(autoReceive);
    v.chkAutoDelete->setChecked(autoDelete);
    rig.modem->clearCalls();

    bool busyDuringConnect = false;
    rig.modem->onCall(QStringLiteral("Connect"), [&] { busyDuringConnect = pointerIsBusy(); });
    v.cmdConnect->click();

    QCOMPARE(rig.connectSequence(), expected);
    QVERIFY(busyDuringConnect);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("Dis&connect"));
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestConnectionConnect::connectedStatusNamesTheModem_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("logged");

    QTest::newRow("lower-case maker gets capitals")
        << QStringLiteral("acme") << QStringLiteral("M1") << QStringLiteral("1.0")
        << QStringLiteral("Modem status: READY (Acme M1)") << QStringLiteral("Modem status=READY (Acme M1 - rev. 1.0)");
    QTest::newRow("each lower-case word capitalised")
        << QStringLiteral("siemens mobile") << QStringLiteral("MC35i") << QStringLiteral("02.00")
        << QStringLiteral("Modem status: READY (Siemens Mobile MC35i)")
        << QStringLiteral("Modem status=READY (Siemens Mobile MC35i - rev. 02.00)");
    QTest::newRow("mixed-case maker unchanged")
        << QStringLiteral("huaWEI technologies") << QStringLiteral("E220") << QStringLiteral("11.117")
        << QStringLiteral("Modem status: READY (huaWEI technologies E220)")
        << QStringLiteral("Modem status=READY (huaWEI technologies E220 - rev. 11.117)");
    QTest::newRow("no identity: blanks trimmed")
        << QString() << QString() << QString()
        << QStringLiteral("Modem status: READY ()") << QStringLiteral("Modem status=READY ( - rev. )");
    QTest::newRow("blanks around the model trimmed")
        << QStringLiteral("  ") << QStringLiteral("GM862 ") << QStringLiteral("x")
        << QStringLiteral("Modem status: READY (GM862)") << QStringLiteral("Modem status=READY (GM862 - rev. x)");
}

void TestConnectionConnect::connectedStatusNamesTheModem()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(QString, revision);
    QFETCH(QString, label);
    QFETCH(QString, logged);

    Rig rig;
    rig.modem->manufacturer = manufacturer;
    rig.modem->model = model;
    rig.modem->revision = revision;
    const int first = rig.lineCount();
    rig.connectModem();

    frmVendrel &v = rig.view();
    QCOMPARE(v.lblModemStatus->text(), label);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("Dis&connect"));
    QCOMPARE(rig.linesFrom(first),
             (QStringList{Stamp + QStringLiteral("Modem status=CONNECTING..."), Stamp + logged}));
}

void TestConnectionConnect::statusDisplay_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("statusText");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("logged");

    // The button reads "Unchanged" before each event.
    QTest::newRow("0 shows Disconnected whatever the text")
        << 0 << QStringLiteral("Port closed") << QStringLiteral("&Connect")
        << QStringLiteral("Modem status: Disconnected") << QStringLiteral("Modem status=Disconnected");
    QTest::newRow("1 connecting")
        << 1 << QStringLiteral("Initialising") << QStringLiteral("&Connecting...")
        << QStringLiteral("Modem status: INITIALISING...") << QStringLiteral("Modem status=INITIALISING...");
    QTest::newRow("2 ready")
        << 2 << QStringLiteral("Ready") << QStringLiteral("Dis&connect")
        << QStringLiteral("Modem status: READY (Acme M1)") << QStringLiteral("Modem status=READY (Acme M1 - rev. 1.0)");
    QTest::newRow("7 leaves the caption, text upper-cased")
        << 7 << QStringLiteral("Searching network") << QStringLiteral("Unchanged")
        << QStringLiteral("Modem status: SEARCHING NETWORK") << QStringLiteral("Modem status=SEARCHING NETWORK");
    QTest::newRow("revision before every ) of the log line only")
        << 7 << QStringLiteral("sim busy) (retry)") << QStringLiteral("Unchanged")
        << QStringLiteral("Modem status: SIM BUSY) (RETRY)")
        << QStringLiteral("Modem status=SIM BUSY - rev. 1.0) (RETRY - rev. 1.0)");
    QTest::newRow("connected with ) in the text")
        << 2 << QStringLiteral("ready)") << QStringLiteral("Dis&connect")
        << QStringLiteral("Modem status: READY) (Acme M1)")
        << QStringLiteral("Modem status=READY - rev. 1.0) (Acme M1 - rev. 1.0)");
}

void TestConnectionConnect::statusDisplay()
{
    QFETCH(int, status);
    QFETCH(QString, statusText);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    QFETCH(QString, logged);

    Rig rig;
    rig.modem->manufacturer = QStringLiteral("acme");
    rig.modem->model = QStringLiteral("M1");
    rig.modem->revision = QStringLiteral("1.0");
    frmVendrel &v = rig.view();
    v.cmdConnect->setText(QStringLiteral("Unchanged"));

    rig.modem->setStatus(status, statusText);
    QCOMPARE(v.cmdConnect->text(), caption);
    QCOMPARE(v.lblModemStatus->text(), label);
    QCOMPARE(rig.lastLine(), Stamp + logged);
    // The revision is read in every state.
    QVERIFY(rig.modem->count(QStringLiteral("Revision")) >= 1);
}

// A connection the library closed by itself while the console was idle (the device went away, a
// restart it could not recover from) leaves the reason as an error line under the status line; a
// deliberate disconnect leaves none. Nobody is waiting for it: no box pops up.
void TestConnectionConnect::connectionEndingByItselfSaysWhy_data()
{
    QTest::addColumn<bool>("byItself");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("the device went away")
        << true
        << QStringList{Stamp + QStringLiteral("Modem status=Disconnected"),
                       Stamp + QStringLiteral("Error #5 from Pellix: Connection to the modem lost: the device went away")};
    QTest::newRow("disconnected by the operator") << false << QStringList{Stamp + QStringLiteral("Modem status=Disconnected")};
}

void TestConnectionConnect::connectionEndingByItselfSaysWhy()
{
    QFETCH(bool, byItself);
    QFETCH(QStringList, lines);
    Rig rig;
    rig.connectModem();
    const int before = rig.lineCount();
    if (byItself) {
        rig.modem->endReason = RaisedError(qint32(0x80040005), QStringLiteral("Pellix"),
                                           QStringLiteral("Connection to the modem lost: the device went away"));
        rig.modem->setStatus(0, QStringLiteral("Disconnected"));
    } else {
        rig.view().cmdConnect->click();
    }
    QCOMPARE(rig.linesFrom(before), lines);
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestConnectionConnect::statusIsPaintedWhileConnectBlocks()
{
    Rig rig;
    frmVendrel &v = rig.view();
    rig.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QCoreApplication::processEvents();

    // Counts the label's paint events; inside Connect no event loop runs, so only a paint made
    // at once by the status display can arrive there.
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    v.lblModemStatus->installEventFilter(&counter);
    rig.modem->onCall(QStringLiteral("Connect"), [&] { counter.paints = 0; });
    int paintsWhenConnecting = -1;
    QString labelWhenConnecting;
    // Connected after the console's own handler, so it runs once the display has been made.
    connect(rig.modem, &GsmModem::NewStatus, this, [&](qint32 status) {
        if (status == 1) {
            paintsWhenConnecting = counter.paints;
            labelWhenConnecting = v.lblModemStatus->text();
        }
    });
    v.cmdConnect->click();
    QCOMPARE(labelWhenConnecting, QStringLiteral("Modem status: CONNECTING..."));
    QVERIFY2(paintsWhenConnecting >= 1, "the new status was not painted while Connect was under way");
}

void TestConnectionConnect::failedConnectIsReported_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<bool>("connectCalled");
    QTest::addColumn<QString>("errorLine");
    QTest::addColumn<QString>("boxTitle");
    QTest::addColumn<QString>("boxText");

    QTest::newRow("library refuses, identity as read after the failure")
        << QStringLiteral("refuse") << QStringLiteral("acme") << true
        << QStringLiteral("Error #4 from Pellix: Cannot open the serial port") << QStringLiteral("Error #4 from Pellix")
        << QStringLiteral("Cannot open the serial port");
    QTest::newRow("port number beyond 16 bits ends before Connect")
        << QStringLiteral("COM40000") << QString() << false << QStringLiteral("Error #6 from Vendrel: Overflow")
        << QStringLiteral("Error #6 from Vendrel") << QStringLiteral("Overflow");
    QTest::newRow("no modem type selected ends before Connect")
        << QStringLiteral("no type") << QString() << false
        << QStringLiteral("Error #381 from Vendrel: Invalid property array index: no modem type is selected")
        << QStringLiteral("Error #381 from Vendrel")
        << QStringLiteral("Invalid property array index: no modem type is selected");
    QTest::newRow("identity unreadable after the failure")
        << QStringLiteral("identity fails") << QString() << true
        << QStringLiteral("Error #4 from Pellix: Cannot open the serial port") << QStringLiteral("Error #4 from Pellix")
        << QStringLiteral("Cannot open the serial port");
}

void TestConnectionConnect::failedConnectIsReported()
{
    QFETCH(QString, how);
    QFETCH(QString, manufacturer);
    QFETCH(bool, connectCalled);
    QFETCH(QString, errorLine);
    QFETCH(QString, boxTitle);
    QFETCH(QString, boxText);

    Rig rig;
    frmVendrel &v = rig.view();
    v.chkGSMSignal->setChecked(true);
    rig.modem->manufacturer = manufacturer;
    rig.modem->model = manufacturer.isEmpty() ? QString() : QStringLiteral("M1");
    if (how == QLatin1String("refuse") || how == QLatin1String("identity fails"))
        rig.modem->connectSucceeds = false;
    if (how == QLatin1String("identity fails")) {
        const RaisedError gone(qint32(0x80040005), QStringLiteral("Pellix"), QStringLiteral("Connection lost"));
        rig.modem->raiseOn(QStringLiteral("Manufacturer"), gone);
        rig.modem->raiseOn(QStringLiteral("Model"), gone);
    }
    if (how.startsWith(QLatin1String("COM")))
        v.cmbModemPort->setEditText(how);
    if (how == QLatin1String("no type"))
        v.cmbModemType->setCurrentIndex(-1);
    rig.modem->clearCalls();
    const int first = rig.lineCount();

    bool busyInsideBox = true;
    rig.dialogs->whileOpen = [&](const FakeDialogs::Asked &) { busyInsideBox = pointerIsBusy(); };
    v.cmdConnect->click();

    QCOMPARE(rig.modem->count(QStringLiteral("Connect")), connectCalled ? 1 : 0);
    const QString identity = manufacturer.isEmpty() ? QStringLiteral(" ") : manufacturer + QStringLiteral(" M1");
    const QStringList lines = rig.linesFrom(first);
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines.mid(lines.size() - 2),
             (QStringList{Stamp + QStringLiteral("Error connecting to modem ") + identity, Stamp + errorLine}));
    QCOMPARE(rig.dialogs->asked().size(), 1);
    QCOMPARE(rig.dialogs->last().text, boxText);
    QCOMPARE(rig.dialogs->last().style, 48);
    QCOMPARE(rig.dialogs->last().title, boxTitle);
    QVERIFY2(!busyInsideBox, "the error box was shown under the hourglass");
    // The connection stays as the library left it; no signal reading after a failure.
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("&Connect"));
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), 0);
}

void TestConnectionConnect::onlyTheIdleCaptionConnects_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("called");
    QTest::newRow("&Connect connects") << QStringLiteral("&Connect") << QStringLiteral("Connect");
    QTest::newRow("&Connecting... disconnects") << QStringLiteral("&Connecting...") << QStringLiteral("Disconnect");
    QTest::newRow("Dis&connect disconnects") << QStringLiteral("Dis&connect") << QStringLiteral("Disconnect");
    QTest::newRow("Connect without its access key disconnects") << QStringLiteral("Connect") << QStringLiteral("Disconnect");
}

void TestConnectionConnect::onlyTheIdleCaptionConnects()
{
    QFETCH(QString, caption);
    QFETCH(QString, called);
    Rig rig;
    rig.view().cmdConnect->setText(caption);
    rig.view().cmdConnect->click();
    QCOMPARE(rig.modem->count(QStringLiteral("Connect")), called == QLatin1String("Connect") ? 1 : 0);
    QCOMPARE(rig.modem->count(QStringLiteral("Disconnect")), called == QLatin1String("Disconnect") ? 1 : 0);
}

QTEST_MAIN(TestConnectionConnect)
#include "tst_connectionconnect.moc"
