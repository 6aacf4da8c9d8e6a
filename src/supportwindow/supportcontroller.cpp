// SPDX-License-Identifier: GPL-3.0-or-later
#include "supportcontroller.h"

#include "clickableimage.h"
#include "desktop.h"
#include "dialogs.h"
#include "frmsupport.h"
#include "gsmmodem.h"
#include "helpservice.h"
#include "modutils.h"
#include "raisederror.h"
#include "reportlog.h"
#include "startupcontroller.h"
#include "vendor.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

// RFC 6068 2: a header value is UTF-8, and every octet outside the unreserved set is
// percent-encoded. Sub-delimiters that RFC 6068 would let through ("+", "=", "&" among them) are
// encoded too: some mail programs read "+" as a blank, and "&" and "=" split the header fields.
QString encodeHeaderValue(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// RFC 6068 5: line breaks in a body are CR LF, whatever form they had.
QString crLfLineBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

} // namespace

SupportController::SupportController(QWidget &mainWindow, MainWindowButtons buttons, ModUtils &modUtils,
                                     Desktop &desktop, HelpService &help, AppFacts facts, QObject *parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
    , m_modUtils(modUtils)
    , m_desktop(desktop)
    , m_help(help)
    , m_facts(std::move(facts))
{
    connect(buttons.showSupport, &QPushButton::clicked, this, [this] { edge(&SupportController::cmdShowSupport_Click); });
    connect(buttons.showLogFile, &QPushButton::clicked, this, [this] { edge(&SupportController::cmdShowLogFile_Click); });
    connect(buttons.logo, &ClickableImage::clicked, this, [this] { edge(&SupportController::imgLogo_Click); });

    // Coming back from an error box over the window is not an activation by the operator; any
    // other window taking the focus after that box ends the exception.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
        if (window && (!m_view || window != m_view->windowHandle()))
            m_returningFromBox = false;
    });
    // Nor does it survive the focus going to another program: coming back from there is the
    // operator's return, whichever window of ours they come back to.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            m_returningFromBox = false;
    });
}

SupportController::~SupportController()
{
    delete m_view.data();
}

void SupportController::SetModem(GsmModem &theModem)
{
    m_modem = &theModem;
}

void SupportController::edge(void (SupportController::*handler)())
{
    try {
        (this->*handler)();
    } catch (const RaisedError &error) {
        showError(error);
    }
}

void SupportController::showError(const RaisedError &error)
{
    const bool overView = m_view && m_view->isActiveWindow();
    m_modUtils.ShowMessageBox(error.description(), Dialogs::Exclamation,
                           QStringLiteral("Error #%1 from %2").arg(ReportLog::errorCode(error.number())).arg(error.source()));
    // A real box took the activation with it, and the window gets it back once the box has gone.
    if (overView && m_view && !m_view->isActiveWindow())
        m_returningFromBox = true;
}

RaisedError SupportController::cannotOpen(const QString &target)
{
    // The one description of every target the desktop could not open.
    return RaisedError(440, QString::fromLatin1(ModUtils::ErrorSource),
                       QStringLiteral("Cannot find <") + target
                           + QStringLiteral("> or a Windows application associated to this kind of file"));
}

void SupportController::show()
{
    if (!m_view) {
        m_view = new frmSupport(&m_mainWindow);
        wireView();
    }
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
    // A window manager may refuse the activation (focus stealing prevention); the fields are then
    // filled all the same, once, when no activation has come in time.
    m_awaitingActivation = true;
    QTimer::singleShot(ActivationWaitMs, this, [this] {
        if (!m_awaitingActivation)
            return;
        m_awaitingActivation = false;
        edge(&SupportController::Form_Update);
    });
}

void SupportController::wireView()
{
    frmSupport *v = m_view;
    connect(v, &frmSupport::activated, this, [this] { edge(&SupportController::Form_Activate); });
    connect(v, &frmSupport::unloading, this, &SupportController::viewUnloaded);
    const auto on = [this](QPushButton *button, void (SupportController::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { edge(handler); });
    };
    on(v->cmdClose, &SupportController::cmdClose_Click);
    on(v->cmdHelp, &SupportController::cmdHelp_Click);
    on(v->cmdOpenLogFile, &SupportController::cmdOpenLogFile_Click);
    on(v->cmdOpenLogFolder, &SupportController::cmdOpenLogFolder_Click);
    on(v->cmdDownloadProfile, &SupportController::cmdDownloadProfile_Click);
    on(v->cmdSupportRequest, &SupportController::cmdSupportRequest_Click);
    connect(v->lblSkypeAccount, &ClickableImage::clicked, this, [this] { edge(&SupportController::lblSkypeAccount_Click); });
    connect(v->imgLogo, &ClickableImage::clicked, this, [this] { edge(&SupportController::imgLogo_Click); });
}

