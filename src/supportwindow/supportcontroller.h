// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "frmsupport.h"
#include "gsmmodem.h"

#include <QObject>
#include <QPointer>
#include <QString>

class ClickableImage;
class Desktop;
class HelpService;
class ModUtils;
class QPushButton;
class RaisedError;

// The support window's handlers, and the main window's support, log-file and logo buttons.
//
// The window object lives for the whole run and holds the modem lent by the main window; its view
// is built when it is shown and destroyed when it is closed, and every activation refills it from
// the program and the modem. The handlers catch nothing themselves: where they are connected, a
// RaisedError is shown to the operator with its number, description and source, and the program
// goes on.
class SupportController : public QObject
{
    Q_OBJECT

public:
    // The main window's controls that belong to this feature.
    struct MainWindowButtons
    {
        QPushButton *showSupport;
        QPushButton *showLogFile;
        ClickableImage *logo;
    };

    // The window is shown above mainWindow, as its own dialog.
    SupportController(QWidget &mainWindow, MainWindowButtons buttons, ModUtils &modUtils, Desktop &desktop,
                      HelpService &help, AppFacts facts, QObject *parent = nullptr);
    ~SupportController() override;

    // Called once at start-up; the reference is kept while the window comes and goes.
    void SetModem(GsmModem &theModem);
    GsmModem *modem() const { return m_modem; }

    // The view while the window is shown; null before the first showing and after a close.
    frmSupport *view() const { return m_view; }
    // Shows the window modeless above the main window, building its view when it has none. The
    // activation that follows fills it; without one within ActivationWaitMs it is filled anyway.
    void show();
    static constexpr int ActivationWaitMs = 250;
    // Closes the window (its view goes, the modem reference stays); nothing when not shown.
    void unload();

    // Caption and fields, in the order the operator sees them filled; an error of the modem
    // leaves the fields filled before it.
    void Form_Update();
    void Form_Activate();
    void cmdClose_Click();
    void cmdHelp_Click();
    // Runs without the window too: the main window's log-file button uses it.
    void cmdOpenLogFile_Click();
    void cmdOpenLogFolder_Click();
    void cmdDownloadProfile_Click();
    void cmdSupportRequest_Click();
    void lblSkypeAccount_Click();
    // Both windows' logos.
    void imgLogo_Click();

    // The main window's buttons.
    void cmdShowSupport_Click();
    void cmdShowLogFile_Click();

    static constexpr char LogFileName[] = "Pellix.log";
    static constexpr char MailSubject[] = "Pellix support request";
    // "\n" here is the two characters backslash and n, as the operator may also type them.
    static constexpr char MailBodyTemplate[] =
        R"(Pellix support request from:\n\nCompany :\nName, Surname :\nCity, Country :\nPhone number :\n\n)"
        R"(GSM modem/phone model : [1]\nGSM modem/phone IMEI : [2]\n\nPlease describe your problem or question:\n)"
        R"(...\n\n\nTo get better support, please attach the Pellix.log file zipped (if possible).\n)"
        R"(We'll reply as soon as possible.\n\n)";

    // The temporary folder + "/Pellix.log".
    static QString logFilePath();
    // "Pellix Support (2.6.0)".
    static QString caption(const AppFacts &facts);
    // The template with "[1]" replaced by the brand and model, then "[2]" by the IMEI, then each
    // two-character backslash-n by a line break (CR LF).
    static QString supportMailBody(const QString &modemData, const QString &imei);
    // "mailto:" + to + "?subject=" + subject + "&body=" + body, each part percent-encoded as
    // RFC 6068 asks (UTF-8 octets, everything but the unreserved characters, line breaks as
    // %0D%0A), so that the mail program gets the subject and body exactly, whatever they hold.
    static QString mailtoAddress(const QString &to, const QString &subject, const QString &body);
    static QString chatLink(const QString &account);

private:
    // Runs a handler at its event's edge: a RaisedError reaches the operator in a box.
    void edge(void (SupportController::*handler)());
    void showError(const RaisedError &error);
    void wireView();
    void viewUnloaded();
    static RaisedError cannotOpen(const QString &target);

    QWidget &m_mainWindow;
    ModUtils &m_modUtils;
    Desktop &m_desktop;
    HelpService &m_help;
    AppFacts m_facts;
    QPointer<GsmModem> m_modem;
    QPointer<frmSupport> m_view;
    // An error box shown over this window took the activation away; giving it back is not the
    // operator coming back to the window, and must not wipe what they typed.
    bool m_returningFromBox = false;
    // Shown, and no activation has reached the window since.
    bool m_awaitingActivation = false;
};
