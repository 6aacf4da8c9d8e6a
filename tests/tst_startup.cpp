// SPDX-License-Identifier: GPL-3.0-or-later
#include "consolerig.h"
#include "frmvendrel.h"
#include "helpservice.h"
#include "connection/modemfactory.h"
#include "multilinetextbox.h"
#include "qtsettingsstore.h"
#include "settingconversion.h"
#include "settingspersistence.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

const QString App = QStringLiteral("Pellix");
const QString Section = QStringLiteral("Vendrel");
const QStringList KeyOrder{QStringLiteral("ModemType"),    QStringLiteral("CommPort"),     QStringLiteral("CheckGSMSignal"),
                           QStringLiteral("AutoReceive"),  QStringLiteral("AutoDelete"),   QStringLiteral("RecentPhones"),
                           QStringLiteral("MessageText"),  QStringLiteral("StatusReport")};

// One console over fakes; the raw pointers stay valid while the console owns the fakes.
struct Rig : ConsoleRig<>
{
    // What the store had been asked when the modem was made.
    int readsBeforeModem = -1;

    explicit Rig(const std::function<void(FakeSettingsStore &)> &prepare = {}, AppFacts facts = {})
    {
        Setup setup;
        setup.store = std::make_unique<FakeSettingsStore>();
        if (prepare)
            prepare(*setup.store);
        if (facts.exeBaseName.isEmpty()) {
            facts.exeFolder = QStringLiteral("/nowhere/bin");
            facts.exeBaseName = Section;
            facts.major = 2;
            facts.minor = 6;
            facts.revision = 0;
        }
        setup.facts = facts;
        setup.makeModem = [this] {
            readsBeforeModem = int(store->readKeys().size());
            return std::make_unique<FakeGsmModem>();
        };
        build(std::move(setup));
    }

    VendrelSettings &settings() const { return console->settings(); }
    std::optional<QString> stored(const QString &key) const { return store->value(App, Section, key); }
};

void storeAll(FakeSettingsStore &store, const QStringList &values)
{
    for (qsizetype i = 0; i < KeyOrder.size(); ++i)
        store.set(App, Section, KeyOrder.at(i), values.at(i));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunGivesTheDefaults();
    void captionCarriesTheVersion();
    void modemMadeBeforeTheSettingsAreRead();
    void storedValuesReachTheControls();
    void booleanForms_data();
    void booleanForms();
    void strictNumberConversion_data();
    void strictNumberConversion();
    void damagedNumberLeavesZero_data();
    void damagedNumberLeavesZero();
    void keysReadInOrderFromTheExecutableSection();
    void failingReadLeavesThatVariableAsItWas();
    void eachKeyUnreadableOrAbsent_data();
    void eachKeyUnreadableOrAbsent();
    void failingWriteSkipsThatKeyOnly();
    void settingsRoundTrip();
    void controlValuesFireOnlyOnRealChange();
    void firstActivationFocusesConnect();
    void helpFilePath_data();
    void helpFilePath();
    void helpButtonOpensTopic10011();
    void unloadDisconnectsBeforeWritingSettings();
    void unloadIgnoresDisconnectFailure();
    void unloadRunsOnceWhicheverWayTheWindowCloses_data();
    void unloadRunsOnceWhicheverWayTheWindowCloses();
    void realStoreAndModemSurviveARestart();
};

