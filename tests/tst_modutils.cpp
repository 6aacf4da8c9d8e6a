// SPDX-License-Identifier: GPL-3.0-or-later
#include "appfacts.h"
#include "busypointer.h"
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "modutils.h"
#include "qtdesktop.h"
#include "qtdialogs.h"
#include "raisederror.h"
#include "raisederrorcode.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#include <unistd.h>

namespace {

const QString OddLength = QStringLiteral("Invalid hex string (string is composed by an odd number of digits)");
const QString NotHex = QStringLiteral("Invalid hex string");
const QString Title = QStringLiteral("Pellix Test utility");

QByteArray bytesOf(std::initializer_list<int> codes)
{
    QByteArray b;
    for (int c : codes)
        b.append(char(c));
    return b;
}

// Acts on the modal boxes as an operator would: each step runs on the next box that opens.
class BoxOperator : public QObject
{
public:
    explicit BoxOperator(QList<std::function<void(QWidget *)>> steps)
        : m_steps(std::move(steps))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    int done() const { return m_done; }

private:
    void poll()
    {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || box == m_last || !box->isVisible() || m_done >= m_steps.size())
            return;
        m_last = box;
        m_steps.at(m_done++)(box);
        // The same box object may open again (a box re-shown after Help); let the next step act on it.
        QTimer::singleShot(0, this, [this] { m_last = nullptr; });
    }

    QList<std::function<void(QWidget *)>> m_steps;
    QTimer m_timer;
    QWidget *m_last = nullptr;
    int m_done = 0;
};

QPushButton *buttonOf(QWidget *box, QMessageBox::StandardButton which)
{
    auto *messageBox = qobject_cast<QMessageBox *>(box);
    return messageBox ? qobject_cast<QPushButton *>(messageBox->button(which)) : nullptr;
}

