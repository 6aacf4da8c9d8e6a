// SPDX-License-Identifier: GPL-3.0-or-later
#include "supportcontrollerfixture.h"

class TestSupportControllerLinks : public SupportControllerFixture
{
    Q_OBJECT

private Q_SLOTS:
    void supportMailDescribedExample();
    void supportMailCarriesTheFieldsExactly_data();
    void supportMailCarriesTheFieldsExactly();
    void supportMailTakesTheEditedFields();
    void logFileBeforeAnyLogIsError440_data();
    void logFileBeforeAnyLogIsError440();
    void logFileOpensOnceWritten();
    void logFolderThroughTheFileManager();
    void logFolderFailureIsError440();
    void profilePageIsTheFieldsText();
    void chatLink_data();
    void chatLink();
    void logosOpenTheWebSite_data();
    void logosOpenTheWebSite();
    void helpAsTheMainWindowsHelp();
};

void TestSupportControllerLinks::supportMailDescribedExample()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("WAVECOM");
    rig.modem->model = QStringLiteral("MULTIBAND 900E 1800");
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.dialogs->asked().size(), 0);
    QCOMPARE(rig.desktop->openedDocuments.size(), 1);
    const QString address = rig.desktop->openedDocuments.last();

    QVERIFY(address.startsWith(QLatin1String(
        "mailto:support@pellix.example?subject=Pellix%20support%20request&body=Pellix%20support%20request%20from%3A%0D%0A%0D%0A")));
    QVERIFY(address.contains(QLatin1String("model%20%3A%20WAVECOM%20MULTIBAND%20900E%201800%0D%0AGSM")));

    const MailtoParts parts = decodeMailto(address);
    QVERIFY(parts.wellFormed);
    QCOMPARE(parts.to, QStringLiteral("support@pellix.example"));
    QCOMPARE(parts.fields.size(), 2);
    QCOMPARE(parts.field(QStringLiteral("subject")), Subject);
    QCOMPARE(parts.field(QStringLiteral("body")),
             QStringLiteral("Pellix support request from:\r\n\r\nCompany :\r\nName, Surname :\r\nCity, Country :\r\n"
                            "Phone number :\r\n\r\nGSM modem/phone model : WAVECOM MULTIBAND 900E 1800\r\n"
                            "GSM modem/phone IMEI : 351234567890123\r\n\r\nPlease describe your problem or question:\r\n"
                            "...\r\n\r\n\r\nTo get better support, please attach the Pellix.log file zipped (if possible).\r\n"
                            "We'll reply as soon as possible.\r\n\r\n"));
}

void TestSupportControllerLinks::supportMailCarriesTheFieldsExactly_data()
{
    QTest::addColumn<QString>("modemData");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("mailedData");
    QTest::addColumn<QString>("mailedImei");

    const auto same = [](const char *name, const QString &data, const QString &imei) {
        QTest::newRow(name) << data << imei << data << imei;
    };
    same("ampersand and equals would start a field", QStringLiteral("AT&T body=x"), QStringLiteral("35&cc=evil@x.example"));
    same("hash would cut the rest off", QStringLiteral("Model #5"), QStringLiteral("#123"));
    same("question mark", QStringLiteral("What? Modem"), QStringLiteral("35?subject=x"));
    same("percent, also before hex digits", QStringLiteral("100% %0D%0A %zz"), QStringLiteral("%41"));
    same("plus is no blank", QStringLiteral("GSM+GPRS a+b"), QStringLiteral("+39 1"));
    same("non-ASCII", QStringLiteral("Sierra Wireless \u00C4\u20AC \U0001F600"), QStringLiteral("\u0661\u0662\u0663"));
    same("quotes, angle brackets, backslash alone", QStringLiteral("\"a\" <b> c\\d"), QStringLiteral("'x'"));
    same("empty fields", QString(), QString());
    QTest::newRow("typed backslash-n is a line break") << QStringLiteral("Line one\\nLine two") << QStringLiteral("35\\n")
                                                      << QStringLiteral("Line one\r\nLine two") << QStringLiteral("35\r\n");
    QTest::newRow("pasted line breaks become CR LF") << QStringLiteral("a\nb\rc\r\nd") << QString()
                                                     << QStringLiteral("a\r\nb\r\nc\r\nd") << QString();
}