void TestStartup::firstRunGivesTheDefaults()
{
    Rig rig;
    const VendrelSettings &s = rig.settings();
    QCOMPARE(s.ModemType, -1);
    QCOMPARE(s.CommPort, qint16(1));
    QCOMPARE(s.CheckGSMSignal, qint16(0));
    QCOMPARE(s.AutoDelete, qint16(0));
    QCOMPARE(s.StatusReport, qint16(0));
    QCOMPARE(s.RecentPhones, QStringLiteral("+"));
    QCOMPARE(s.MessageText, QStringLiteral("Hi, this is a test message"));

    frmVendrel &v = rig.view();
    QVERIFY(v.chkAutoReceive->isChecked());
    QVERIFY(!v.chkGSMSignal->isChecked());
    QVERIFY(!v.chkAutoDelete->isChecked());
    QVERIFY(!v.chkStatusReport->isChecked());
    QCOMPARE(v.txtMessageText->text(), QStringLiteral("Hi, this is a test message"));
    QCOMPARE(v.cmbAlphabet->currentText(), QStringLiteral("Text (7 bit)"));
    QCOMPARE(v.cmbClass->currentText(), QStringLiteral("None"));
    QVERIFY(rig.console->startup().IsLoading());
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestStartup::captionCarriesTheVersion()
{
    AppFacts facts;
    facts.exeFolder = QStringLiteral("/nowhere/bin");
    facts.exeBaseName = Section;
    facts.major = 3;
    facts.minor = 10;
    facts.revision = 7;
    Rig rig({}, facts);
    QCOMPARE(rig.view().windowTitle(), QStringLiteral("Pellix Test Utility (3.10.7)"));
}

void TestStartup::modemMadeBeforeTheSettingsAreRead()
{
    Rig rig;
    QVERIFY(rig.modem);
    QCOMPARE(rig.console->modem(), rig.modem);
    QCOMPARE(rig.readsBeforeModem, 0);
}

void TestStartup::storedValuesReachTheControls()
{
    Rig rig([](FakeSettingsStore &store) {
        storeAll(store, {QStringLiteral("40"), QStringLiteral("7"), QStringLiteral("-1"), QStringLiteral("0"),
                         QStringLiteral("-1"), QStringLiteral("+391,+392"), QStringLiteral("Line one\r\nLine two"),
                         QStringLiteral("-1")});
    });
    const VendrelSettings &s = rig.settings();
    QCOMPARE(s.ModemType, 40);
    QCOMPARE(s.CommPort, qint16(7));
    QCOMPARE(s.RecentPhones, QStringLiteral("+391,+392"));
    frmVendrel &v = rig.view();
    QVERIFY(v.chkGSMSignal->isChecked());
    QVERIFY(!v.chkAutoReceive->isChecked());
    QVERIFY(v.chkAutoDelete->isChecked());
    QVERIFY(v.chkStatusReport->isChecked());
    QCOMPARE(v.txtMessageText->text(), QStringLiteral("Line one\r\nLine two"));
}

void TestStartup::booleanForms_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("writtenBack");

    QTest::newRow("auto receive -1") << QStringLiteral("AutoReceive") << QStringLiteral("-1") << true << QStringLiteral("-1");
    QTest::newRow("auto receive 1 is true and comes back as -1")
        << QStringLiteral("AutoReceive") << QStringLiteral("1") << true << QStringLiteral("-1");
    QTest::newRow("auto receive 0") << QStringLiteral("AutoReceive") << QStringLiteral("0") << false << QStringLiteral("0");
    QTest::newRow("any non-zero counts as true") << QStringLiteral("AutoDelete") << QStringLiteral("5") << true << QStringLiteral("-1");
    QTest::newRow("signal check -1 with blanks") << QStringLiteral("CheckGSMSignal") << QStringLiteral(" -1 ") << true << QStringLiteral("-1");
    QTest::newRow("receipt 0") << QStringLiteral("StatusReport") << QStringLiteral("0") << false << QStringLiteral("0");
}

void TestStartup::booleanForms()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(bool, checked);
    QFETCH(QString, writtenBack);

    Rig rig([&](FakeSettingsStore &store) { store.set(App, Section, key, stored); });
    auto *box = rig.view().findChild<QCheckBox *>(QStringLiteral("chk") + (key == QLatin1String("CheckGSMSignal") ? QStringLiteral("GSMSignal") : key));
    QVERIFY(box);
    QCOMPARE(box->isChecked(), checked);

    rig.view().close();
    QCOMPARE(rig.stored(key).value_or(QString()), writtenBack);
}

