// SPDX-License-Identifier: GPL-3.0-or-later
#include "startupcontroller.h"

#include "frmvendrel.h"
#include "gsmmodem.h"
#include "helpservice.h"
#include "multilinetextbox.h"
#include "vendrelsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

StartupController::StartupController(frmVendrel &view, VendrelSettings &settings, SettingsStore &store,
                                     HelpService &help, AppFacts facts, ModemLifetime modem, Parts parts,
                                     QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_settings(settings)
    , m_persistence(settings, store, facts.exeBaseName)
    , m_help(help)
    , m_facts(std::move(facts))
    , m_modemLifetime(std::move(modem))
    , m_parts(std::move(parts))
{
    connect(&m_view, &frmVendrel::activated, this, &StartupController::Form_Activate);
    connect(&m_view, &frmVendrel::unloading, this, &StartupController::Form_Unload);
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
    m_help.locate();
}

void StartupController::LoadSettings()
{
    m_persistence.load();
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

void StartupController::SaveSettings()
{
    m_persistence.save();
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
    m_help.showTopic(HelpTopic);
}
