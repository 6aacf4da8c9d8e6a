// SPDX-License-Identifier: GPL-3.0-or-later
#include "connectioncontroller.h"
#include "consolerig.h"
#include "frmvendrel.h"
#include "connection/modemfactory.h"
#include "reportlistbox.h"
#include "reportlog.h"
#include "signalmonitor.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

const QString Stamp = QStringLiteral("12:00:00  ");

struct Rig : ConsoleRig<>
{
    explicit Rig(const QHash<QString, QString> &stored = {}, std::function<std::unique_ptr<GsmModem>()> makeModem = {})
    {
        Setup setup;
        setup.stored = stored;
        setup.makeModem = std::move(makeModem);
        build(std::move(setup));
        console->reportLog().setClock([] { return QTime(12, 0); });
        if (modem)
            modem->clearCalls();
    }

    ConnectionController &connection() const { return *console->connection(); }
    // The members that make up a connect, in the order they were called.
    QStringList connectSequence() const
    {
        QStringList seq;
        for (const FakeGsmModem::Call &call : modem->calls()) {
            if (call.member.startsWith(QLatin1String("set ")) || call.member == QLatin1String("Connect")
                || call.member == QLatin1String("Disconnect")) {
                QStringList args;
                for (const QVariant &arg : call.args)
                    args << arg.toString();
                seq << call.member + QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')');
            }
        }
        return seq;
    }
    void connectModem() const
    {
        view().cmdConnect->click();
        QCOMPARE(modem->status, 2);
    }
};

bool pointerIsBusy()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void connectPassesTheWindowsChoices_data();
    void connectPassesTheWindowsChoices();
    void connectedStatusNamesTheModem_data();
    void connectedStatusNamesTheModem();
    void statusDisplay_data();
    void statusDisplay();
    void statusIsPaintedWhileConnectBlocks();
    void connectionEndingByItselfSaysWhy_data();
    void connectionEndingByItselfSaysWhy();
    void failedConnectIsReported_data();
    void failedConnectIsReported();
    void onlyTheIdleCaptionConnects_data();
    void onlyTheIdleCaptionConnects();
    void disconnectIgnoresFailures_data();
    void disconnectIgnoresFailures();
    void autoReceiveReconnectsAnOpenConnection_data();
    void autoReceiveReconnectsAnOpenConnection();
    void autoReceiveWhileDisconnectedOnlyStores();
    void failedReconnectIsReported();
    void autoDeleteReachesTheModemAtOnce_data();
    void autoDeleteReachesTheModemAtOnce();
    void signalReadRightAfterConnect_data();
    void signalReadRightAfterConnect();
    void statusDisplayErrorDoesNotFailTheConnect();
    void unloadClosesTheConnection();
    void endToEndOnTheVirtualModem();
    void unwritableTraceIsReportedOnce();
};

void TestConnection::cleanup()
{
    // Every handler restores the normal pointer, whichever way it ended.
    const bool leftBusy = QApplication::overrideCursor() != nullptr;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    QVERIFY(!leftBusy);
}

void TestConnection::connectPassesTheWindowsChoices_data()
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

void TestConnection::connectPassesTheWindowsChoices()
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

void TestConnection::connectedStatusNamesTheModem_data()
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

void TestConnection::connectedStatusNamesTheModem()
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

void TestConnection::statusDisplay_data()
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

void TestConnection::statusDisplay()
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
void TestConnection::connectionEndingByItselfSaysWhy_data()
{
    QTest::addColumn<bool>("byItself");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("the device went away")
        << true
        << QStringList{Stamp + QStringLiteral("Modem status=Disconnected"),
                       Stamp + QStringLiteral("Error #5 from Pellix: Connection to the modem lost: the device went away")};
    QTest::newRow("disconnected by the operator") << false << QStringList{Stamp + QStringLiteral("Modem status=Disconnected")};
}

void TestConnection::connectionEndingByItselfSaysWhy()
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

void TestConnection::statusIsPaintedWhileConnectBlocks()
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

void TestConnection::failedConnectIsReported_data()
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

void TestConnection::failedConnectIsReported()
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

void TestConnection::onlyTheIdleCaptionConnects_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("called");
    QTest::newRow("&Connect connects") << QStringLiteral("&Connect") << QStringLiteral("Connect");
    QTest::newRow("&Connecting... disconnects") << QStringLiteral("&Connecting...") << QStringLiteral("Disconnect");
    QTest::newRow("Dis&connect disconnects") << QStringLiteral("Dis&connect") << QStringLiteral("Disconnect");
    QTest::newRow("Connect without its access key disconnects") << QStringLiteral("Connect") << QStringLiteral("Disconnect");
}

