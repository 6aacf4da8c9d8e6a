// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "raisederror.h"
#include "reportlistbox.h"
#include "reportlog.h"

#include <QPushButton>
#include <QTest>

namespace {

struct Rig
{
    FakeDialogs dialogs;
    FakeDesktop desktop;
    ModUtils utils{dialogs, desktop};
    frmVendrel view;
    ReportLog log{view, utils};
    QTime now{14, 5, 9};

    Rig()
    {
        log.setClock([this] { return now; });
    }

    ReportListBox &list() { return *view.lstReport; }
    QString last() { return list().item(list().count() - 1); }
};

} // namespace

class TestReportLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeStamp_data();
    void timeStamp();
    void lineBreaks_data();
    void lineBreaks();
    void appendsAndSelectsTheNewestLine();
    void libraryErrorRange_data();
    void libraryErrorRange();
    void reportErrorLineAndBox_data();
    void reportErrorLineAndBox();
    void clearThenOneLine();
    void capKeepsTheNewestSelectedAndVisible();
    void newestVisibleWithoutTheEventLoop_data();
    void newestVisibleWithoutTheEventLoop();
};

void TestReportLog::timeStamp_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("line");
    QTest::newRow("afternoon") << QTime(14, 5, 9) << QStringLiteral("14:05:09  Modem status=Disconnected");
    QTest::newRow("midnight, two digits each") << QTime(0, 0, 0) << QStringLiteral("00:00:00  Modem status=Disconnected");
    QTest::newRow("24-hour clock") << QTime(23, 59, 59, 999) << QStringLiteral("23:59:59  Modem status=Disconnected");
}

void TestReportLog::timeStamp()
{
    QFETCH(QTime, time);
    QFETCH(QString, line);
    Rig rig;
    rig.now = time;
    rig.log.AddReport(QStringLiteral("Modem status=Disconnected"));
    QCOMPARE(rig.last(), line);
}

void TestReportLog::lineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR LF then LF become blanks") << QStringLiteral("a\r\nb\nc") << QStringLiteral("a b c");
    QTest::newRow("lone CR stays") << QStringLiteral("a\rb") << QStringLiteral("a\rb");
    QTest::newRow("CR before CR LF") << QStringLiteral("a\r\r\nb") << QStringLiteral("a\r b");
    QTest::newRow("LF CR: the LF goes, the CR stays") << QStringLiteral("a\n\rb") << QStringLiteral("a \rb");
    QTest::newRow("trailing break") << QStringLiteral("end\r\n") << QStringLiteral("end ");
    QTest::newRow("empty text: time and two blanks") << QString() << QString();
}

void TestReportLog::lineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    Rig rig;
    rig.log.AddReport(text);
    QCOMPARE(rig.last(), QStringLiteral("14:05:09  ") + shown);
}

void TestReportLog::appendsAndSelectsTheNewestLine()
{
    Rig rig;
    const int welcome = rig.list().count();
    rig.log.AddReport(QStringLiteral("first"));
    rig.now = rig.now.addSecs(1);
    rig.log.AddReport(QStringLiteral("second"));
    QCOMPARE(rig.list().count(), welcome + 2);
    QCOMPARE(rig.list().item(welcome), QStringLiteral("14:05:09  first"));
    QCOMPARE(rig.list().item(welcome + 1), QStringLiteral("14:05:10  second"));
    QCOMPARE(rig.list().listIndex(), welcome + 1);
    const QModelIndexList selected = rig.list().selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), welcome + 1);
}

void TestReportLog::libraryErrorRange_data()
{
    QTest::addColumn<quint32>("number");
    QTest::addColumn<bool>("library");
    QTest::addColumn<qint32>("code");
    QTest::newRow("first of the range") << 0x80040000u << true << 0;
    QTest::newRow("last of the range") << 0x8004FFFFu << true << 65535;
    QTest::newRow("a library code") << 0x80040005u << true << 5;
    QTest::newRow("just below") << 0x8003FFFFu << false << qint32(0x8003FFFFu);
    QTest::newRow("just above") << 0x80050000u << false << qint32(0x80050000u);
    QTest::newRow("a system failure") << quint32(-2147467259) << false << -2147467259;
    QTest::newRow("the console's own") << 440u << false << 440;
    QTest::newRow("positive look-alike of the range") << 0x00040005u << false << 0x00040005;
}

void TestReportLog::libraryErrorRange()
{
    QFETCH(quint32, number);
    QFETCH(bool, library);
    QFETCH(qint32, code);
    QCOMPARE(ReportLog::IsLibraryError(qint32(number)), library);
    QCOMPARE(ReportLog::errorCode(qint32(number)), code);
}

