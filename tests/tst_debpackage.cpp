// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpservice.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// `cpack -G DEB` in the build folder: what the package installs under /usr, that the console finds
// its help there, and what it depends on.
class TestDebPackage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void nothingOutsideTheProgramAndDataFolders();
    void installedProgramFindsItsHelp();
    void controlFields_data();
    void controlFields();
    void relations_data();
    void relations();
    void everyProgramHasItsManualPage();
    void changelogNamesThisVersion();
    void lintianFindsNoErrorOrWarning();

private:
    static QByteArray run(const QString &program, const QStringList &arguments, const QString &folder = QString());
    QString field(const QString &name) const;

    QTemporaryDir m_out;
    QTemporaryDir m_root; // the package unpacked, as dpkg would put it under /
    QString m_deb;
    QStringList m_files;  // "usr/bin/Vendrel": the regular files and links the package holds
};

QByteArray TestDebPackage::run(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(QLatin1Char(' '))),
                 (process.readAllStandardOutput() + process.readAllStandardError()).constData());
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

void TestDebPackage::initTestCase()
{
    QVERIFY(m_out.isValid() && m_root.isValid());
    QVERIFY(!run(QStringLiteral(PELLIX_CPACK_COMMAND), {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), m_out.path()},
                 QStringLiteral(PELLIX_BUILD_DIR))
                 .isEmpty());
    const QStringList debs = QDir(m_out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = m_out.filePath(debs.first());

    // "-rwxr-xr-x root/root 1146272 2026-01-01 08:55 ./usr/bin/Vendrel": the mode, then the path last.
    const QByteArray listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
    for (const QByteArray &line : listing.split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('l')))
            m_files << text.section(QLatin1String(" ./"), 1, -1).section(QLatin1String(" -> "), 0, 0);
    }
    QVERIFY(!m_files.isEmpty());
    run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root.path()});
}

QString TestDebPackage::field(const QString &name) const
{
    return QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, name})).trimmed();
}

void TestDebPackage::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("the console") << QStringLiteral("usr/bin/Vendrel") << true;
    QTest::newRow("the command line") << QStringLiteral("usr/bin/pellix") << true;
    QTest::newRow("the virtual modem on a terminal, for replaying traces")
        << QStringLiteral("usr/bin/pellix-modemsim") << true;
    QTest::newRow("the help") << QStringLiteral("usr/share/vendrel/Pellix.CHM") << false;
    QTest::newRow("menu entry") << QStringLiteral("usr/share/applications/vendrel.desktop") << false;
    QTest::newRow("icon 256") << QStringLiteral("usr/share/icons/hicolor/256x256/apps/vendrel.png") << false;
    QTest::newRow("icon scalable") << QStringLiteral("usr/share/icons/hicolor/scalable/apps/vendrel.svg") << false;
    QTest::newRow("icon 48") << QStringLiteral("usr/share/icons/hicolor/48x48/apps/vendrel.png") << false;
    QTest::newRow("software centre metadata") << QStringLiteral("usr/share/metainfo/example.pellix.vendrel.metainfo.xml") << false;
    QTest::newRow("bash completion of pellix") << QStringLiteral("usr/share/bash-completion/completions/pellix") << false;
    QTest::newRow("licence") << QStringLiteral("usr/share/doc/vendrel/copyright") << false;
    QTest::newRow("changelog") << QStringLiteral("usr/share/doc/vendrel/changelog.gz") << false;
    QTest::newRow("notes for Debian") << QStringLiteral("usr/share/doc/vendrel/README.Debian") << false;
    QTest::newRow("the exporter as a service") << QStringLiteral("usr/lib/systemd/system/pellix-exporter.service") << false;
    QTest::newRow("the service's options")
        << QStringLiteral("usr/share/doc/vendrel/examples/pellix-exporter.default") << false;
    QTest::newRow("scrape job") << QStringLiteral("usr/share/doc/vendrel/examples/prometheus-pellix.yml") << false;
    QTest::newRow("alert rules") << QStringLiteral("usr/share/doc/vendrel/examples/pellix-alerts.yml") << false;
}

void TestDebPackage::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    QVERIFY2(m_files.contains(path), qPrintable(m_files.join(QLatin1Char('\n'))));
    const QFileInfo unpacked(m_root.filePath(path));
    QVERIFY(unpacked.isFile() && unpacked.size() > 0);
    QCOMPARE(unpacked.isExecutable(), executable);
}

