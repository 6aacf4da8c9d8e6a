// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtsettingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString App = QStringLiteral("Pellix");
const QString Section = QStringLiteral("Vendrel");

} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;
    QString m_file;

    void writeFile(const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(m_file).path());
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contents);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // QSettings settles its folders on first use: the temporary one must be in place before.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        m_file = m_config.path() + QStringLiteral("/Pellix/Pellix.conf");
    }

    void cleanup()
    {
        QFile::remove(m_file);
        QDir(m_config.path() + QStringLiteral("/Pellix")).removeRecursively();
    }

    void storeLivesInTheConfigFolder()
    {
        QCOMPARE(QtSettingsStore::fileName(App), m_file);
        QtSettingsStore store;
        QVERIFY(store.write(App, Section, QStringLiteral("ModemType"), QStringLiteral("-1")));
        QVERIFY(QFile::exists(m_file));
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(QStringLiteral("[Vendrel]\nModemType=-1\n")), qPrintable(text));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("true boolean") << "-1";
        QTest::newRow("false boolean") << "0";
        QTest::newRow("empty text") << "";
        QTest::newRow("default recent numbers") << "+";
        QTest::newRow("recent numbers with commas") << "+391,Anna: +392,,+393";
        QTest::newRow("blanks around commas") << "Rossi, Mario: 1 , +2";
        QTest::newRow("leading and trailing blanks") << "  Hi  ";
        QTest::newRow("semicolon") << "a;b";
        QTest::newRow("quotes and backslash") << "say \"hi\" \\ there";
        QTest::newRow("line breaks") << "Hi, this is a test message\r\nsecond line\n";
        QTest::newRow("at sign first") << "@Variant(x)";
        QTest::newRow("equals sign") << "a=b";
        QTest::newRow("non-Latin text") << QString::fromUtf8("Привет, 你好 ☺");
        QTest::newRow("hash first") << "#not a comment";
        QTest::newRow("brackets") << "[Vendrel]";
    }
    void roundTrip()
    {
        QFETCH(QString, value);
        QtSettingsStore store;
        QVERIFY(store.write(App, Section, QStringLiteral("MessageText"), value));
        QCOMPARE(store.read(App, Section, QStringLiteral("MessageText")), std::optional<QString>(value));
        // Through a fresh reader of the file too, not only QSettings' cache.
        QSettings again(m_file, QSettings::IniFormat);
        QCOMPARE(again.value(Section + QStringLiteral("/MessageText")).toString(), value);
    }

    void absentKeyIsNothing()
    {
        QtSettingsStore store;
        QCOMPARE(store.read(App, Section, QStringLiteral("RecentPhones")), std::nullopt);
        QVERIFY(store.write(App, Section, QStringLiteral("ModemType"), QStringLiteral("40")));
        QCOMPARE(store.read(App, Section, QStringLiteral("RecentPhones")), std::nullopt);
        QCOMPARE(store.read(App, QStringLiteral("Other"), QStringLiteral("ModemType")), std::nullopt);
        QCOMPARE(store.read(App, Section, QStringLiteral("modemtype")), std::nullopt);
        QCOMPARE(store.read(App, Section, QStringLiteral("ModemType")), std::optional<QString>(QStringLiteral("40")));
    }

    void handEditedValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("unquoted commas") << QByteArray("RecentPhones=+391,+392") << "+391,+392";
        QTest::newRow("blanks around unquoted commas kept") << QByteArray("RecentPhones=Rossi, Mario: 1 , +392")
                                                          << "Rossi, Mario: 1 , +392";
        QTest::newRow("empty pieces") << QByteArray("RecentPhones=+391,,+392,") << "+391,,+392,";
        QTest::newRow("comma alone") << QByteArray("RecentPhones=,") << ",";
        QTest::newRow("quoted piece among unquoted") << QByteArray("RecentPhones=\"Rossi, M: 1\",+392")
                                                   << "Rossi, M: 1,+392";
        QTest::newRow("blanks around the value dropped") << QByteArray("RecentPhones=  +391 ,+392  ") << "+391 ,+392";
        QTest::newRow("escaped quote in a list") << QByteArray("RecentPhones=a\\\"b,c") << "a\"b,c";
        QTest::newRow("plain number") << QByteArray("RecentPhones=1") << "1";
        QTest::newRow("quoted whole") << QByteArray("RecentPhones=\"a, b\"") << "a, b";
        QTest::newRow("typed value") << QByteArray("RecentPhones=@Rect(1 2 3 4)") << "@Rect(1 2 3 4)";
    }
    void handEditedValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        writeFile("[Other]\nRecentPhones=wrong,section\n\n[Vendrel]\nModemType=-1\n" + line + "\nCommPort=3\n");
        QtSettingsStore store;
        QCOMPARE(store.read(App, Section, QStringLiteral("RecentPhones")), std::optional<QString>(value));
        QCOMPARE(store.read(App, Section, QStringLiteral("CommPort")), std::optional<QString>(QStringLiteral("3")));
    }

    void unwritableStoreReportsFailure()
    {
        // A folder where the file should be: nothing can be written there, whoever runs the test.
        QVERIFY(QDir().mkpath(m_file));
        QtSettingsStore store;
        QVERIFY(!store.write(App, Section, QStringLiteral("ModemType"), QStringLiteral("-1")));
        QVERIFY_THROWS_EXCEPTION(SettingsStore::Unreadable, store.read(App, Section, QStringLiteral("ModemType")));
        QVERIFY(QDir(m_file).removeRecursively());
    }

    void unreadableStoreIsNotAbsent_data()
    {
        QTest::addColumn<bool>("folderInstead");
        QTest::newRow("file without read permission") << false;
        // Root reads a file whatever its permissions; a folder it cannot read as a file.
        QTest::newRow("folder in place of the file") << true;
    }
    void unreadableStoreIsNotAbsent()
    {
        QFETCH(bool, folderInstead);
        if (folderInstead) {
            QVERIFY(QDir().mkpath(m_file));
        } else {
            if (::geteuid() == 0)
                QSKIP("running as root, which reads a file whatever its permissions; the folder row covers root");
            writeFile("[Vendrel]\nModemType=40\n");
            QVERIFY(QFile::setPermissions(m_file, QFileDevice::Permissions()));
        }
        QtSettingsStore store;
        QVERIFY_THROWS_EXCEPTION(SettingsStore::Unreadable, store.read(App, Section, QStringLiteral("ModemType")));
        QVERIFY_THROWS_EXCEPTION(SettingsStore::Unreadable, store.read(App, Section, QStringLiteral("CommPort")));
        if (!folderInstead)
            QVERIFY(QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    void writesKeepOtherKeysAndSections()
    {
        writeFile("[Other]\nKeep=1\n[Vendrel]\nAutoReceive=1\n");
        QtSettingsStore store;
        QVERIFY(store.write(App, Section, QStringLiteral("AutoReceive"), QStringLiteral("-1")));
        QVERIFY(store.write(App, Section, QStringLiteral("StatusReport"), QStringLiteral("0")));
        QCOMPARE(store.read(App, QStringLiteral("Other"), QStringLiteral("Keep")), std::optional<QString>(QStringLiteral("1")));
        QCOMPARE(store.read(App, Section, QStringLiteral("AutoReceive")), std::optional<QString>(QStringLiteral("-1")));
        QCOMPARE(store.read(App, Section, QStringLiteral("StatusReport")), std::optional<QString>(QStringLiteral("0")));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
