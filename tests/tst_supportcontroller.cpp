// SPDX-License-Identifier: GPL-3.0-or-later
#include "clickableimage.h"
#include "consolerig.h"
#include "frmsupport.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "pellixerror.h"
#include "qtdesktop.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "supportcontroller.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <memory>

namespace {

// The whole console over fakes, as the operator meets it.
struct Rig : ConsoleRig<>
{
    explicit Rig(int major = 2, int minor = 6, int revision = 0)
    {
        Setup setup;
        setup.desktop = std::make_unique<FakeDesktop>();
        setup.desktop->missingFilesFail = true;
        setup.facts.major = major;
        setup.facts.minor = minor;
        setup.facts.revision = revision;
        build(std::move(setup));
    }

    frmVendrel &main() const { return console->view(); }
    SupportController &support() const { return console->support(); }
    frmSupport *window() const { return support().view(); }

    // The operator's click on "Show Support", and the window's activation that follows it.
    bool showSupport()
    {
        if (!main().isVisible()) {
            console->show();
            if (!QTest::qWaitForWindowExposed(&main()))
                return false;
        }
        QTest::mouseClick(main().cmdShowSupport, Qt::LeftButton);
        return window() && becameActive(window());
    }

    // The support window shown over a modem whose IMEI the operator has corrected, and a desktop
    // that opens nothing, so that the next button gives an error box.
    bool showSupportWithEditedImei()
    {
        modem->imei = QStringLiteral("351234567890123");
        desktop->openSucceeds = false;
        if (!showSupport())
            return false;
        window()->txtModemIMEI->setText(QStringLiteral("corrected IMEI"));
        return true;
    }

    bool activate(QWidget *window)
    {
        window->activateWindow();
        return becameActive(window);
    }

    // Active as the widgets see it: its activation event has been delivered. (Offscreen, the
    // window system's activation arrives later than QTest::qWaitForWindowActive returns.)
    static bool becameActive(QWidget *window)
    {
        return QTest::qWaitFor([window] { return window->isActiveWindow(); });
    }
};

// An address taken apart as a mail program does (RFC 6068): the recipient, then each header
// field name=value split at "&" and percent-decoded from UTF-8 octets.
struct MailtoParts
{
    bool wellFormed = false;
    QString to;
    QList<QPair<QString, QString>> fields;
    QString field(const QString &name) const
    {
        for (const auto &f : fields)
            if (f.first == name)
                return f.second;
        return QStringLiteral("<absent>");
    }
};

QString percentDecoded(const QString &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toLatin1()));
}

MailtoParts decodeMailto(const QString &address)
{
    MailtoParts parts;
    // Only printable ASCII, no blank: nothing for a program in between to encode or cut; and no
    // "#", which would start a fragment and drop the rest.
    for (QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c == QLatin1Char('#'))
            return parts;
    if (!address.startsWith(QLatin1String("mailto:")))
        return parts;
    const QString rest = address.mid(7);
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    parts.to = percentDecoded(rest.left(question));
    if (question >= 0) {
        for (const QString &field : rest.mid(question + 1).split(QLatin1Char('&'))) {
            const qsizetype equals = field.indexOf(QLatin1Char('='));
            if (equals < 0)
                return parts;
            parts.fields.append({percentDecoded(field.left(equals)), percentDecoded(field.mid(equals + 1))});
        }
    }
    parts.wellFormed = true;
    return parts;
}

const QString Subject = QStringLiteral("Pellix support request");

// Keeps every activation from the support window, as a window manager that refuses it would.
class RefusedActivation : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return event->type() == QEvent::WindowActivate && qobject_cast<frmSupport *>(watched);
    }
};

} // namespace

class TestSupportController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void startUpLendsTheModemAndBuildsNoWindow();
    void showSupportIsModelessAndOwned();
    void formUpdateFillsTheWindow();
    void formUpdateModemData_data();
    void formUpdateModemData();
    void captionCarriesTheVersion_data();
    void captionCarriesTheVersion();
    void modemErrorLeavesEarlierFieldsAndIsShown();
    void switchingBackRefreshesTheModemFields();
    void closeAndShowAgainRebuildsAndRefreshes();
    void returningFromAnErrorBoxKeepsTheEdits();
    void showWithoutActivationFillsTheFields();
    void focusLeavingTheProgramEndsTheReturnFromABox();

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
    void unloadedBeforeTheModemIsReleased();

