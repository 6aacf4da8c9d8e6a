// SPDX-License-Identifier: GPL-3.0-or-later
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// Every program answers --help and --version on stdout with exit status 0, and does nothing else:
// no window (there is no display to open one on), no terminal, no modem.
class TestProgramOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void refusesAWordItDoesNotTake_data();
    void refusesAWordItDoesNotTake();
};

void TestProgramOptions::answers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("start");
    const QString version = QStringLiteral(" " PELLIX_VERSION "\n");
    const QStringList programs = {QStringLiteral(PELLIX_VENDREL), QStringLiteral(PELLIX_CLI), QStringLiteral(PELLIX_MODEMSIM),
                                  QStringLiteral(PELLIX_PDUDUMP)};
    for (const QString &program : programs) {
        const QString name = program.section(QLatin1Char('/'), -1);
        QTest::addRow("%s --help", qPrintable(name)) << program << QStringLiteral("--help") << QStringLiteral("Usage: ");
        QTest::addRow("%s --version", qPrintable(name)) << program << QStringLiteral("--version") << name + version;
    }
}

void TestProgramOptions::answers()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(QString, start);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(display));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, {option});
    // A program that went on to serve a terminal or show a window would still be running.
    QVERIFY(process.waitForFinished(10000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, err.constData());
    QVERIFY2(err.isEmpty(), err.constData());
    QVERIFY2(out.startsWith(start), qPrintable(out));
}

void TestProgramOptions::refusesAWordItDoesNotTake_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    // "pellix-modemsim Pellix.log" meant a replay; serving the simulation instead would answer the
    // support engineer with a modem that never was the operator's.
    QTest::newRow("pellix-modemsim FILE") << QStringLiteral(PELLIX_MODEMSIM) << QStringList{QStringLiteral("Pellix.log")};
    for (const QStringList &wrong : {QStringList{QStringLiteral("--registration"), QStringLiteral("nowhere")},
                                     QStringList{QStringLiteral("--ussd"), QStringLiteral("loud")},
                                     QStringList{QStringLiteral("--pin-attempts"), QStringLiteral("7")},
                                     QStringList{QStringLiteral("--own-number"), QStringLiteral("+39abc")},
                                     QStringList{QStringLiteral("--imei"), QStringLiteral("35792006148262")},
                                     QStringList{QStringLiteral("--imei"), QStringLiteral("35792006148262x")}})
        QTest::addRow("pellix-modemsim %s", qPrintable(wrong.join(QLatin1Char(' ')))) << QStringLiteral(PELLIX_MODEMSIM) << wrong;
}

void TestProgramOptions::refusesAWordItDoesNotTake()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(5000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    QVERIFY2(finished, "still running: the word was ignored");
    QVERIFY(process.exitCode() != 0);
    const QString said = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(said.contains(arguments.last()), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestProgramOptions)
#include "tst_programoptions.moc"