void TestConnection::onlyTheIdleCaptionConnects()
{
    QFETCH(QString, caption);
    QFETCH(QString, called);
    Rig rig;
    rig.view().cmdConnect->setText(caption);
    rig.view().cmdConnect->click();
    QCOMPARE(rig.modem->count(QStringLiteral("Connect")), called == QLatin1String("Connect") ? 1 : 0);
    QCOMPARE(rig.modem->count(QStringLiteral("Disconnect")), called == QLatin1String("Disconnect") ? 1 : 0);
}

void TestConnection::disconnectIgnoresFailures_data()
{
    QTest::addColumn<bool>("fails");
    QTest::newRow("modem closes") << false;
    QTest::newRow("modem raises, still closed as far as the window goes") << true;
}

void TestConnection::disconnectIgnoresFailures()
{
    QFETCH(bool, fails);
    Rig rig;
    rig.connectModem();
    frmVendrel &v = rig.view();
    QString captionWhileWaiting;
    bool busyWhileWaiting = false;
    rig.modem->onCall(QStringLiteral("Disconnect"), [&] {
        captionWhileWaiting = v.cmdConnect->text();
        busyWhileWaiting = pointerIsBusy();
    });
    if (fails)
        rig.modem->raiseOn(QStringLiteral("Disconnect"),
                           RaisedError(qint32(0x80040005), QStringLiteral("Pellix"), QStringLiteral("Connection lost")));

    v.cmdConnect->click();
    QCOMPARE(captionWhileWaiting, QStringLiteral("Dis&connecting..."));
    QVERIFY(busyWhileWaiting);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("&Connect"));
    QCOMPARE(rig.dialogs->asked().size(), 0);
    if (!fails) {
        QCOMPARE(v.lblModemStatus->text(), QStringLiteral("Modem status: Disconnected"));
        QCOMPARE(rig.lastLine(), Stamp + QStringLiteral("Modem status=Disconnected"));
    }
}

void TestConnection::autoReceiveReconnectsAnOpenConnection_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("receiveBefore");
    QTest::addColumn<int>("newMode");
    QTest::newRow("connected, switched off: receive mode 0") << 2 << true << 0;
    QTest::newRow("connected, switched on: receive mode 2") << 2 << false << 2;
    QTest::newRow("still connecting counts as open") << 1 << true << 0;
}

void TestConnection::autoReceiveReconnectsAnOpenConnection()
{
    QFETCH(int, status);
    QFETCH(bool, receiveBefore);
    QFETCH(int, newMode);

    Rig rig;
    frmVendrel &v = rig.view();
    v.chkAutoReceive->setChecked(receiveBefore);
    rig.modem->setStatus(status, QStringLiteral("Ready"));
    rig.modem->clearCalls();

    QStringList order;
    rig.modem->onCall(QStringLiteral("Disconnect"), [&] { order << QStringLiteral("disconnect"); });
    rig.modem->onCall(QStringLiteral("Connect"), [&] { order << QStringLiteral("connect"); });
    bool busyWhilePausing = false;
    rig.desktop->onSleep = [&](int ms) {
        order << QStringLiteral("sleep %1").arg(ms);
        busyWhilePausing = pointerIsBusy();
    };

    v.chkAutoReceive->setChecked(!receiveBefore);
    QCOMPARE(rig.console->settings().AutoReceive, qint16(receiveBefore ? 0 : -1));
    QCOMPARE(order, (QStringList{QStringLiteral("disconnect"), QStringLiteral("sleep 1000"), QStringLiteral("connect")}));
    QVERIFY(busyWhilePausing);
    const QList<FakeGsmModem::Call> connects = rig.modem->callsOf(QStringLiteral("Connect"));
    QCOMPARE(connects.size(), 1);
    QCOMPARE(connects.first().args.at(3).toInt(), newMode);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("Dis&connect"));
}

