// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpservice.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// What `cmake --install` puts under a prefix: the program, its help in share/vendrel, and the
// desktop integration, such that the installed program finds its help as the built one does.
class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void installedHelpIsTheBuiltOne();
    void installedProgramFindsItsHelp();
    void desktopEntry();
    void desktopEntryValidates();
    void metainfoValidates();
    void icons_data();
    void icons();

private:
    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }
    QTemporaryDir m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(PELLIX_CMAKE_COMMAND),
                {QStringLiteral("--install"), QStringLiteral(PELLIX_BUILD_DIR), QStringLiteral("--prefix"), m_prefix.path()});
    QVERIFY(cmake.waitForFinished(120000));
    QVERIFY2(cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0, cmake.readAll().constData());
}

void TestInstall::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("program") << QStringLiteral("bin/Vendrel") << true;
    QTest::newRow("help in the program's data folder") << QStringLiteral("share/vendrel/Pellix.CHM") << false;
    QTest::newRow("menu entry") << QStringLiteral("share/applications/vendrel.desktop") << false;
    QTest::newRow("icon 256") << QStringLiteral("share/icons/hicolor/256x256/apps/vendrel.png") << false;
    QTest::newRow("icon scalable") << QStringLiteral("share/icons/hicolor/scalable/apps/vendrel.svg") << false;
}

void TestInstall::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    QVERIFY(info.size() > 0);
    QCOMPARE(info.isExecutable(), executable);
}

void TestInstall::installedHelpIsTheBuiltOne()
{
    QFile built(QStringLiteral(PELLIX_BUILD_DIR "/Doc/Pellix.CHM"));
    QFile copy(installed(QStringLiteral("share/vendrel/Pellix.CHM")));
    QVERIFY(built.open(QIODevice::ReadOnly));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY(built.readAll() == copy.readAll());
}

void TestInstall::installedProgramFindsItsHelp()
{
    const QString found = HelpService::locateHelpFile(installed(QStringLiteral("bin")));
    QVERIFY2(QFileInfo(found).isFile(), qPrintable(found));
    QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(installed(QStringLiteral("share/vendrel/Pellix.CHM"))).canonicalFilePath());
}

void TestInstall::desktopEntry()
{
    QFile file(installed(QStringLiteral("share/applications/vendrel.desktop")));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QHash<QString, QString> keys;
    for (const QString &line : lines.mid(1)) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        QVERIFY2(equals > 0, qPrintable(line));
        keys.insert(line.left(equals), line.mid(equals + 1));
    }
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Pellix Test utility"));
    QCOMPARE(keys.value(QStringLiteral("Exec")), QStringLiteral("Vendrel"));
    QCOMPARE(keys.value(QStringLiteral("Icon")), QStringLiteral("vendrel"));
    QCOMPARE(keys.value(QStringLiteral("Categories")), QStringLiteral("Utility;Development;"));
    // The command and the icon name what was installed beside the entry.
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + keys.value(QStringLiteral("Exec")))).isExecutable());
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/icons/hicolor/256x256/apps/") + keys.value(QStringLiteral("Icon"))
                                        + QStringLiteral(".png"))));
}

void TestInstall::desktopEntryValidates()
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {installed(QStringLiteral("share/applications/vendrel.desktop"))});
    QVERIFY(validate.waitForFinished(30000));
    const QByteArray output = validate.readAll();
    QVERIFY2(validate.exitCode() == 0, output.constData());
    // Hints are allowed (two main categories are asked for); errors and warnings are not.
    QVERIFY2(!output.contains("error:") && !output.contains("warning:"), output.constData());
}

void TestInstall::metainfoValidates()
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (validator.isEmpty())
        QSKIP("appstreamcli (appstream) is not installed");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                               installed(QStringLiteral("share/metainfo/example.pellix.vendrel.metainfo.xml"))});
    QVERIFY(validate.waitForFinished(30000));
    const QByteArray output = validate.readAll();
    // Infos are allowed (the vendor's domain is not a known one); errors and warnings are not.
    QVERIFY2(validate.exitCode() == 0, output.constData());
    for (const QByteArray &line : output.split('\n'))
        QVERIFY2(!line.startsWith("E: ") && !line.startsWith("W: "), line.constData());
}

void TestInstall::icons_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("png") << QStringLiteral("share/icons/hicolor/256x256/apps/vendrel.png") << QSize(256, 256);
    QTest::newRow("png 48") << QStringLiteral("share/icons/hicolor/48x48/apps/vendrel.png") << QSize(48, 48);
}

void TestInstall::icons()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage icon(installed(path));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), size);
    QVERIFY(icon.hasAlphaChannel());
    // Drawn, not blank: the corner is transparent, the middle of the handset is not.
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(size.width() * 11 / 32, size.height() * 13 / 32)), 255);

    QFile svg(installed(QStringLiteral("share/icons/hicolor/scalable/apps/vendrel.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg") && text.contains("viewBox=\"0 0 32 32\""));
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
