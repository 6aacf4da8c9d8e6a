// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class Dialogs;
class GsmUtilities;
class HelpService;
class ModUtils;
class QWidget;
class frmVendrel;
struct VendrelSettings;

// The choice of modem type and serial port: keeps ModemType and CommPort in step with the two
// lists, restores them at start-up, fills the port list from the ports the library finds, checks
// a typed port name before the focus may leave the port box, and the two help messages.
class ModemPortController : public QObject
{
    Q_OBJECT

public:
    ModemPortController(frmVendrel &view, VendrelSettings &settings, GsmUtilities &gsmUtilities, ModUtils &modUtils,
                        Dialogs &dialogs, HelpService &help);
    ~ModemPortController() override;

    void cmbModemType_Click();
    void SelectModemType();
    void FillPortList();
    // Runs when the focus is about to leave cmbModemPort; Cancel keeps it there.
    void cmbModemPort_Validate(bool &Cancel);
    void cmdHelpModemType_Click();
    void cmdHelpModemPort_Click();

    // "COM#*" on the upper-cased text: COM, at least one decimal digit, then anything.
    static bool isPortName(const QString &text);
    // The text after its first three characters, read the lenient way and rounded to 16 bits;
    // raises error 6 (overflow) when it does not fit.
    static qint16 portNumber(const QString &portName);

    // The two help texts with their lines broken by CR LF.
    static QString modemTypeHelp();
    static QString modemPortHelp();

    static constexpr int ModemTypeHelpTopic = 10022;
    static constexpr int ModemPortHelpTopic = 10025;
    static constexpr char InvalidPortMessage[] = "Please provide a valid serial port number.";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool portHasFocus() const;
    bool inPortBox(const QWidget *widget) const;
    // Runs the validation unless one is already under way; true when the focus may leave.
    bool focusMayLeave();

    frmVendrel &m_view;
    VendrelSettings &m_settings;
    GsmUtilities &m_gsmUtilities;
    ModUtils &m_modUtils;
    Dialogs &m_dialogs;
    HelpService &m_help;

    bool m_validating = false;
    // A mouse press gave the focus away from the port box; its press is still to come.
    bool m_mouseTookFocus = false;
};