void TestConnection::autoReceiveWhileDisconnectedOnlyStores()
{
    Rig rig;
    frmVendrel &v = rig.view();
    QVERIFY(v.chkAutoReceive->isChecked());
    v.chkAutoReceive->setChecked(false);
    QCOMPARE(rig.console->settings().AutoReceive, qint16(0));
    v.chkAutoReceive->setChecked(true);
    QCOMPARE(rig.console->settings().AutoReceive, qint16(-1));
    QCOMPARE(rig.modem->count(QStringLiteral("Connect")), 0);
    QCOMPARE(rig.modem->count(QStringLiteral("Disconnect")), 0);
    QVERIFY(rig.desktop->sleeps.isEmpty());
}

void TestConnection::failedReconnectIsReported()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("acme");
    rig.modem->model = QStringLiteral("M1");
    rig.connectModem();
    rig.modem->connectSucceeds = false;
    const int first = rig.lineCount();

    rig.view().chkAutoReceive->setChecked(false);
    QCOMPARE(rig.desktop->sleeps, QList<int>{1000});
    const QStringList lines = rig.linesFrom(first);
    QVERIFY(lines.contains(Stamp + QStringLiteral("Error connecting to modem acme M1")));
    QCOMPARE(lines.last(), Stamp + QStringLiteral("Error #4 from Pellix: Cannot open the serial port"));
    QCOMPARE(rig.dialogs->asked().size(), 1);
    QCOMPARE(rig.view().cmdConnect->text(), QStringLiteral("&Connect"));
}

void TestConnection::autoDeleteReachesTheModemAtOnce_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("on");
    QTest::newRow("connected, switched on") << true << true;
    QTest::newRow("connected, switched off") << true << false;
    QTest::newRow("disconnected, switched on") << false << true;
}

void TestConnection::autoDeleteReachesTheModemAtOnce()
{
    QFETCH(bool, connected);
    QFETCH(bool, on);
    Rig rig;
    frmVendrel &v = rig.view();
    v.chkAutoDelete->setChecked(!on);
    if (connected)
        rig.connectModem();
    rig.modem->clearCalls();

    v.chkAutoDelete->setChecked(on);
    QCOMPARE(rig.connectSequence(), QStringList{QStringLiteral("set AutoDelete(%1)").arg(on ? QStringLiteral("true") : QStringLiteral("false"))});
    QCOMPARE(rig.modem->autoDelete, on);
    QCOMPARE(rig.console->settings().AutoDelete, qint16(on ? -1 : 0));
}

void TestConnection::signalReadRightAfterConnect_data()
{
    QTest::addColumn<bool>("checkSignal");
    QTest::newRow("signal check on: first reading at once") << true;
    QTest::newRow("signal check off: no reading") << false;
}

void TestConnection::signalReadRightAfterConnect()
{
    QFETCH(bool, checkSignal);
    Rig rig;
    frmVendrel &v = rig.view();
    v.chkGSMSignal->setChecked(checkSignal);
    // Switched on while disconnected: nothing measured, nothing logged.
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), 0);
    const int first = rig.lineCount();

    rig.connectModem();
    const QStringList lines = rig.linesFrom(first);
    if (checkSignal) {
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(1).startsWith(Stamp + QStringLiteral("Modem status=READY")));
        QCOMPARE(lines.at(2), Stamp + QStringLiteral("GSM signal OK  (RSSI=18, BER=0)"));
        QVERIFY(v.TimerGSMSignal->isActive());
    } else {
        QCOMPARE(lines.size(), 2);
        QVERIFY(!v.TimerGSMSignal->isActive());
    }
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), checkSignal ? 1 : 0);
}

void TestConnection::statusDisplayErrorDoesNotFailTheConnect()
{
    // The status display runs inside the library's Connect: its own failure is shown as an
    // uncaught error and must not travel back through Connect as a failed connection.
    Rig rig;
    rig.modem->raiseOn(QStringLiteral("Revision"),
                       RaisedError(qint32(0x80040009), QStringLiteral("Pellix"), QStringLiteral("Revision unknown")));
    rig.connectModem();
    QCOMPARE(rig.dialogs->asked().size(), 1);
    QVERIFY(rig.dialogs->last().text.contains(QStringLiteral("Revision unknown")));
    for (int i = 0; i < rig.lineCount(); ++i)
        QVERIFY(!rig.view().lstReport->item(i).contains(QStringLiteral("Error connecting")));
    QCOMPARE(rig.view().cmdConnect->text(), QStringLiteral("Dis&connect"));
}

