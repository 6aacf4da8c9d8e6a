// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "reportlistbox.h"
#include "reportlog.h"
#include "signalmonitor.h"
#include "vendrelconsole.h"

#include <QCheckBox>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Stamp = QStringLiteral("12:00:00  ");
const QString TooLowTail = QStringLiteral("; required value for RSSI is [11..31])");

struct Rig : ConsoleRig<>
{
    explicit Rig(const QString &storedCheck = QString())
    {
        Setup setup;
        if (!storedCheck.isNull())
            setup.stored.insert(QStringLiteral("CheckGSMSignal"), storedCheck);
        build(std::move(setup));
        console->reportLog().setClock([] { return QTime(12, 0); });
    }

    SignalMonitor &monitor() const { return *console->signalMonitor(); }
    int readingsFrom(int first) const
    {
        int n = 0;
        for (const QString &line : linesFrom(first))
            n += line.startsWith(Stamp + QStringLiteral("GSM signal ")) ? 1 : 0;
        return n;
    }
};

} // namespace

class TestSignalMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readingLine_data();
    void readingLine();
    void nothingUnlessConnected_data();
    void nothingUnlessConnected();
    void failuresArePassedOver_data();
    void failuresArePassedOver();
    void switchingTheBox_data();
    void switchingTheBox();
    void storedSettingStartsTheTimer();
    void ticksReadUntilSwitchedOff();
    void disconnectLeavesTheTimerRunningSilently();
};

void TestSignalMonitor::readingLine_data()
{
    QTest::addColumn<int>("rssi");
    QTest::addColumn<int>("ber");
    QTest::addColumn<bool>("sufficient");
    QTest::addColumn<QString>("line");

    QTest::newRow("sufficient") << 18 << 0 << true << QStringLiteral("GSM signal OK  (RSSI=18, BER=0)");
    QTest::newRow("too low") << 7 << 99 << false << QStringLiteral("GSM signal too low  (RSSI=7, BER=99") + TooLowTail;
    // The judgement is the library's; the stated range does not follow the values.
    QTest::newRow("judged low inside the range") << 31 << 3 << false << QStringLiteral("GSM signal too low  (RSSI=31, BER=3") + TooLowTail;
    QTest::newRow("judged sufficient outside it") << 99 << 99 << true << QStringLiteral("GSM signal OK  (RSSI=99, BER=99)");
}

void TestSignalMonitor::readingLine()
{
    QFETCH(int, rssi);
    QFETCH(int, ber);
    QFETCH(bool, sufficient);
    QFETCH(QString, line);

    Rig rig;
    rig.modem->setStatus(2, QStringLiteral("Ready"));
    rig.modem->rssi = qint16(rssi);
    rig.modem->ber = qint16(ber);
    rig.modem->signalSufficient = sufficient;
    const int first = rig.lineCount();
    rig.monitor().TimerGSMSignal_Timer();
    QCOMPARE(rig.linesFrom(first), QStringList{Stamp + line});
}

void TestSignalMonitor::nothingUnlessConnected_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("disconnected") << 0;
    QTest::newRow("connecting") << 1;
    QTest::newRow("an undefined status") << 7;
}

void TestSignalMonitor::nothingUnlessConnected()
{
    QFETCH(int, status);
    Rig rig;
    rig.modem->setStatus(status, QStringLiteral("x"));
    rig.modem->clearCalls();
    const int first = rig.lineCount();
    rig.monitor().TimerGSMSignal_Timer();
    QCOMPARE(rig.lineCount(), first);
    QCOMPARE(rig.modem->members(), QStringList{QStringLiteral("Status")});
}

void TestSignalMonitor::failuresArePassedOver_data()
{
    QTest::addColumn<bool>("statusFails");
    QTest::addColumn<bool>("readingFails");
    QTest::addColumn<QString>("line");

    QTest::newRow("status unreadable: read as if connected")
        << true << false << QStringLiteral("GSM signal OK  (RSSI=18, BER=0)");
    QTest::newRow("reading fails: too low with zeros")
        << false << true << QStringLiteral("GSM signal too low  (RSSI=0, BER=0") + TooLowTail;
    QTest::newRow("both fail") << true << true << QStringLiteral("GSM signal too low  (RSSI=0, BER=0") + TooLowTail;
}