private:
    QTemporaryDir m_temp;
};

void TestSupportController::initTestCase()
{
    // The log lives in the temporary folder: give the tests one of their own.
    QVERIFY(m_temp.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    QCOMPARE(ModUtils::GetTempFolder(), QDir::cleanPath(m_temp.path()));
}

void TestSupportController::init()
{
    QFile::remove(SupportController::logFilePath());
}

void TestSupportController::startUpLendsTheModemAndBuildsNoWindow()
{
    Rig rig;
    QVERIFY(rig.modem);
    QCOMPARE(rig.support().modem(), static_cast<GsmModem *>(rig.modem));
    QVERIFY(!rig.window());
    QVERIFY(!rig.main().findChild<frmSupport *>());
    // Lending reads nothing of the modem yet.
    QCOMPARE(rig.modem->count(QStringLiteral("IMEI")), 0);
}

void TestSupportController::showSupportIsModelessAndOwned()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    frmSupport *window = rig.window();
    QCOMPARE(window->parentWidget(), static_cast<QWidget *>(&rig.main()));
    QCOMPARE(window->windowHandle()->transientParent(), rig.main().windowHandle());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->cmdClose));

    // Both stay usable: the main window's log button works while the support window is open,
    // and showing again brings back the same window.
    QVERIFY(rig.activate(&rig.main()));
    QTest::mouseClick(rig.main().cmdShowLogFile, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedDocuments.size(), 1);
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window(), window);
    QCOMPARE(rig.main().findChildren<frmSupport *>().size(), 1);
}

void TestSupportController::formUpdateFillsTheWindow()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("huawei");
    rig.modem->model = QStringLiteral("E220");
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    const frmSupport *v = rig.window();
    QCOMPARE(v->windowTitle(), QStringLiteral("Pellix Support (2.6.0)"));
    QCOMPARE(v->txtLogFilename->text(), QStringLiteral("Pellix.log"));
    QCOMPARE(v->txtLogPathname->text(), ModUtils::GetLongPath(ModUtils::GetTempFolder()));
    // The library's spelling, as it reports it.
    QCOMPARE(v->txtModemData->text(), QStringLiteral("huawei E220"));
    QCOMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
    QCOMPARE(v->txtSupportEmail->text(), QStringLiteral("support@pellix.example"));
    QCOMPARE(v->txtDownloadModemProfiles->text(), QStringLiteral("http://www.pellix.example/gsm_modem_config"));
    QCOMPARE(v->lblSkypeAccount->text(), QStringLiteral("pellix.support"));

    // Brand, then model, then IMEI, as the modem is asked.
    QStringList identity;
    for (const QString &member : rig.modem->members())
        if (member == QLatin1String("Manufacturer") || member == QLatin1String("Model") || member == QLatin1String("IMEI"))
            identity << member;
    QCOMPARE(identity.mid(0, 3), (QStringList{QStringLiteral("Manufacturer"), QStringLiteral("Model"), QStringLiteral("IMEI")}));
}

void TestSupportController::formUpdateModemData_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both empty give an empty field") << QString() << QString() << QString();
    QTest::newRow("brand and model") << QStringLiteral("WAVECOM") << QStringLiteral("MULTIBAND 900E 1800")
                                     << QStringLiteral("WAVECOM MULTIBAND 900E 1800");
    QTest::newRow("brand alone, no stray blank") << QStringLiteral("Siemens") << QString() << QStringLiteral("Siemens");
    QTest::newRow("model alone, no stray blank") << QString() << QStringLiteral("MC35i") << QStringLiteral("MC35i");
    QTest::newRow("trimmed as a whole, inner blanks kept") << QStringLiteral("  Acme ") << QStringLiteral(" M1  ")
                                                           << QStringLiteral("Acme   M1");
}

void TestSupportController::formUpdateModemData()
{
    QFETCH(QString, brand);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    Rig rig;
    rig.modem->manufacturer = brand;
    rig.modem->model = model;
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->txtModemData->text(), expected);
}

void TestSupportController::captionCarriesTheVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("caption");
    QTest::newRow("2.6.0") << 2 << 6 << 0 << QStringLiteral("Pellix Support (2.6.0)");
    QTest::newRow("decimal, no leading zeros") << 3 << 10 << 7 << QStringLiteral("Pellix Support (3.10.7)");
}

