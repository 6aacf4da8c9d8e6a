// SPDX-License-Identifier: GPL-3.0-or-later
#include "connectionfixture.h"

class TestConnectionSession : public ConnectionFixture
{
    Q_OBJECT

private Q_SLOTS:
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

void TestConnectionSession::disconnectIgnoresFailures_data()
{
    QTest::addColumn<bool>("fails");
    QTest::newRow("modem closes") << false;
    QTest::newRow("modem raises, still closed as far as the window goes") << true;
}

void TestConnectionSession::disconnectIgnoresFailures()
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

void TestConnectionSession::autoReceiveReconnectsAnOpenConnection_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("receiveBefore");
    QTest::addColumn<int>("newMode");
    QTest::newRow("connected, switched off: receive mode 0") << 2 << true << 0;
    QTest::newRow("connected, switched on: receive mode 2") << 2 << false << 2;
    QTest::newRow("still connecting counts as open") << 1 << true << 0;
}

void TestConnectionSession::autoReceiveReconnectsAnOpenConnection()
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

void TestConnectionSession::autoReceiveWhileDisconnectedOnlyStores()
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

void TestConnectionSession::failedReconnectIsReported()
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

void TestConnectionSession::autoDeleteReachesTheModemAtOnce_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("on");
    QTest::newRow("connected, switched on") << true << true;
    QTest::newRow("connected, switched off") << true << false;
    QTest::newRow("disconnected, switched on") << false << true;
}

void TestConnectionSession::autoDeleteReachesTheModemAtOnce()
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

void TestConnectionSession::signalReadRightAfterConnect_data()
{
    QTest::addColumn<bool>("checkSignal");
    QTest::newRow("signal check on: first reading at once") << true;
    QTest::newRow("signal check off: no reading") << false;
}

void TestConnectionSession::signalReadRightAfterConnect()
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

void TestConnectionSession::statusDisplayErrorDoesNotFailTheConnect()
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

void TestConnectionSession::unloadClosesTheConnection()
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

void TestConnectionSession::endToEndOnTheVirtualModem()
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
void TestConnectionSession::unwritableTraceIsReportedOnce()
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

QTEST_MAIN(TestConnectionSession)
#include "tst_connectionsession.moc"