void TestStartup::strictNumberConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    QTest::newRow("whole") << QStringLiteral("12") << true << 12;
    QTest::newRow("true as -1") << QStringLiteral("-1") << true << -1;
    QTest::newRow("true as 1") << QStringLiteral("1") << true << 1;
    QTest::newRow("blanks around") << QStringLiteral("  7\t") << true << 7;
    QTest::newRow("explicit plus") << QStringLiteral("+3") << true << 3;
    QTest::newRow("decimal half to even, down") << QStringLiteral("2.5") << true << 2;
    QTest::newRow("decimal half to even, up") << QStringLiteral("3.5") << true << 4;
    QTest::newRow("negative half to even") << QStringLiteral("-0.5") << true << 0;
    QTest::newRow("upper bound") << QStringLiteral("32767") << true << 32767;
    QTest::newRow("lower bound") << QStringLiteral("-32768") << true << -32768;
    QTest::newRow("rounds past the bound") << QStringLiteral("32767.5") << false << 0;
    QTest::newRow("one past the bound") << QStringLiteral("32768") << false << 0;
    QTest::newRow("far out of range") << QStringLiteral("70000") << false << 0;
    QTest::newRow("letters") << QStringLiteral("abc") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("blanks only") << QStringLiteral("   ") << false << 0;
    QTest::newRow("number then letters") << QStringLiteral("12abc") << false << 0;
    QTest::newRow("two numbers") << QStringLiteral("1 2") << false << 0;
    QTest::newRow("hex prefix is not a stored number") << QStringLiteral("&H10") << false << 0;
    QTest::newRow("decimal comma") << QStringLiteral("1,5") << false << 0;
    QTest::newRow("infinity") << QStringLiteral("inf") << false << 0;
    QTest::newRow("huge exponent") << QStringLiteral("1e400") << false << 0;
}

void TestStartup::strictNumberConversion()
{
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);
    const std::optional<qint16> result = SettingConversion::toInteger16(text);
    QCOMPARE(result.has_value(), converts);
    if (converts)
        QCOMPARE(int(*result), value);
}

void TestStartup::damagedNumberLeavesZero_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::newRow("modem type not a number") << QStringLiteral("ModemType") << QStringLiteral("Huawei");
    QTest::newRow("modem type beyond 16 bits") << QStringLiteral("ModemType") << QStringLiteral("70000");
    QTest::newRow("port with letters after") << QStringLiteral("CommPort") << QStringLiteral("3x");
    QTest::newRow("port empty") << QStringLiteral("CommPort") << QString();
}

void TestStartup::damagedNumberLeavesZero()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    Rig rig([&](FakeSettingsStore &store) {
        storeAll(store, {QStringLiteral("15"), QStringLiteral("4"), QStringLiteral("0"), QStringLiteral("-1"),
                         QStringLiteral("0"), QStringLiteral("+"), QStringLiteral("x"), QStringLiteral("0")});
        store.set(App, Section, key, stored);
    });
    const VendrelSettings &s = rig.settings();
    QCOMPARE(key == QLatin1String("ModemType") ? s.ModemType : qint32(s.CommPort), 0);
    // The other keys are read as usual.
    QCOMPARE(key == QLatin1String("ModemType") ? qint32(s.CommPort) : s.ModemType, key == QLatin1String("ModemType") ? 4 : 15);
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestStartup::keysReadInOrderFromTheExecutableSection()
{
    AppFacts facts;
    facts.exeFolder = QStringLiteral("/opt/pellix/bin");
    facts.exeBaseName = QStringLiteral("Vendrel-test");
    Rig rig({}, facts);
    QCOMPARE(rig.store->readKeys(), KeyOrder);
    for (const FakeSettingsStore::Access &access : rig.store->log()) {
        QCOMPARE(access.application, App);
        QCOMPARE(access.section, QStringLiteral("Vendrel-test"));
    }
}