void TestReportLog::reportErrorLineAndBox_data()
{
    QTest::addColumn<quint32>("number");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("heading");
    QTest::newRow("library timeout") << 0x80040005u << QStringLiteral("X") << QStringLiteral("Timeout")
                                     << QStringLiteral("Error #5 from X");
    QTest::newRow("outside the range keeps its number")
        << quint32(-2147467259) << QStringLiteral("Pellix") << QStringLiteral("Unspecified failure")
        << QStringLiteral("Error #-2147467259 from Pellix");
    QTest::newRow("console's own") << 13u << QStringLiteral("Vendrel") << QStringLiteral("Type mismatch")
                                   << QStringLiteral("Error #13 from Vendrel");
    QTest::newRow("description with a line break")
        << 0x800407D4u << QStringLiteral("Pellix") << QStringLiteral("SIM busy\r\nretry") << QStringLiteral("Error #2004 from Pellix");
}

void TestReportLog::reportErrorLineAndBox()
{
    QFETCH(quint32, number);
    QFETCH(QString, source);
    QFETCH(QString, description);
    QFETCH(QString, heading);
    Rig rig;
    int linesWhenBoxOpened = -1;
    rig.dialogs.whileOpen = [&](const FakeDialogs::Asked &) { linesWhenBoxOpened = rig.list().count(); };
    const RaisedError error(qint32(number), source, description);
    rig.log.ReportError(error);

    QString line = QStringLiteral("14:05:09  ") + heading + QStringLiteral(": ") + description;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    QCOMPARE(rig.last(), line);
    QCOMPARE(rig.dialogs.asked().size(), 1);
    const FakeDialogs::Asked box = rig.dialogs.last();
    QCOMPARE(box.kind, FakeDialogs::Kind::Message);
    QCOMPARE(box.text, description);
    QCOMPARE(box.style, 48);
    QCOMPARE(box.title, heading);
    // The line is in the list before the box is shown.
    QCOMPARE(linesWhenBoxOpened, rig.list().count());
}

void TestReportLog::clearThenOneLine()
{
    Rig rig;
    rig.log.AddReport(QStringLiteral("before"));
    QTest::mouseClick(rig.view.cmdClear, Qt::LeftButton);
    QCOMPARE(rig.list().count(), 0);
    QCOMPARE(rig.list().listIndex(), -1);
    rig.log.AddReport(QStringLiteral("after"));
    QCOMPARE(rig.list().count(), 1);
    QCOMPARE(rig.list().item(0), QStringLiteral("14:05:09  after"));
    QCOMPARE(rig.list().listIndex(), 0);
}

void TestReportLog::capKeepsTheNewestSelectedAndVisible()
{
    Rig rig;
    rig.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
    rig.log.cmdClear_Click();
    const int total = ReportListBox::MaxLines + 100;
    for (int i = 0; i < total; ++i)
        rig.log.AddReport(QString::number(i));
    QCoreApplication::processEvents();

    ReportListBox &list = rig.list();
    QVERIFY(list.count() <= ReportListBox::MaxLines);
    QVERIFY(list.count() > ReportListBox::MaxLines - ReportListBox::DropBlock);
    QCOMPARE(rig.last(), QStringLiteral("14:05:09  ") + QString::number(total - 1));
    // The oldest went, in order.
    QCOMPARE(list.item(0), QStringLiteral("14:05:09  ") + QString::number(total - list.count()));
    QCOMPARE(list.listIndex(), list.count() - 1);
    const QRect newest = list.visualRect(list.model()->index(list.count() - 1, 0));
    QVERIFY(list.viewport()->rect().contains(newest));
}

void TestReportLog::newestVisibleWithoutTheEventLoop_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("one line") << 1;
    QTest::newRow("a few lines") << 5;
    QTest::newRow("many lines") << 500;
}

void TestReportLog::newestVisibleWithoutTheEventLoop()
{
    // A blocking library call (Connect) adds lines and repaints with no pass of the event loop in
    // between: each repaint must already show the newest line.
    QFETCH(int, lines);
    Rig rig;
    rig.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
    ReportListBox &list = rig.list();
    for (int i = 0; i < lines; ++i) {
        rig.log.AddReport(QStringLiteral("Modem status=CONNECTING... %1").arg(i));
        const int newest = list.count() - 1;
        QCOMPARE(list.listIndex(), newest);
        const QRect rect = list.visualRect(list.model()->index(newest, 0));
        QVERIFY2(list.viewport()->rect().contains(rect), qPrintable(QStringLiteral("line %1").arg(i)));
    }
}

QTEST_MAIN(TestReportLog)
#include "tst_reportlog.moc"
