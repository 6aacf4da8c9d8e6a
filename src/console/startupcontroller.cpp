// SPDX-License-Identifier: GPL-3.0-or-later
#include "startupcontroller.h"

#include "desktop.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "multilinetextbox.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "settingsstore.h"
#include "vendrelsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

StartupController::StartupController(frmVendrel &view, VendrelSettings &settings, SettingsStore &store,
                                     Desktop &desktop, AppFacts facts, ModemLifetime modem, Parts parts,
                                     QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_settings(settings)
    , m_store(store)
    , m_desktop(desktop)
    , m_facts(std::move(facts))
    , m_modemLifetime(std::move(modem))
    , m_parts(std::move(parts))
{
    connect(&m_view, &frmVendrel::Activate, this, &StartupController::Form_Activate);
    connect(&m_view, &frmVendrel::Unload, this, &StartupController::Form_Unload);
    connect(m_view.cmdClose, &QPushButton::clicked, this, &StartupController::cmdClose_Click);
    connect(m_view.cmdHelp, &QPushButton::clicked, this, &StartupController::cmdHelp_Click);
}

void StartupController::Form_Load()
{
    m_isLoading = true;
    // The modem's events reach the window from here on, during the rest of the start-up too.
    m_modem = &m_modemLifetime.create();
    InitForm();
    // The support window keeps the reference and stays hidden.
    m_parts.lendModemToSupport(*m_modem);
}

void StartupController::InitForm()
{
    LoadSettings();
    ApplySettings();
    m_helpFilePath = locateHelpFile(m_facts.exeFolder);
}

QString StartupController::locateHelpFile(const QString &exeFolder)
{
    const QString nearby = exeFolder + QLatin1String("/../Doc/Pellix.CHM");
    if (QFileInfo(nearby).isFile())
        return nearby;
    return exeFolder + QLatin1String("/../../../Doc/Pellix.CHM");
}

std::optional<qint16> StartupController::settingToInteger(const QString &text)
{
    // What a stored number looks like: no hex or octal prefixes, no thousands separators.
    static const QRegularExpression number(
        QStringLiteral("^[ \\t]*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?[ \\t]*$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    try {
        return NumericAnswer::toInteger16(value);
    } catch (const RaisedError &) {
        return std::nullopt; // outside -32768..32767
    }
}

std::optional<QString> StartupController::readValue(const QString &key, bool &failed)
{
    failed = false;
    try {
        return m_store.read(QString::fromLatin1(SettingsApplication), m_facts.exeBaseName, key);
    } catch (...) {
        // Each key of the store is read on its own; one that cannot be read is passed over.
        failed = true;
        return std::nullopt;
    }
}

std::optional<qint16> StartupController::readNumber(const QString &key, const QString &defaultText)
{
    bool failed = false;
    const std::optional<QString> stored = readValue(key, failed);
    if (failed)
        return std::nullopt;
    return settingToInteger(stored.value_or(defaultText));
}

void StartupController::readText(const QString &key, const QString &defaultText, QString &variable)
{
    bool failed = false;
    const std::optional<QString> stored = readValue(key, failed);
    if (!failed)
        variable = stored.value_or(defaultText);
}

void StartupController::LoadSettings()
{
    VendrelSettings &s = m_settings;
    // A key that does not convert leaves its variable as it was.
    const auto number = [this](const char *key, const char *defaultText, auto &variable) {
        if (const std::optional<qint16> value = readNumber(QString::fromLatin1(key), QString::fromLatin1(defaultText)))
            variable = *value; // ModemType: read as 16-bit, widened to 32
    };
    number("ModemType", "-1", s.ModemType);
    number("CommPort", "1", s.CommPort);
    number("CheckGSMSignal", "0", s.CheckGSMSignal);
    number("AutoReceive", "1", s.AutoReceive);
    number("AutoDelete", "0", s.AutoDelete);
    readText(QStringLiteral("RecentPhones"), QStringLiteral("+"), s.RecentPhones);
    readText(QStringLiteral("MessageText"), QStringLiteral("Hi, this is a test message"), s.MessageText);
    number("StatusReport", "0", s.StatusReport);
}

void StartupController::ApplySettings()
{
    VendrelSettings &s = m_settings;
    frmVendrel &v = m_view;

    // 1. The caption carries the program's version.
    v.setWindowTitle(QStringLiteral("Pellix Test Utility (%1.%2.%3)").arg(m_facts.major).arg(m_facts.minor).arg(m_facts.revision));

    // 2. A change runs chkGSMSignal_Click through the box's toggled signal.
    // The signal timer then runs; with no modem connected its first poll writes nothing.
    v.chkGSMSignal->setChecked(s.CheckGSMSignal != 0);

    // 3, 4. Their handlers run in step 8 whether or not these change anything.
    v.chkAutoReceive->setChecked(s.AutoReceive != 0);
    v.chkAutoDelete->setChecked(s.AutoDelete != 0);

    // 5. The recent numbers into the list of cmbPhoneNumber.
    m_parts.loadRecentPhones();

    // 6. txtMessageText_Change copies the text back into MessageText; the counter waits while
    //    loading.
    v.txtMessageText->setText(s.MessageText);

    // 7. A change runs chkStatusReport_Click; StatusReport already holds the saved choice, so no
    //    advice is shown.
    v.chkStatusReport->setChecked(s.StatusReport != 0);

    // 8. Whether or not steps 3 and 4 changed anything: AutoDelete and AutoReceive become -1 or 0
    //    from the boxes and the modem gets AutoDelete; it is not connected, so nothing reconnects.
    m_parts.applyReceiveOptions();

    // 9. The alphabet selection runs cmbAlphabet_Click, which sets the alphabet and the counter
    //    for the loaded text.
    v.cmbAlphabet->setCurrentIndex(0);
    v.cmbClass->setCurrentIndex(0);

    // 10. The entry whose code is ModemType (the simulator when none has it).
    // 11. The ports the library finds, and "COM" + CommPort selected.
    m_parts.fillModemLists();
}

void StartupController::writeValue(const QString &key, const QString &value)
{
    try {
        // A key that cannot be written is passed over; the others are still written.
        (void)m_store.write(QString::fromLatin1(SettingsApplication), m_facts.exeBaseName, key, value);
    } catch (...) {
    }
}

void StartupController::SaveSettings()
{
    const VendrelSettings &s = m_settings;
    writeValue(QStringLiteral("ModemType"), QString::number(s.ModemType));
    writeValue(QStringLiteral("CommPort"), QString::number(s.CommPort));
    writeValue(QStringLiteral("CheckGSMSignal"), QString::number(s.CheckGSMSignal));
    writeValue(QStringLiteral("AutoReceive"), QString::number(s.AutoReceive));
    writeValue(QStringLiteral("AutoDelete"), QString::number(s.AutoDelete));
    writeValue(QStringLiteral("RecentPhones"), s.RecentPhones);
    writeValue(QStringLiteral("MessageText"), s.MessageText);
    writeValue(QStringLiteral("StatusReport"), QString::number(s.StatusReport));
}

void StartupController::Form_Activate()
{
    if (!m_isLoading)
        return;
    m_view.cmdConnect->setFocus(Qt::ActiveWindowFocusReason);
    m_isLoading = false;
}

void StartupController::Form_Unload()
{
    // The support window goes first: it holds the modem that is released below.
    m_parts.unloadSupport();

    // The signal timer dies with the window; a tick after this point would reach a released modem.
    m_view.TimerGSMSignal->stop();

    if (m_modem) {
        // Closing ignores every failure, whatever the connection state.
        m_parts.disconnectModem();
        m_modem = nullptr;
        m_modemLifetime.release();
    }

    SaveSettings();
}

void StartupController::cmdClose_Click()
{
    // Closing runs Form_Unload through the window's Unload.
    m_view.close();
}

void StartupController::cmdHelp_Click()
{
    (void)m_desktop.showHelp(m_helpFilePath, HelpTopic);
}