void TestSupportControllerLinks::supportMailCarriesTheFieldsExactly()
{
    QFETCH(QString, modemData);
    QFETCH(QString, imei);
    QFETCH(QString, mailedData);
    QFETCH(QString, mailedImei);
    Rig rig;
    QVERIFY(rig.showSupport());
    rig.window()->txtModemData->setText(modemData);
    rig.window()->txtModemIMEI->setText(imei);
    QTest::mouseClick(rig.window()->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.size(), 1);
    const QString address = rig.desktop->openedDocuments.last();

    const MailtoParts parts = decodeMailto(address);
    QVERIFY2(parts.wellFormed, qPrintable(address));
    QCOMPARE(parts.to, QStringLiteral("support@pellix.example"));
    QCOMPARE(parts.fields.size(), 2);
    QCOMPARE(parts.field(QStringLiteral("subject")), Subject);
    const QString body = parts.field(QStringLiteral("body"));
    const QString identity = QStringLiteral("\r\n\r\nGSM modem/phone model : ") + mailedData
        + QStringLiteral("\r\nGSM modem/phone IMEI : ") + mailedImei + QStringLiteral("\r\n\r\nPlease describe");
    QVERIFY2(body.contains(identity), qPrintable(body));
    QVERIFY(body.startsWith(QLatin1String("Pellix support request from:\r\n")));
    QVERIFY(body.endsWith(QLatin1String("We'll reply as soon as possible.\r\n\r\n")));

    // Qt hands the address on as it is: strict parsing accepts it and encodes it back unchanged,
    // and so does the parsing of the desktop that starts the mail program.
    const QUrl strict = QUrl::fromEncoded(address.toLatin1(), QUrl::StrictMode);
    QVERIFY(strict.isValid());
    QCOMPARE(QString::fromLatin1(strict.toEncoded()), address);
    QCOMPARE(QString::fromLatin1(QtDesktop::addressUrl(address).toEncoded()), address);
    QVERIFY(!strict.hasFragment());
}

void TestSupportControllerLinks::supportMailTakesTheEditedFields()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("Acme");
    rig.modem->imei = QStringLiteral("111");
    QVERIFY(rig.showSupport());
    rig.window()->txtModemIMEI->setText(QStringLiteral("222"));
    QTest::mouseClick(rig.window()->cmdSupportRequest, Qt::LeftButton);
    QVERIFY(decodeMailto(rig.desktop->openedDocuments.last()).field(QStringLiteral("body")).contains(
        QLatin1String("GSM modem/phone IMEI : 222\r\n")));
}

void TestSupportControllerLinks::logFileBeforeAnyLogIsError440_data()
{
    QTest::addColumn<bool>("fromMainWindow");
    QTest::newRow("main window's Show Log file, support window never shown") << true;
    QTest::newRow("support window's Show Log file") << false;
}

void TestSupportControllerLinks::logFileBeforeAnyLogIsError440()
{
    QFETCH(bool, fromMainWindow);
    Rig rig;
    rig.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.main()));
    const int reportLines = rig.main().lstReport->count();
    const QString log = QDir::cleanPath(m_temp.path()) + QStringLiteral("/Pellix.log");
    QVERIFY(!QFile::exists(log));

    if (fromMainWindow) {
        QTest::mouseClick(rig.main().cmdShowLogFile, Qt::LeftButton);
        QVERIFY(!rig.window());
    } else {
        QVERIFY(rig.showSupport());
        QTest::mouseClick(rig.window()->cmdOpenLogFile, Qt::LeftButton);
    }
    QCOMPARE(rig.desktop->openedDocuments, QStringList{log});
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    const FakeDialogs::Asked box = rig.dialogs->last();
    QCOMPARE(box.text, QStringLiteral("Cannot find <") + log
                           + QStringLiteral("> or a Windows application associated to this kind of file"));
    QCOMPARE(box.style, 48);
    QCOMPARE(box.title, QStringLiteral("Error #440 from Vendrel"));
    // A box only: the report gets no line.
    QCOMPARE(rig.main().lstReport->count(), reportLines);

    // The program goes on: the same click works once the library has written its log.
    QFile file(log);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QTest::mouseClick(rig.main().cmdShowLogFile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.size(), 2);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
}