void TestStartup::failingReadLeavesThatVariableAsItWas()
{
    Rig rig([](FakeSettingsStore &store) {
        storeAll(store, {QStringLiteral("5"), QStringLiteral("9"), QStringLiteral("-1"), QStringLiteral("0"),
                         QStringLiteral("-1"), QStringLiteral("+1"), QStringLiteral("stored text"), QStringLiteral("-1")});
        store.failingReads = {QStringLiteral("CommPort"), QStringLiteral("MessageText")};
    });
    const VendrelSettings &s = rig.settings();
    QCOMPARE(rig.store->readKeys(), KeyOrder);
    QCOMPARE(s.ModemType, 5);
    // Neither the stored value nor the default: what the variable held before the settings were read.
    QCOMPARE(s.CommPort, qint16(0));
    QCOMPARE(s.CheckGSMSignal, qint16(-1));
    QCOMPARE(s.RecentPhones, QStringLiteral("+1"));
    QCOMPARE(s.MessageText, QString());
    QCOMPARE(s.StatusReport, qint16(-1));
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestStartup::eachKeyUnreadableOrAbsent_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("expected");

    const QStringList earlier{QStringLiteral("77"), QStringLiteral("6"), QStringLiteral("-1"), QStringLiteral("-1"),
                              QStringLiteral("-1"), QStringLiteral("+39"), QStringLiteral("earlier"), QStringLiteral("-1")};
    const QStringList defaults{QStringLiteral("-1"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                               QStringLiteral("0"), QStringLiteral("+"), QStringLiteral("Hi, this is a test message"),
                               QStringLiteral("0")};
    for (qsizetype i = 0; i < KeyOrder.size(); ++i) {
        const QByteArray key = KeyOrder.at(i).toLatin1();
        QTest::newRow((key + " unreadable").constData()) << KeyOrder.at(i) << true << earlier.at(i);
        QTest::newRow((key + " absent").constData()) << KeyOrder.at(i) << false << defaults.at(i);
    }
}

void TestStartup::eachKeyUnreadableOrAbsent()
{
    QFETCH(QString, key);
    QFETCH(bool, unreadable);
    QFETCH(QString, expected);

    VendrelSettings settings{77, 6, -1, -1, -1, QStringLiteral("+39"), QStringLiteral("earlier"), -1};
    FakeSettingsStore store;
    storeAll(store, {QStringLiteral("5"), QStringLiteral("9"), QStringLiteral("0"), QStringLiteral("0"),
                     QStringLiteral("0"), QStringLiteral("+1"), QStringLiteral("stored text"), QStringLiteral("0")});
    store.remove(App, Section, key);
    if (unreadable)
        store.failingReads = {key};
    SettingsPersistence(settings, store, Section).load();
    QCOMPARE(store.readKeys(), KeyOrder);

    // The other keys are read as stored; the one under test is compared as the store writes it.
    FakeSettingsStore saved;
    SettingsPersistence(settings, saved, Section).save();
    for (const QString &other : KeyOrder) {
        const QString value = saved.value(App, Section, other).value_or(QStringLiteral("<absent>"));
        if (other == key)
            QCOMPARE(value, expected);
        else
            QCOMPARE(value, store.value(App, Section, other).value_or(QStringLiteral("<missing>")));
    }
}

void TestStartup::failingWriteSkipsThatKeyOnly()
{
    Rig rig([](FakeSettingsStore &store) {
        store.set(App, Section, QStringLiteral("CommPort"), QStringLiteral("3"));
        store.failingWrites = {QStringLiteral("CommPort"), QStringLiteral("RecentPhones")};
    });
    rig.settings().CommPort = 8;
    rig.settings().ModemType = 12;
    rig.settings().MessageText = QStringLiteral("bye");
    rig.view().close();
    QCOMPARE(rig.store->writtenKeys(), KeyOrder);
    QCOMPARE(rig.stored(QStringLiteral("CommPort")), std::optional<QString>(QStringLiteral("3")));
    QCOMPARE(rig.stored(QStringLiteral("RecentPhones")), std::nullopt);
    QCOMPARE(rig.stored(QStringLiteral("ModemType")), std::optional<QString>(QStringLiteral("12")));
    QCOMPARE(rig.stored(QStringLiteral("MessageText")), std::optional<QString>(QStringLiteral("bye")));
    QCOMPARE(rig.stored(QStringLiteral("StatusReport")), std::optional<QString>(QStringLiteral("0")));
    QCOMPARE(rig.dialogs->asked().size(), 0);
}

void TestStartup::settingsRoundTrip()
{
    const QStringList values{QStringLiteral("-1"), QStringLiteral("32767"), QStringLiteral("-1"), QStringLiteral("0"),
                             QStringLiteral("-1"), QStringLiteral("Anna: +3934,+1,"), QStringLiteral("a, b\r\nc"),
                             QStringLiteral("0")};
    Rig rig([&](FakeSettingsStore &store) { storeAll(store, values); });
    rig.view().close();
    for (qsizetype i = 0; i < KeyOrder.size(); ++i)
        QCOMPARE(rig.stored(KeyOrder.at(i)).value_or(QStringLiteral("<absent>")), values.at(i));
}

void TestStartup::controlValuesFireOnlyOnRealChange()
{
    Rig rig;
    frmVendrel &v = rig.view();
    QSignalSpy signalBox(v.chkGSMSignal, &QCheckBox::toggled);
    QSignalSpy text(v.txtMessageText, &QPlainTextEdit::textChanged);
    QSignalSpy alphabet(v.cmbAlphabet, &QComboBox::currentIndexChanged);

    rig.console->startup().ApplySettings();
    QCOMPARE(signalBox.size(), 0);
    QCOMPARE(text.size(), 0);
    QCOMPARE(alphabet.size(), 0);

    rig.settings().CheckGSMSignal = -1;
    rig.settings().MessageText = QStringLiteral("changed");
    v.cmbAlphabet->setCurrentIndex(2);
    alphabet.clear();
    rig.console->startup().ApplySettings();
    QCOMPARE(signalBox.size(), 1);
    QCOMPARE(text.size(), 1);
    QCOMPARE(alphabet.size(), 1);
    QCOMPARE(v.cmbAlphabet->currentIndex(), 0);
}

void TestStartup::firstActivationFocusesConnect()
{
    Rig rig;
    frmVendrel &v = rig.view();
    rig.console->show();
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    QTRY_VERIFY(!rig.console->startup().IsLoading());
    QCOMPARE(QApplication::focusWidget(), v.cmdConnect);

    // Later activations leave the focus where the operator put it.
    v.cmdSend->setFocus(Qt::OtherFocusReason);
    rig.console->startup().Form_Activate();
    QCOMPARE(QApplication::focusWidget(), v.cmdSend);
}

void TestStartup::helpFilePath_data()
{
    QTest::addColumn<QString>("placed");   // relative to the temporary root; empty: nowhere
    QTest::addColumn<QString>("expected"); // relative to the exe folder
    QTest::newRow("beside bin") << QStringLiteral("a/b/c/Doc/Pellix.CHM") << QStringLiteral("/../Doc/Pellix.CHM");
    QTest::newRow("only three levels up") << QStringLiteral("a/Doc/Pellix.CHM") << QStringLiteral("/../../../Doc/Pellix.CHM");
    QTest::newRow("installed: the program's data folder")
        << QStringLiteral("a/b/c/share/vendrel/Pellix.CHM") << QStringLiteral("/../share/vendrel/Pellix.CHM");
    QTest::newRow("nowhere: the second path, untested") << QString() << QStringLiteral("/../../../Doc/Pellix.CHM");
    QTest::newRow("a folder of that name is no help file")
        << QStringLiteral("a/b/c/Doc/Pellix.CHM/") << QStringLiteral("/../../../Doc/Pellix.CHM");
}

void TestStartup::helpFilePath()
{
    QFETCH(QString, placed);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString exeFolder = root.path() + QStringLiteral("/a/b/c/bin");
    QVERIFY(QDir().mkpath(exeFolder));
    if (placed.endsWith(QLatin1Char('/'))) {
        QVERIFY(QDir().mkpath(root.path() + QLatin1Char('/') + placed));
    } else if (!placed.isEmpty()) {
        const QString file = root.path() + QLatin1Char('/') + placed;
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile help(file);
        QVERIFY(help.open(QIODevice::WriteOnly));
    }
    // Joined as text, not normalised.
    QCOMPARE(HelpService::locateHelpFile(exeFolder), exeFolder + expected);

    AppFacts facts;
    facts.exeFolder = exeFolder;
    facts.exeBaseName = Section;
    Rig rig({}, facts);
    QCOMPARE(rig.console->help().filePath(), exeFolder + expected);
}

void TestStartup::helpButtonOpensTopic10011()
{
    Rig rig;
    rig.view().cmdHelp->click();
    QCOMPARE(rig.desktop->helpCalls.size(), 1);
    QCOMPARE(rig.desktop->helpCalls.first().file, QStringLiteral("/nowhere/bin/../../../Doc/Pellix.CHM"));
    QCOMPARE(rig.desktop->helpCalls.first().contextId, 10011);
}

void TestStartup::unloadDisconnectsBeforeWritingSettings()
{
    Rig rig;
    rig.modem->setStatus(2, QStringLiteral("Ready"));
    int writtenAtDisconnect = -1;
    rig.modem->onCall(QStringLiteral("Disconnect"), [&] { writtenAtDisconnect = int(rig.store->writtenKeys().size()); });
    QPointer<FakeGsmModem> modem(rig.modem);
    rig.view().TimerGSMSignal->start();

    rig.view().close();
    QCOMPARE(writtenAtDisconnect, 0);
    QCOMPARE(rig.store->writtenKeys(), KeyOrder);
    // Released: the object is gone and the console holds none.
    QVERIFY(modem.isNull());
    QCOMPARE(rig.console->modem(), nullptr);
    QVERIFY(!rig.view().TimerGSMSignal->isActive());
}

void TestStartup::unloadIgnoresDisconnectFailure()
{
    Rig rig;
    rig.modem->raiseOn(QStringLiteral("Disconnect"),
                       RaisedError(qint32(0x80040005), QStringLiteral("Pellix"), QStringLiteral("Connection lost")));
    rig.view().close();
    QCOMPARE(rig.store->writtenKeys(), KeyOrder);
    QCOMPARE(rig.dialogs->asked().size(), 0);
    QVERIFY(!rig.view().isVisible());
}

void TestStartup::unloadRunsOnceWhicheverWayTheWindowCloses_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("title bar") << QStringLiteral("close");
    QTest::newRow("exit button") << QStringLiteral("cmdClose");
    QTest::newRow("escape") << QStringLiteral("escape");
}