void SupportController::viewUnloaded()
{
    // The view goes once its close has finished; a showing from now on builds a new one.
    if (frmSupport *closing = m_view) {
        m_view.clear();
        closing->disconnect(this);
        closing->deleteLater();
    }
    m_returningFromBox = false;
    m_awaitingActivation = false;
}

void SupportController::unload()
{
    if (m_view)
        m_view->close();
}

QString SupportController::caption(const AppFacts &facts)
{
    return QStringLiteral("Pellix Support (%1.%2.%3)").arg(facts.major).arg(facts.minor).arg(facts.revision);
}

QString SupportController::logFilePath()
{
    return ModUtils::GetTempFolder() + QLatin1Char('/') + QLatin1String(LogFileName);
}

void SupportController::Form_Activate()
{
    m_awaitingActivation = false;
    if (m_returningFromBox) {
        m_returningFromBox = false;
        return;
    }
    Form_Update();
}

void SupportController::Form_Update()
{
    frmSupport *v = m_view;
    if (!v)
        return;
    v->setWindowTitle(caption(m_facts));
    v->txtLogFilename->setText(QLatin1String(LogFileName));
    v->txtLogPathname->setText(ModUtils::GetLongPath(ModUtils::GetTempFolder()));
    if (m_modem) {
        // Brand first, then model, as the modem is asked; blanks trimmed from the whole only.
        const QString manufacturer = m_modem->Manufacturer();
        const QString model = m_modem->Model();
        v->txtModemData->setText((manufacturer + QLatin1Char(' ') + model).trimmed());
        v->txtModemIMEI->setText(m_modem->IMEI());
    }
    v->txtSupportEmail->setText(QString::fromLatin1(Vendor::SupportEmail));
    v->txtDownloadModemProfiles->setText(QString::fromLatin1(Vendor::ProfileDownloadPage));
    v->lblSkypeAccount->setText(QString::fromLatin1(Vendor::ChatAccount));
}

void SupportController::cmdClose_Click()
{
    unload();
}

void SupportController::cmdHelp_Click()
{
    m_help.showTopic(StartupController::HelpTopic);
}

void SupportController::cmdOpenLogFile_Click()
{
    m_modUtils.OpenDocument(logFilePath());
}

void SupportController::cmdOpenLogFolder_Click()
{
    // The desktop's file manager, never a command line: the folder's name reaches no shell.
    const QString folder = ModUtils::GetTempFolder();
    if (!m_desktop.openFolder(folder))
        throw cannotOpen(folder);
}

void SupportController::cmdDownloadProfile_Click()
{
    if (m_view)
        m_modUtils.OpenDocument(m_view->txtDownloadModemProfiles->text());
}

void SupportController::imgLogo_Click()
{
    m_modUtils.OpenDocument(QString::fromLatin1(Vendor::WebSite));
}

QString SupportController::chatLink(const QString &account)
{
    return QStringLiteral("skype:") + account + QStringLiteral("?chat");
}

void SupportController::lblSkypeAccount_Click()
{
    if (m_view)
        m_modUtils.OpenDocument(chatLink(m_view->lblSkypeAccount->text()));
}

QString SupportController::supportMailBody(const QString &modemData, const QString &imei)
{
    QString body = QString::fromLatin1(MailBodyTemplate);
    body.replace(QLatin1String("[1]"), modemData);
    body.replace(QLatin1String("[2]"), imei);
    body.replace(QLatin1String("\\n"), QLatin1String("\r\n"));
    return body;
}

QString SupportController::mailtoAddress(const QString &to, const QString &subject, const QString &body)
{
    return QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(to, "@"))
        + QStringLiteral("?subject=") + encodeHeaderValue(subject) + QStringLiteral("&body=")
        + encodeHeaderValue(crLfLineBreaks(body));
}

void SupportController::cmdSupportRequest_Click()
{
    if (!m_view)
        return;
    const QString body = supportMailBody(m_view->txtModemData->text(), m_view->txtModemIMEI->text());
    m_modUtils.OpenDocument(mailtoAddress(QString::fromLatin1(Vendor::SupportEmail), QString::fromLatin1(MailSubject), body));
}

void SupportController::cmdShowSupport_Click()
{
    show();
}

void SupportController::cmdShowLogFile_Click()
{
    cmdOpenLogFile_Click();
}