void TestSupportControllerLinks::logFileOpensOnceWritten()
{
    Rig rig;
    QFile file(SupportController::logFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdOpenLogFile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments, QStringList{file.fileName()});
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestSupportControllerLinks::logFolderThroughTheFileManager()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdOpenLogFolder, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedFolders, QStringList{ModUtils::GetTempFolder()});
    QCOMPARE(rig.desktop->openedDocuments.size(), 0);
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestSupportControllerLinks::logFolderFailureIsError440()
{
    Rig rig;
    rig.desktop->folderSucceeds = false;
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdOpenLogFolder, Qt::LeftButton);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    QCOMPARE(rig.dialogs->last().title, QStringLiteral("Error #440 from Vendrel"));
    QCOMPARE(rig.dialogs->last().text, QStringLiteral("Cannot find <") + ModUtils::GetTempFolder()
                                           + QStringLiteral("> or a Windows application associated to this kind of file"));
    QVERIFY(rig.window());
}

void TestSupportControllerLinks::profilePageIsTheFieldsText()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdDownloadProfile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.last(), QStringLiteral("http://www.pellix.example/gsm_modem_config"));
    // The current text, not a copy taken elsewhere.
    rig.window()->txtDownloadModemProfiles->setText(QStringLiteral("http://mirror.example/gsm_modem_config"));
    QTest::mouseClick(rig.window()->cmdDownloadProfile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.last(), QStringLiteral("http://mirror.example/gsm_modem_config"));
}

void TestSupportControllerLinks::chatLink_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("link");
    QTest::newRow("the vendor's account") << QString() << QStringLiteral("skype:pellix.support?chat");
    QTest::newRow("acme") << QStringLiteral("acme") << QStringLiteral("skype:acme?chat");
}

void TestSupportControllerLinks::chatLink()
{
    QFETCH(QString, account);
    QFETCH(QString, link);
    Rig rig;
    QVERIFY(rig.showSupport());
    if (!account.isEmpty())
        rig.window()->lblSkypeAccount->setText(account);
    QTest::mouseClick(rig.window()->lblSkypeAccount, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments, QStringList{link});

    // No chat program: error 440 naming the link, and the window stays.
    rig.desktop->openSucceeds = false;
    QTest::mouseClick(rig.window()->lblSkypeAccount, Qt::LeftButton);
    QCOMPARE(rig.dialogs->last().text, QStringLiteral("Cannot find <") + link
                                           + QStringLiteral("> or a Windows application associated to this kind of file"));
    QVERIFY(rig.window());
}

void TestSupportControllerLinks::logosOpenTheWebSite_data()
{
    QTest::addColumn<bool>("mainWindow");
    QTest::newRow("main window's logo") << true;
    QTest::newRow("support window's logo") << false;
}

void TestSupportControllerLinks::logosOpenTheWebSite()
{
    QFETCH(bool, mainWindow);
    Rig rig;
    QVERIFY(rig.showSupport());
    ClickableImage *logo = mainWindow ? rig.main().imgLogo : rig.window()->imgLogo;
    QCOMPARE(logo->toolTip(), QStringLiteral("www.pellix.example"));
    QTest::mouseClick(logo, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments, QStringList{QStringLiteral("http://www.pellix.example")});
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestSupportControllerLinks::helpAsTheMainWindowsHelp()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdHelp, Qt::LeftButton);
    QTest::mouseClick(rig.main().cmdHelp, Qt::LeftButton);
    QCOMPARE(rig.desktop->helpCalls.size(), 2);
    QCOMPARE(rig.desktop->helpCalls.at(0).file, rig.console->help().filePath());
    QCOMPARE(rig.desktop->helpCalls.at(0).contextId, 10011);
    QCOMPARE(rig.desktop->helpCalls.at(0).file, rig.desktop->helpCalls.at(1).file);
    QCOMPARE(rig.desktop->helpCalls.at(0).contextId, rig.desktop->helpCalls.at(1).contextId);
}

QTEST_MAIN(TestSupportControllerLinks)
#include "tst_supportcontrollerlinks.moc"