void TestDebPackage::nothingOutsideTheProgramAndDataFolders()
{
    // Not /usr/Doc (no Debian folder), nothing of the build tree, nothing under /tmp; of /usr/lib
    // only systemd's units (the programs link their libraries statically).
    for (const QString &file : std::as_const(m_files))
        QVERIFY2(file.startsWith(QLatin1String("usr/bin/")) || file.startsWith(QLatin1String("usr/share/"))
                     || file.startsWith(QLatin1String("usr/lib/systemd/system/")),
                 qPrintable(file));
}

void TestDebPackage::installedProgramFindsItsHelp()
{
    const QString found = HelpService::locateHelpFile(m_root.filePath(QStringLiteral("usr/bin")));
    QCOMPARE(QFileInfo(found).canonicalFilePath(),
             QFileInfo(m_root.filePath(QStringLiteral("usr/share/vendrel/Pellix.CHM"))).canonicalFilePath());
}

void TestDebPackage::controlFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("name") << QStringLiteral("Package") << QStringLiteral("vendrel");
    QTest::newRow("the project's version") << QStringLiteral("Version") << QStringLiteral(PELLIX_VERSION);
    QTest::newRow("the machine's architecture")
        << QStringLiteral("Architecture")
        << QString::fromUtf8(run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")})).trimmed();
    QTest::newRow("section") << QStringLiteral("Section") << QStringLiteral("comm");
}

void TestDebPackage::controlFields()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QVERIFY(!value.isEmpty());
    QCOMPARE(field(name), value);
}

void TestDebPackage::relations_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("package");
    // The libraries as dpkg-shlibdeps names them (a "t64" suffix on newer releases).
    QTest::newRow("Qt core") << QStringLiteral("Depends") << QStringLiteral("libqt6core6");
    QTest::newRow("Qt widgets") << QStringLiteral("Depends") << QStringLiteral("libqt6widgets6");
    QTest::newRow("Qt serial port") << QStringLiteral("Depends") << QStringLiteral("libqt6serialport6");
    QTest::newRow("the help viewer every help button starts") << QStringLiteral("Depends") << QStringLiteral("xchm");
    QTest::newRow("the desktop's opener") << QStringLiteral("Recommends") << QStringLiteral("xdg-utils");
}

void TestDebPackage::relations()
{
    QFETCH(QString, name);
    QFETCH(QString, package);
    // "xchm, libc6 (>= 2.34), libqt6core6 (>= 6.4.0)": the names without their versions.
    QStringList names;
    for (const QString &relation : field(name).split(QLatin1Char(',')))
        names << relation.section(QLatin1Char('('), 0, 0).trimmed();
    QVERIFY2(names.contains(package) || names.contains(package + QStringLiteral("t64")), qPrintable(names.join(QStringLiteral(", "))));
}

void TestDebPackage::everyProgramHasItsManualPage()
{
    const QStringList programs = m_files.filter(QRegularExpression(QStringLiteral("^usr/bin/[^/]+$")));
    QVERIFY(programs.size() >= 3);
    for (const QString &program : programs) {
        const QString name = program.section(QLatin1Char('/'), -1);
        const QString page = QStringLiteral("usr/share/man/man1/%1.1.gz").arg(name);
        QVERIFY2(m_files.contains(page), qPrintable(page));
        // The page is the program's own --help: the commands and options it names are there.
        const QByteArray text = run(QStringLiteral("zcat"), {m_root.filePath(page)});
        QVERIFY2(text.contains(".SH OPTIONS") && text.contains("\\-\\-help"), qPrintable(page));
        if (name == QLatin1String("pellix")) {
            for (const char *part : {".SH COMMANDS", ".SS send", ".SS at", "\\-\\-wait\\-report", ".SH \"EXIT STATUS\""})
                QVERIFY2(text.contains(part), part);
        }
    }
}

void TestDebPackage::changelogNamesThisVersion()
{
    // "vendrel (2.6.0) unstable; urgency=medium": a new version needs its entry.
    const QByteArray changelog = run(QStringLiteral("zcat"), {m_root.filePath(QStringLiteral("usr/share/doc/vendrel/changelog.gz"))});
    QVERIFY2(changelog.startsWith("vendrel (" PELLIX_VERSION ") "), changelog.left(80).constData());
}

void TestDebPackage::lintianFindsNoErrorOrWarning()
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        QSKIP("lintian is not installed (scripts/prepare installs it)");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(lintian, {QStringLiteral("--fail-on"), QStringLiteral("error,warning"), QStringLiteral("--tag-display-limit"), QStringLiteral("0"), m_deb});
    QVERIFY(process.waitForFinished(240000));
    const QByteArray said = process.readAll();
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, said.constData());
    for (const QByteArray &line : said.split('\n'))
        QVERIFY2(!line.startsWith("E: ") && !line.startsWith("W: "), line.constData());
}

QTEST_GUILESS_MAIN(TestDebPackage)
#include "tst_debpackage.moc"