void TestSupportController::captionCarriesTheVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, caption);
    Rig rig(major, minor, revision);
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->windowTitle(), caption);
}

void TestSupportController::modemErrorLeavesEarlierFieldsAndIsShown()
{
    Rig rig;
    rig.modem->manufacturer = QStringLiteral("WAVECOM");
    rig.modem->raiseOn(QStringLiteral("IMEI"),
                       pellix::libraryError(pellix::ErrorCode::ConnectionLost, QStringLiteral("AT+CGSN")));
    const int reportLines = rig.main().lstReport->count();
    QVERIFY(rig.showSupport());
    const frmSupport *v = rig.window();
    QTRY_COMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    // Filled before the failure: caption, log, brand and model; after it: nothing.
    QCOMPARE(v->windowTitle(), QStringLiteral("Pellix Support (2.6.0)"));
    QCOMPARE(v->txtLogFilename->text(), QStringLiteral("Pellix.log"));
    QCOMPARE(v->txtModemData->text(), QStringLiteral("WAVECOM"));
    QCOMPARE(v->txtModemIMEI->text(), QString());
    QCOMPARE(v->txtSupportEmail->text(), QString());

    const FakeDialogs::Asked box = rig.dialogs->last();
    QCOMPARE(box.style, 48);
    QCOMPARE(box.title, QStringLiteral("Error #5 from Pellix"));
    QVERIFY(box.text.startsWith(QLatin1String("Connection to the modem lost")));
    QCOMPARE(rig.main().lstReport->count(), reportLines);

    // The program goes on: the next activation fills everything.
    QVERIFY(rig.activate(&rig.main()));
    QVERIFY(rig.activate(rig.window()));
    QTRY_COMPARE(v->txtSupportEmail->text(), QStringLiteral("support@pellix.example"));
}

void TestSupportController::switchingBackRefreshesTheModemFields()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    QLineEdit *imei = rig.window()->txtModemIMEI;
    imei->setText(QStringLiteral("typed by the operator"));
    rig.modem->imei = QStringLiteral("490154203237518");

    QVERIFY(rig.activate(&rig.main()));
    QCOMPARE(imei->text(), QStringLiteral("typed by the operator"));
    QVERIFY(rig.activate(rig.window()));
    QTRY_COMPARE(imei->text(), QStringLiteral("490154203237518"));
}

void TestSupportController::closeAndShowAgainRebuildsAndRefreshes()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    QVERIFY(rig.showSupport());
    QPointer<frmSupport> first = rig.window();
    first->txtModemIMEI->setText(QStringLiteral("edited"));

    QTest::mouseClick(first->cmdClose, Qt::LeftButton);
    QVERIFY(!rig.window());
    QTRY_VERIFY(!first);
    // The modem stays lent while the window is closed.
    QCOMPARE(rig.support().modem(), static_cast<GsmModem *>(rig.modem));

    rig.modem->imei = QStringLiteral("490154203237518");
    QVERIFY(rig.showSupport());
    QCOMPARE(rig.window()->txtModemIMEI->text(), QStringLiteral("490154203237518"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(rig.window()->cmdClose));

    // Esc and the title bar close it the same way.
    QTest::keyClick(rig.window(), Qt::Key_Escape);
    QVERIFY(!rig.window());
    QVERIFY(rig.showSupport());
    rig.window()->close();
    QVERIFY(!rig.window());
    QVERIFY(rig.showSupport());
}