void TestStartup::unloadRunsOnceWhicheverWayTheWindowCloses()
{
    QFETCH(QString, how);
    Rig rig;
    int disconnects = 0;
    rig.modem->onCall(QStringLiteral("Disconnect"), [&] { ++disconnects; });
    frmVendrel &v = rig.view();
    rig.console->show();
    v.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v));
    if (how == QLatin1String("close"))
        v.close();
    else if (how == QLatin1String("cmdClose"))
        QTest::mouseClick(v.cmdClose, Qt::LeftButton);
    else
        QTest::keyClick(&v, Qt::Key_Escape);
    QVERIFY(!v.isVisible());
    QCOMPARE(disconnects, 1);
    QCOMPARE(rig.store->writtenKeys(), KeyOrder);
    v.close();
    QCOMPARE(rig.store->writtenKeys(), KeyOrder);
}

void TestStartup::realStoreAndModemSurviveARestart()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const auto start = [] {
        ConsoleServices services;
        services.dialogs = std::make_unique<FakeDialogs>();
        services.desktop = std::make_unique<FakeDesktop>();
        services.settingsStore = std::make_unique<QtSettingsStore>();
        services.utilities = std::make_unique<FakeGsmUtilities>();
        services.facts.exeFolder = QStringLiteral("/nowhere/bin");
        services.facts.exeBaseName = Section;
        services.createModem = [] {
            auto modem = pellix::makePellixGsmModem();
            modem->setTracePath(QString()); // no Pellix.log from a test
            return std::unique_ptr<GsmModem>(std::move(modem));
        };
        return std::make_unique<VendrelConsole>(std::move(services));
    };

    auto first = start();
    QCOMPARE(first->settings().ModemType, -1);
    GsmModem *modem = first->modem();
    QVERIFY(modem);
    // Connected to the library's virtual modem when the window closes.
    modem->Connect(-1, 1, QString(), 2, 60, 0);
    QCOMPARE(modem->Status(), 2);
    QList<qint32> statuses;
    connect(modem, &GsmModem::NewStatus, this, [&](qint32 status) { statuses << status; });
    first->settings().RecentPhones = QStringLiteral("Anna: +3934811111111,+441234");
    first->settings().MessageText = QStringLiteral("two\r\nlines");
    first->settings().CommPort = 12;
    first->view().close();
    QVERIFY(!statuses.isEmpty());
    QCOMPARE(statuses.last(), 0);
    first.reset();

    const auto again = start();
    const VendrelSettings &s = again->settings();
    QCOMPARE(s.ModemType, -1);
    QCOMPARE(s.CommPort, qint16(12));
    QCOMPARE(s.RecentPhones, QStringLiteral("Anna: +3934811111111,+441234"));
    QCOMPARE(s.MessageText, QStringLiteral("two\r\nlines"));
    QVERIFY(again->view().chkAutoReceive->isChecked());
    qunsetenv("XDG_CONFIG_HOME");
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