// Stands in for the program the desktop would start for an address.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class tst_ModUtils : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- hex conversion
    void hexToString_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty text gives empty bytes") << "" << QByteArray();
        QTest::newRow("two pairs") << "4142" << QByteArray("AB");
        QTest::newRow("lower-case digit") << "4a" << QByteArray("J");
        QTest::newRow("mixed case") << "aBcD" << bytesOf({0xAB, 0xCD});
        QTest::newRow("NUL and high bytes kept") << "00FF7F80" << bytesOf({0x00, 0xFF, 0x7F, 0x80});
        QTest::newRow("header of a concatenated message") << "050003A70201" << bytesOf({5, 0, 3, 0xA7, 2, 1});
    }
    void hexToString()
    {
        QFETCH(QString, hex);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ModUtils::HexToString(hex), bytes);
    }

    void hexToStringRefuses_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("description");
        QTest::newRow("odd number of digits") << "414" << OddLength;
        QTest::newRow("single digit") << "4" << OddLength;
        QTest::newRow("odd length checked before the digits") << "GGG" << OddLength;
        QTest::newRow("letter beyond F") << "41G1" << NotHex;
        QTest::newRow("bad pair after good ones") << "41424Z" << NotHex;
        QTest::newRow("blank inside a pair") << "4 " << NotHex;
        QTest::newRow("blank leading a pair") << " 1" << NotHex;
        QTest::newRow("sign in a pair") << "-1" << NotHex;
        QTest::newRow("plus sign in a pair") << "+F" << NotHex;
        QTest::newRow("hex prefix") << "0x41" << NotHex;
        QTest::newRow("separator making the length odd") << "41:42" << OddLength;
        QTest::newRow("separators between pairs") << "41,42," << NotHex;
        QTest::newRow("line break typed after the digits") << "4142\r\n" << NotHex;
        QTest::newRow("full-width digits are not hex") << QString::fromUtf8("\uFF14\uFF11") << NotHex;
    }
    void hexToStringRefuses()
    {
        QFETCH(QString, hex);
        QFETCH(QString, description);
        const auto e = raisedBy([&] { ModUtils::HexToString(hex); });
        QVERIFY(e);
        QCOMPARE(e->number(), 13);
        QCOMPARE(e->source(), QStringLiteral("Vendrel"));
        QCOMPARE(e->description(), description);
    }

    void stringToHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("codes 0 15 16 255 keep two digits each") << bytesOf({0, 15, 16, 255}) << "000F10FF";
        QTest::newRow("AB") << QByteArray("AB") << "4142";
        QTest::newRow("line feed") << QByteArray("\n") << "0A";
        QTest::newRow("upper-case digits") << bytesOf({0xab, 0xcd, 0xef}) << "ABCDEF";
    }
    void stringToHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        QCOMPARE(ModUtils::StringToHex(bytes), hex);
    }

    void hexRoundTripOfEveryByte()
    {
        QByteArray all;
        for (int c = 0; c < 256; ++c)
            all.append(char(c));
        const QString hex = ModUtils::StringToHex(all);
        QCOMPARE(hex.size(), 512);
        QCOMPARE(ModUtils::HexToString(hex), all);
        QCOMPARE(ModUtils::HexToString(hex.toLower()), all);
    }

    void hexLengthLimits_data()
    {
        QTest::addColumn<bool>("toBytes");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("description");
        QTest::newRow("hex: 32,766 digits fit") << true << 32766 << 0 << "";
        QTest::newRow("hex: 32,767 is odd before it overflows") << true << 32767 << 13 << OddLength;
        QTest::newRow("hex: 32,768 overflows") << true << 32768 << 6 << "Overflow";
        QTest::newRow("hex: far beyond overflows, not odd") << true << 40001 << 6 << "Overflow";
        QTest::newRow("bytes: 32,766 fit") << false << 32766 << 0 << "";
        QTest::newRow("bytes: 32,767 overflow") << false << 32767 << 6 << "Overflow";
    }
    void hexLengthLimits()
    {
        QFETCH(bool, toBytes);
        QFETCH(int, length);
        QFETCH(int, error);
        QFETCH(QString, description);
        std::optional<RaisedError> e;
        if (toBytes) {
            const QString hex(length, QLatin1Char('A'));
            QByteArray result;
            e = raisedBy([&] { result = ModUtils::HexToString(hex); });
            if (!error)
                QCOMPARE(result.size(), length / 2);
        } else {
            const QByteArray bytes(length, '\x5A');
            QString result;
            e = raisedBy([&] { result = ModUtils::StringToHex(bytes); });
            if (!error)
                QCOMPARE(result.size(), length * 2);
        }
        if (!error) {
            QVERIFY(!e);
            return;
        }
        QVERIFY(e);
        QCOMPARE(e->number(), error);
        QCOMPARE(e->source(), QStringLiteral("Vendrel"));
        QCOMPARE(e->description(), description);
    }

    void formatHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty text shows nothing, no brackets") << QByteArray() << "";
        QTest::newRow("a single NUL") << bytesOf({0}) << "[00]";
        QTest::newRow("AB") << QByteArray("AB") << "[4142]";
    }
    void formatHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(ModUtils::FormatHex(bytes), shown);
    }

    // --- texts
    void properCaseIfLower_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("all lower: each word capitalised") << "huawei e220" << "Huawei E220";
        QTest::newRow("one word") << "wavecom" << "Wavecom";
        QTest::newRow("already proper stays") << "Huawei" << "Huawei";
        QTest::newRow("all capitals stay") << "SIEMENS" << "SIEMENS";
        QTest::newRow("one capital anywhere keeps the whole text") << "sony Ericsson" << "sony Ericsson";
        QTest::newRow("tab separates words") << "acme\tm1" << "Acme\tM1";
        QTest::newRow("line break separates words") << "acme\r\nm1" << "Acme\r\nM1";
        QTest::newRow("NUL separates words") << QString::fromLatin1("acme\0m1", 7) << QString::fromLatin1("Acme\0M1", 7);
        QTest::newRow("repeated blanks kept") << "multiband  900e" << "Multiband  900e";
        QTest::newRow("hyphen joins a word") << "sony-ericsson" << "Sony-ericsson";
        QTest::newRow("leading digit stays, word not split") << "3com modem" << "3com Modem";
        QTest::newRow("accented letter") << QString::fromUtf8("élan") << QString::fromUtf8("Élan");
        QTest::newRow("no letters") << "123 456" << "123 456";
    }
    void properCaseIfLower()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(ModUtils::ProperCaseIfLower(text), shown);
    }

    void trimNullChar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("path, NUL and blanks gives the path") << QString::fromLatin1("/tmp/x\0   ", 10) << "/tmp/x";
        QTest::newRow("blanks only") << "     " << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only one NUL goes") << QString::fromLatin1("a\0\0", 3) << QString::fromLatin1("a\0", 2);
        QTest::newRow("blank before the NUL stays") << QString::fromLatin1("a \0", 3) << "a ";
        QTest::newRow("tabs are not blanks") << "a\t" << "a\t";
        QTest::newRow("leading blanks stay") << "  a  " << "  a";
        QTest::newRow("NUL alone") << QString(QChar(0)) << "";
    }
    void trimNullChar()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(ModUtils::TrimNullChar(text), trimmed);
    }

    // --- paths
    void getLongPath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = QDir(dir.path()).canonicalPath();
        QVERIFY(QDir(root).mkpath(QStringLiteral("sub/deeper")));
        QFile blankEnd(root + QStringLiteral("/sub/name "));
        QVERIFY(blankEnd.open(QIODevice::WriteOnly));
        blankEnd.close();

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

        QCOMPARE(ModUtils::GetLongPath(root + QStringLiteral("/missing/file")), root + QStringLiteral("/missing/file"));
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("relative/missing")), QStringLiteral("relative/missing"));
        QCOMPARE(ModUtils::GetLongPath(QString()), QString());
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("sub/./deeper/../deeper")), root + QStringLiteral("/sub/deeper"));
        QCOMPARE(ModUtils::GetLongPath(root + QStringLiteral("//sub/")), root + QStringLiteral("/sub"));
        // The trim of the long form stops at its end: a name ending in a blank keeps it.
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("sub/name ")), root + QStringLiteral("/sub/name "));

        // A long form beyond 254 characters is not available: the path comes back as given.
        QString longDir = root;
        while (longDir.size() <= 260)
            longDir += QStringLiteral("/abcdefghijklmnopqrstuvwxyz");
        QVERIFY(QDir().mkpath(longDir));
        const QString uncleaned = longDir + QStringLiteral("/.");
        QCOMPARE(ModUtils::GetLongPath(uncleaned), uncleaned);
    }

    void getTempFolder_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::addColumn<QString>("folder");
        QTest::newRow("trailing separator dropped") << "%1/" << "%1";
        QTest::newRow("several trailing separators") << "%1///" << "%1";
        QTest::newRow("plain") << "%1" << "%1";
        QTest::newRow("root stays a folder") << "/" << "/";
        // Named as it is, so that the log goes nowhere else and its failure names the folder.
        QTest::newRow("a folder that does not exist") << "/nonexistent-vendrel-test//" << "/nonexistent-vendrel-test";
        // A folder that every user shares would give the log to whoever came first.
        QTest::newRow("not set: a folder of the user's own") << "" << QStringLiteral("/tmp/pellix-%1").arg(::geteuid());
    }
    void getTempFolder()
    {
        QFETCH(QString, tmpdir);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray saved = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", saved); });
        const QString path = QDir(dir.path()).canonicalPath();
        if (tmpdir.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", (tmpdir.contains(QLatin1String("%1")) ? tmpdir.arg(path) : tmpdir).toLocal8Bit());
        const QString expected = folder.contains(QLatin1String("%1")) ? folder.arg(path) : folder;
        QCOMPARE(ModUtils::GetTempFolder(), expected);
    }

    // --- opening documents
    void openDocumentFailureIs440_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("desktopRefuses");
        QTest::newRow("log file not written yet") << "/nonexistent-vendrel-test/Pellix.log" << false;
        QTest::newRow("no program for the address") << "skype:acme?chat" << true;
        QTest::newRow("no mail program") << "mailto:support@example.com?subject=Pellix support request" << true;
        QTest::newRow("empty target") << "" << false;
    }
    void openDocumentFailureIs440()
    {
        QFETCH(QString, target);
        QFETCH(bool, desktopRefuses);
        FakeDialogs dialogs;
        FakeDesktop desktop;
        desktop.missingFilesFail = true;
        if (desktopRefuses)
            desktop.failingTargets.insert(target);
        ModUtils utils(dialogs, desktop);
        const auto e = raisedBy([&] { utils.OpenDocument(target); });
        QVERIFY(e);
        QCOMPARE(e->number(), 440);
        QCOMPARE(e->source(), QStringLiteral("Vendrel"));
        QCOMPARE(e->description(),
                 QStringLiteral("Cannot find <") + target
                     + QStringLiteral("> or a Windows application associated to this kind of file"));
        QCOMPARE(desktop.openedDocuments, QStringList{target});
    }

    void openDocumentHandsTheTargetOverUnchanged()
    {
        FakeDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        const QString mail = QStringLiteral(
            "mailto:support@example.com?subject=Pellix support request&body=Pellix support request from:%0D%0A"
            "GSM modem/phone model : WAVECOM MULTIBAND 900E 1800%0D%0A");
        QVERIFY(!raisedBy([&] { utils.OpenDocument(mail); }));
        QCOMPARE(desktop.openedDocuments, QStringList{mail});
        QCOMPARE(dialogs.asked().size(), 0);
    }

    void openDocumentLooksInTheWorkingFolder()
    {
        FakeDialogs dialogs;
        FakeDesktop desktop;
        desktop.openSucceeds = false;
        ModUtils utils(dialogs, desktop);
        const auto e = raisedBy([&] { utils.OpenDocument(QStringLiteral("Pellix.log"), QStringLiteral("/var/tmp")); });
        QCOMPARE(desktop.openedDocuments, QStringList{QStringLiteral("/var/tmp/Pellix.log")});
        QVERIFY(e);
        // The message names the target as the caller gave it.
        QVERIFY(e->description().startsWith(QStringLiteral("Cannot find <Pellix.log> ")));
        desktop.clear();
        QVERIFY(raisedBy([&] { utils.OpenDocument(QStringLiteral("skype:acme?chat"), QStringLiteral("/var/tmp")); }));
        QCOMPARE(desktop.openedDocuments, QStringList{QStringLiteral("skype:acme?chat")});
    }

    void openDocumentRealDesktopRefusesMissingFile()
    {
        // The real desktop finds the file missing before anything would be started.
        FakeDialogs dialogs;
        QtDesktop desktop;
        ModUtils utils(dialogs, desktop);
        const QString target = QStringLiteral("/nonexistent-vendrel-test/Pellix.log");
        const auto e = raisedBy([&] { utils.OpenDocument(target); });
        QVERIFY(e);
        QCOMPARE(e->number(), 440);
        QVERIFY(e->description().startsWith(QStringLiteral("Cannot find </nonexistent-vendrel-test/Pellix.log> ")));
        QVERIFY(!desktop.openDocument(QString()));
        QVERIFY(!desktop.openDocument(QStringLiteral("file:///nonexistent-vendrel-test/x.txt")));
        QVERIFY(!desktop.openFolder(QStringLiteral("/nonexistent-vendrel-test")));
    }

    void openDocumentRealDesktopAsksForAHandler_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("schemeHandled");
        QTest::addColumn<bool>("xdgMimeThere");
        QTest::addColumn<bool>("opened");
        QTest::newRow("no program for the scheme") << "pellixnohandler:x" << false << true << false;
        QTest::newRow("a program for the scheme") << "pellixtest:support@example.com" << true << true << true;
        QTest::newRow("web address, a browser on $BROWSER") << "http://example.invalid/x" << false << true << true;
        QTest::newRow("web address, no default and no browser") << "http://example.invalid/x" << false << false
                                                                << false;
        QTest::newRow("xdg-mime missing, left to the opener") << "pellixnohandler:x" << false << false << true;
    }
    void openDocumentRealDesktopAsksForAHandler()
    {
        QFETCH(QString, target);
        QFETCH(bool, schemeHandled);
        QFETCH(bool, xdgMimeThere);
        QFETCH(bool, opened);

        QTemporaryDir xdg;
        QVERIFY(xdg.isValid());
        const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        const QByteArray savedPath = qgetenv("PATH");
        const QString scheme = QUrl(target).scheme();
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_CONFIG_HOME", savedConfig);
            qputenv("XDG_DATA_HOME", savedData);
            qputenv("PATH", savedPath);
            QDesktopServices::unsetUrlHandler(scheme);
        });
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(xdg.filePath(QStringLiteral("data"))));
        const QByteArray savedBrowser = qgetenv("BROWSER");
        const auto restoreBrowser = qScopeGuard([&] { qputenv("BROWSER", savedBrowser); });
        const bool web = scheme.startsWith(QLatin1String("http"));
        if (web) {
            // The only programs on the path: an xdg-mime that knows no default, and $BROWSER's.
            QFile mime(xdg.filePath(QStringLiteral("xdg-mime")));
            QVERIFY(mime.open(QIODevice::WriteOnly));
            mime.write("#!/bin/sh\nexit 0\n");
            mime.close();
            QVERIFY(mime.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
            QVERIFY(QFile::link(QStringLiteral("/bin/true"), xdg.filePath(QStringLiteral("pellixbrowser"))));
            qputenv("PATH", QFile::encodeName(xdg.path()));
            qputenv("BROWSER", xdgMimeThere ? "pellixbrowser" : "");
        } else if (!xdgMimeThere) {
            qputenv("PATH", QFile::encodeName(xdg.path()));
        }
        if (schemeHandled) {
            QVERIFY(QDir().mkpath(xdg.filePath(QStringLiteral("config"))));
            QVERIFY(QDir().mkpath(xdg.filePath(QStringLiteral("data/applications"))));
            QFile list(xdg.filePath(QStringLiteral("config/mimeapps.list")));
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write("[Default Applications]\nx-scheme-handler/" + scheme.toLatin1() + "=pellixtest.desktop\n");
            QFile entry(xdg.filePath(QStringLiteral("data/applications/pellixtest.desktop")));
            QVERIFY(entry.open(QIODevice::WriteOnly));
            entry.write("[Desktop Entry]\nType=Application\nName=Pellix test\nExec=true %u\nMimeType=x-scheme-handler/"
                        + scheme.toLatin1() + ";\n");
        }
        // The program the desktop would start, so that nothing outside the test is.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");

        QtDesktop desktop;
        QCOMPARE(desktop.openDocument(target), opened);
        QCOMPARE(catcher.opened.size(), opened ? 1 : 0);
    }

    void addressesAndLocalPaths_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("address");
        QTest::newRow("web page") << "https://www.example.com/gsm_modem_config" << true;
        QTest::newRow("mail") << "mailto:a@b.c?subject=x y" << true;
        QTest::newRow("chat") << "skype:acme?chat" << true;
        QTest::newRow("absolute path") << "/tmp/Pellix.log" << false;
        QTest::newRow("absolute path with a colon") << "/tmp/a:b" << false;
        QTest::newRow("file address is a local file") << "file:///tmp/Pellix.log" << false;
        QTest::newRow("relative name") << "Pellix.log" << false;
    }
    void addressesAndLocalPaths()
    {
        QFETCH(QString, target);
        QFETCH(bool, address);
        QCOMPARE(QtDesktop::isAddress(target), address);
    }

    void addressReachesTheDesktopUnchanged_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("line breaks of a mail body stay encoded once")
            << "mailto:s@example.com?subject=Pellix support request&body=From:%0D%0ACompany :%0D%0A"
            << QByteArray("mailto:s@example.com?subject=Pellix%20support%20request&body=From:%0D%0ACompany%20:%0D%0A");
        QTest::newRow("chat link") << "skype:acme?chat" << QByteArray("skype:acme?chat");
        QTest::newRow("lone percent sign") << "mailto:a@b.c?body=50% signal" << QByteArray("mailto:a@b.c?body=50%25%20signal");
        QTest::newRow("commas and colons kept") << "mailto:a@b.c?body=A, B: C" << QByteArray("mailto:a@b.c?body=A,%20B:%20C");
        QTest::newRow("web page") << "https://www.example.com/gsm_modem_config"
                                  << QByteArray("https://www.example.com/gsm_modem_config");
    }
    void addressReachesTheDesktopUnchanged()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, encoded);
        const QUrl url = QtDesktop::addressUrl(target);
        QVERIFY(url.isValid());
        QCOMPARE(url.toEncoded(), encoded);
    }

    void helpViewerCommand()
    {
        QCOMPARE(QtDesktop::helpViewer(), QStringLiteral("xchm"));
        QCOMPARE(QtDesktop::helpArguments(QStringLiteral("/opt/x/Doc/Pellix.CHM"), 10022),
                 (QStringList{QStringLiteral("--contextid=10022"), QStringLiteral("/opt/x/Doc/Pellix.CHM")}));
    }

    // --- message boxes
    void showMessageBoxPassesStyleAndTitle_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("no title: the application title") << 48 << "" << Title;
        QTest::newRow("own title") << 48 << "Error #5 from Pellix" << "Error #5 from Pellix";
        QTest::newRow("information") << 64 << "" << Title;
        QTest::newRow("plain") << 0 << "" << Title;
    }
    void showMessageBoxPassesStyleAndTitle()
    {
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(QString, shownTitle);
        FakeDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        dialogs.queue(FakeDialogs::Answer::pressed(Dialogs::Ok));
        QCOMPARE(utils.ShowMessageBox(QStringLiteral("Timeout"), style, title), int(Dialogs::Ok));
        QCOMPARE(dialogs.asked().size(), 1);
        QCOMPARE(dialogs.last().text, QStringLiteral("Timeout"));
        QCOMPARE(dialogs.last().style, style);
        QCOMPARE(dialogs.last().title, shownTitle);
        QCOMPARE(dialogs.unscripted(), 0);
    }

    void showMessageBoxDefaultsToPlainStyle()
    {
        FakeDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        utils.ShowMessageBox(QStringLiteral("x"));
        QCOMPARE(dialogs.last().style, 0);
        QCOMPARE(dialogs.last().title, Title);
    }

    void realBoxWithoutActiveWindowIsUnowned()
    {
        QVERIFY(!QApplication::activeWindow());
        QtDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        bool seen = false;
        BoxOperator op({[&](QWidget *box) {
            auto *mb = qobject_cast<QMessageBox *>(box);
            QVERIFY(mb);
            seen = true;
            QCOMPARE(mb->parentWidget(), nullptr);
            QCOMPARE(mb->windowTitle(), Title);
            QCOMPARE(mb->icon(), QMessageBox::Warning);
            QCOMPARE(mb->textFormat(), Qt::PlainText);
            // CR LF becomes one line break; markup-like text stays literal.
            QCOMPARE(mb->text(), QStringLiteral("Cannot find <b>x</b>\nsecond line"));
            buttonOf(box, QMessageBox::Ok)->click();
        }});
        const int code = utils.ShowMessageBox(QStringLiteral("Cannot find <b>x</b>\r\nsecond line"), 48);
        QVERIFY(seen);
        QCOMPARE(code, int(Dialogs::Ok));
    }

    void realBoxIsOwnedByTheActiveWindow()
    {
        QWidget window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }));
        QtDialogs dialogs;
        QWidget *owner = nullptr;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        BoxOperator op({[&](QWidget *box) {
            owner = box->parentWidget();
            icon = qobject_cast<QMessageBox *>(box)->icon();
            QTest::keyClick(box, Qt::Key_Escape); // Esc closes a lone OK box as OK
        }});
        QCOMPARE(dialogs.messageBox(QStringLiteral("Please activate"), 64, Title), int(Dialogs::Ok));
        QCOMPARE(owner, &window);
        QCOMPARE(icon, QMessageBox::Information);
        window.close();
        QApplication::setActiveWindow(nullptr);
    }

    void realBoxButtonSets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("code");
        QTest::newRow("OK/Cancel: Cancel") << (1 | 32) << int(QMessageBox::Cancel) << int(Dialogs::Cancel);
        QTest::newRow("Yes/No: No") << 4 << int(QMessageBox::No) << int(Dialogs::No);
        QTest::newRow("Yes/No/Cancel: Yes") << 3 << int(QMessageBox::Yes) << int(Dialogs::Yes);
        QTest::newRow("Retry/Cancel: Retry") << (5 | 16) << int(QMessageBox::Retry) << int(Dialogs::Retry);
    }
    void realBoxButtonSets()
    {
        QFETCH(int, style);
        QFETCH(int, press);
        QFETCH(int, code);
        QtDialogs dialogs;
        BoxOperator op({[&](QWidget *box) { buttonOf(box, QMessageBox::StandardButton(press))->click(); }});
        QCOMPARE(dialogs.messageBox(QStringLiteral("?"), style, Title), code);
    }

    void realHelpBoxStaysUntilOk()
    {
        QtDialogs dialogs;
        int helpShown = 0;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        BoxOperator op({
            [&](QWidget *box) {
                title = box->windowTitle();
                icon = qobject_cast<QMessageBox *>(box)->icon();
                buttonOf(box, QMessageBox::Help)->click();
            },
            [&](QWidget *box) { buttonOf(box, QMessageBox::Help)->click(); },
            [&](QWidget *box) { buttonOf(box, QMessageBox::Ok)->click(); },
        });
        dialogs.informationWithHelp(QStringLiteral("See Help for more information..."), QStringLiteral("Modem port"),
                                    [&] { ++helpShown; });
        QCOMPARE(op.done(), 3);
        QCOMPARE(helpShown, 2);
        QCOMPARE(title, QStringLiteral("Modem port"));
        QCOMPARE(icon, QMessageBox::Information);
    }

    void realInputBox_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("OK returns the text") << true << "12" << "12" << false;
        QTest::newRow("OK on an empty field") << true << "" << "" << false;
        QTest::newRow("Cancel returns the empty text") << false << "12" << "" << true;
    }
    void realInputBox()
    {
        QFETCH(bool, accept);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(bool, cancelled);
        QtDialogs dialogs;
        QString proposed;
        QString title;
        QString label;
        Qt::TextFormat format = Qt::AutoText;
        BoxOperator op({[&](QWidget *box) {
            auto *input = qobject_cast<QInputDialog *>(box);
            QVERIFY(input);
            title = input->windowTitle();
            proposed = input->textValue();
            if (auto *l = input->findChild<QLabel *>()) {
                label = l->text();
                format = l->textFormat();
            }
            input->setTextValue(typed);
            accept ? input->accept() : input->reject();
        }});
        bool wasCancelled = !cancelled;
        const QString got = dialogs.inputBox(QStringLiteral("Insert number for <b>:"), QString(),
                                             QStringLiteral("-1"), &wasCancelled);
        QCOMPARE(got, answer);
        QCOMPARE(wasCancelled, cancelled);
        QCOMPARE(proposed, QStringLiteral("-1"));
        QCOMPARE(title, Title); // no caption given: the application title
        QCOMPARE(label, QStringLiteral("Insert number for <b>:"));
        QCOMPARE(format, Qt::PlainText);
    }

    // --- busy pointer and program facts
    void busyPointerRestoresOnEveryPath()
    {
        QVERIFY(!QGuiApplication::overrideCursor());
        {
            BusyPointer busy;
            QVERIFY(QGuiApplication::overrideCursor());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QGuiApplication::overrideCursor());
        try {
            BusyPointer busy;
            throw RaisedError(5, QStringLiteral("Pellix"), QStringLiteral("Timeout"));
        } catch (const RaisedError &) {
            QVERIFY(!QGuiApplication::overrideCursor());
        }
        {
            // An outer override (another guard) survives an inner guard released early.
            BusyPointer outer;
            {
                BusyPointer inner;
                inner.release();
                inner.release();
                QVERIFY(QGuiApplication::overrideCursor());
            }
            QVERIFY(QGuiApplication::overrideCursor());
        }
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void appFactsOfThisProgram()
    {
        const AppFacts facts = AppFacts::current();
        QCOMPARE(facts.exeBaseName, QStringLiteral("tst_modutils"));
        QCOMPARE(facts.exeFolder, QCoreApplication::applicationDirPath());
        QVERIFY(!facts.exeFolder.endsWith(QLatin1Char('/')));
        QCOMPARE(QStringLiteral("%1.%2.%3").arg(facts.major).arg(facts.minor).arg(facts.revision),
                 QStringLiteral("2.6.0"));
        QCOMPARE(facts.title, Title);
    }
};

QTEST_MAIN(tst_ModUtils)
#include "tst_modutils.moc"