void TestConnection::unloadClosesTheConnection()
{
    Rig rig;
    rig.connectModem();
    QString captionWhileWaiting;
    rig.modem->onCall(QStringLiteral("Disconnect"), [&] { captionWhileWaiting = rig.view().cmdConnect->text(); });
    rig.view().close();
    QCOMPARE(captionWhileWaiting, QStringLiteral("Dis&connecting..."));
    QCOMPARE(rig.console->connection(), nullptr);
    QCOMPARE(rig.view().cmdConnect->text(), QStringLiteral("&Connect"));
}

void TestConnection::endToEndOnTheVirtualModem()
{
    // The console as main() builds it, on the library's in-process virtual modem (type -1).
    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("-1")}, {QStringLiteral("CheckGSMSignal"), QStringLiteral("-1")}},
            [] {
                auto modem = pellix::makePellixGsmModem();
                modem->setTracePath(QString()); // no Pellix.log from a test
                return std::unique_ptr<GsmModem>(std::move(modem));
            });
    frmVendrel &v = rig.view();
    rig.console->signalMonitor()->setTimerInterval(40);
    QVERIFY(v.chkGSMSignal->isChecked());
    QCOMPARE(v.cmbModemType->currentText(), QStringLiteral("No modem (use simulator)"));
    rig.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    const int first = rig.lineCount();

    QTest::mouseClick(v.cmdConnect, Qt::LeftButton);
    QCOMPARE(rig.console->modem()->Status(), 2);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("Dis&connect"));
    QVERIFY2(v.lblModemStatus->text().startsWith(QStringLiteral("Modem status: READY (")), qPrintable(v.lblModemStatus->text()));
    QVERIFY(!v.lblModemStatus->text().contains(QStringLiteral(" - rev. ")));
    const QStringList connectLines = rig.linesFrom(first);
    const auto readyLine = std::find_if(connectLines.begin(), connectLines.end(), [](const QString &line) {
        return line.startsWith(Stamp + QStringLiteral("Modem status=READY (")) && line.contains(QStringLiteral(" - rev. "));
    });
    QVERIFY2(readyLine != connectLines.end(), qPrintable(connectLines.join(QLatin1Char('\n'))));
    QCOMPARE(rig.dialogs->asked().size(), 0);

    // One reading right after the connect, then one per tick.
    static const QRegularExpression reading(QStringLiteral(
        "^12:00:00  GSM signal (OK  \\(RSSI=\\d+, BER=\\d+\\)|too low  \\(RSSI=\\d+, BER=\\d+; required value for RSSI is \\[11\\.\\.31\\]\\))$"));
    const auto readings = [&] {
        int n = 0;
        for (const QString &line : rig.linesFrom(first))
            n += reading.match(line).hasMatch() ? 1 : 0;
        return n;
    };
    QVERIFY(readings() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(readings() >= 4, 5000);

    QTest::mouseClick(v.cmdConnect, Qt::LeftButton);
    QCOMPARE(rig.console->modem()->Status(), 0);
    QCOMPARE(v.cmdConnect->text(), QStringLiteral("&Connect"));
    QCOMPARE(v.lblModemStatus->text(), QStringLiteral("Modem status: Disconnected"));
    QVERIFY(rig.linesFrom(first).contains(Stamp + QStringLiteral("Modem status=Disconnected")));
    // The timer keeps ticking but reads nothing while disconnected.
    const int afterDisconnect = readings();
    QTest::qWait(200);
    QCOMPARE(readings(), afterDisconnect);
    QVERIFY(v.TimerGSMSignal->isActive());
}

// A support request must not go out without its trace: when the library cannot write it, the
// report log says so, once however often the modem connects.
void TestConnection::unwritableTraceIsReportedOnce()
{
    const QString trace = QStringLiteral("/nonexistent-vendrel-test/Pellix.log");
    Rig rig({{QStringLiteral("ModemType"), QStringLiteral("-1")}}, [&] {
        auto modem = pellix::makePellixGsmModem();
        modem->setTracePath(trace);
        return std::unique_ptr<GsmModem>(std::move(modem));
    });
    frmVendrel &v = rig.view();
    const int first = rig.lineCount();
    for (int i = 0; i < 2; ++i) {
        v.cmdConnect->click();
        QCOMPARE(rig.console->modem()->Status(), 2);
        v.cmdConnect->click();
        QCOMPARE(rig.console->modem()->Status(), 0);
    }
    const QStringList lines = rig.linesFrom(first).filter(QStringLiteral("Trace not written: ") + trace);
    QCOMPARE(lines.size(), 1);
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