void TestSignalMonitor::failuresArePassedOver()
{
    QFETCH(bool, statusFails);
    QFETCH(bool, readingFails);
    QFETCH(QString, line);

    Rig rig;
    // Disconnected as far as the fake goes: only a failed status read lets the reading happen.
    rig.modem->status = statusFails ? 0 : 2;
    const RaisedError lost(qint32(0x80040005), QStringLiteral("Pellix"), QStringLiteral("Connection lost"));
    if (statusFails)
        rig.modem->raiseOn(QStringLiteral("Status"), lost);
    if (readingFails)
        rig.modem->raiseOn(QStringLiteral("GetSignalQuality"), lost);
    const int first = rig.lineCount();
    rig.monitor().TimerGSMSignal_Timer();
    QCOMPARE(rig.linesFrom(first), QStringList{Stamp + line});
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestSignalMonitor::switchingTheBox_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("readings");
    QTest::newRow("on while connected: a reading at once") << true << true << 1;
    QTest::newRow("on while disconnected: nothing logged") << false << true << 0;
    QTest::newRow("off while connected: no reading") << true << false << 0;
}

void TestSignalMonitor::switchingTheBox()
{
    QFETCH(bool, connected);
    QFETCH(bool, on);
    QFETCH(int, readings);

    Rig rig;
    frmVendrel &v = rig.view();
    v.chkGSMSignal->setChecked(!on);
    if (connected)
        rig.modem->setStatus(2, QStringLiteral("Ready"));
    rig.modem->clearCalls();
    const int first = rig.lineCount();

    v.chkGSMSignal->setChecked(on);
    QCOMPARE(rig.console->settings().CheckGSMSignal, qint16(on ? -1 : 0));
    QCOMPARE(v.TimerGSMSignal->isActive(), on);
    QCOMPARE(rig.readingsFrom(first), readings);
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), readings);
}

void TestSignalMonitor::storedSettingStartsTheTimer()
{
    Rig rig(QStringLiteral("-1"));
    frmVendrel &v = rig.view();
    QVERIFY(v.chkGSMSignal->isChecked());
    QVERIFY(v.TimerGSMSignal->isActive());
    QCOMPARE(v.TimerGSMSignal->interval(), SignalMonitor::TimerInterval);
    QCOMPARE(SignalMonitor::TimerInterval, 10000);
    // Not connected at start-up: the first poll wrote nothing.
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), 0);
}

void TestSignalMonitor::ticksReadUntilSwitchedOff()
{
    Rig rig;
    frmVendrel &v = rig.view();
    rig.monitor().setTimerInterval(20);
    rig.modem->setStatus(2, QStringLiteral("Ready"));
    const int first = rig.lineCount();
    v.chkGSMSignal->setChecked(true);
    QCOMPARE(rig.readingsFrom(first), 1);
    QTRY_VERIFY(rig.readingsFrom(first) >= 4);

    v.chkGSMSignal->setChecked(false);
    const int stopped = rig.readingsFrom(first);
    QTest::qWait(120);
    QCOMPARE(rig.readingsFrom(first), stopped);

    // On again: a reading at once, without waiting for a tick.
    rig.monitor().setTimerInterval(60000);
    v.chkGSMSignal->setChecked(true);
    QCOMPARE(rig.readingsFrom(first), stopped + 1);
}

void TestSignalMonitor::disconnectLeavesTheTimerRunningSilently()
{
    Rig rig;
    frmVendrel &v = rig.view();
    rig.monitor().setTimerInterval(20);
    rig.modem->setStatus(2, QStringLiteral("Ready"));
    v.chkGSMSignal->setChecked(true);
    rig.modem->setStatus(0, QStringLiteral("Disconnected"));
    const int first = rig.lineCount();
    rig.modem->clearCalls();
    QTRY_VERIFY(rig.modem->count(QStringLiteral("Status")) >= 3);
    QVERIFY(v.TimerGSMSignal->isActive());
    QCOMPARE(rig.readingsFrom(first), 0);
    QCOMPARE(rig.modem->count(QStringLiteral("GetSignalQuality")), 0);
}

QTEST_MAIN(TestSignalMonitor)
#include "tst_signalmonitor.moc"