void TestSupportController::returningFromAnErrorBoxKeepsTheEdits()
{
    Rig rig;
    QVERIFY(rig.showSupportWithEditedImei());
    frmSupport *v = rig.window();

    // A real box takes the activation while it is open and gives it back when it closes.
    QWidget box;
    rig.dialogs->whileOpen = [&box](const FakeDialogs::Asked &) {
        box.show();
        box.activateWindow();
        QVERIFY(Rig::becameActive(&box));
        box.hide();
    };
    QTest::mouseClick(v->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    QVERIFY(rig.activate(v));
    QTest::qWait(20);
    QCOMPARE(v->txtModemIMEI->text(), QStringLiteral("corrected IMEI"));

    // Coming back from the main window is the operator's switch: the library's value returns.
    QVERIFY(rig.activate(&rig.main()));
    QVERIFY(rig.activate(v));
    QTRY_COMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
}

void TestSupportController::showWithoutActivationFillsTheFields()
{
    Rig rig;
    rig.modem->imei = QStringLiteral("351234567890123");
    rig.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.main()));
    // A window manager that refuses to activate the window: it never hears of an activation.
    RefusedActivation refuse;
    qApp->installEventFilter(&refuse);
    QTest::mouseClick(rig.main().cmdShowSupport, Qt::LeftButton);
    QVERIFY(rig.window());
    QTRY_COMPARE(rig.window()->txtModemIMEI->text(), QStringLiteral("351234567890123"));
    qApp->removeEventFilter(&refuse);

    // Where the activation does come, the fields are filled by it alone.
    rig.window()->close();
    QVERIFY(!rig.window());
    QVERIFY(rig.activate(&rig.main()));
    const int before = rig.modem->count(QStringLiteral("IMEI"));
    QVERIFY(rig.showSupport());
    QTest::qWait(SupportController::ActivationWaitMs * 2);
    QCOMPARE(rig.modem->count(QStringLiteral("IMEI")), before + 1);
}

void TestSupportController::focusLeavingTheProgramEndsTheReturnFromABox()
{
    Rig rig;
    QVERIFY(rig.showSupportWithEditedImei());
    frmSupport *v = rig.window();

    // The box has the activation when the operator goes to another program.
    QWidget box;
    rig.dialogs->whileOpen = [&box](const FakeDialogs::Asked &) {
        box.show();
        box.activateWindow();
        QVERIFY(Rig::becameActive(&box));
    };
    QTest::mouseClick(v->cmdSupportRequest, Qt::LeftButton);
    QCOMPARE(rig.dialogs->count(FakeDialogs::Kind::Message), 1);
    // Offscreen there is no other program to take the focus: the application hears it as it would.
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    box.hide();
    QVERIFY(rig.activate(v));
    QTRY_COMPARE(v->txtModemIMEI->text(), QStringLiteral("351234567890123"));
}

void TestSupportController::supportMailDescribedExample()
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

void TestSupportController::supportMailCarriesTheFieldsExactly_data()
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

void TestSupportController::supportMailCarriesTheFieldsExactly()
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

void TestSupportController::supportMailTakesTheEditedFields()
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

void TestSupportController::logFileBeforeAnyLogIsError440_data()
{
    QTest::addColumn<bool>("fromMainWindow");
    QTest::newRow("main window's Show Log file, support window never shown") << true;
    QTest::newRow("support window's Show Log file") << false;
}

void TestSupportController::logFileBeforeAnyLogIsError440()
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

void TestSupportController::logFileOpensOnceWritten()
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

void TestSupportController::logFolderThroughTheFileManager()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QTest::mouseClick(rig.window()->cmdOpenLogFolder, Qt::LeftButton);
    QCOMPARE(rig.desktop->openedFolders, QStringList{ModUtils::GetTempFolder()});
    QCOMPARE(rig.desktop->openedDocuments.size(), 0);
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestSupportController::logFolderFailureIsError440()
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

void TestSupportController::profilePageIsTheFieldsText()
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

void TestSupportController::chatLink_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("link");
    QTest::newRow("the vendor's account") << QString() << QStringLiteral("skype:pellix.support?chat");
    QTest::newRow("acme") << QStringLiteral("acme") << QStringLiteral("skype:acme?chat");
}

void TestSupportController::chatLink()
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

void TestSupportController::logosOpenTheWebSite_data()
{
    QTest::addColumn<bool>("mainWindow");
    QTest::newRow("main window's logo") << true;
    QTest::newRow("support window's logo") << false;
}

void TestSupportController::logosOpenTheWebSite()
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

void TestSupportController::helpAsTheMainWindowsHelp()
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

void TestSupportController::unloadedBeforeTheModemIsReleased()
{
    Rig rig;
    QVERIFY(rig.showSupport());
    QPointer<frmSupport> window = rig.window();
    bool openAtRelease = true;
    QObject::connect(rig.modem, &QObject::destroyed, [&] { openAtRelease = rig.window() || (window && window->isVisible()); });
    rig.main().close();
    QVERIFY(!openAtRelease);
    QVERIFY(!rig.window());
    QVERIFY(!rig.console->modem());
    QTRY_VERIFY(!window);
}

QTEST_MAIN(TestSupportController)
#include "tst_supportcontroller.moc"
