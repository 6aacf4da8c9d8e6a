// SPDX-License-Identifier: GPL-3.0-or-later
#include "modutilsfixture.h"

class TestModUtilsDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_MAIN(TestModUtilsDesktop)
#include "tst_modutilsdesktop.moc"
