// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class Desktop;
class Dialogs;
class GsmUtilities;
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
    // helpFile: the help file path as start-up located it (read when a Help button is pressed).
    ModemPortController(frmVendrel &view, VendrelSettings &settings, GsmUtilities &utilities, ModUtils &utils,
                        Dialogs &dialogs, Desktop &desktop, std::function<QString()> helpFile);
    ~ModemPortController() override;

    // The controller of this window; null when it has none.

    void cmbModemType_Click();
    void SelectModemType();
    void FillPortList();
    // Runs when the focus is about to leave cmbModemPort; Cancel keeps it there.
    void cmbModemPort_Validate(bool &Cancel);
    void cmdHelpModemType_Click();
    void cmdHelpModemPort_Click();

    // "COM#*" on the upper-cased text: COM, at least one decimal digit, then anything.
    static bool IsPortName(const QString &text);
    // The text after its first three characters, read the lenient way and rounded to 16 bits;
    // raises error 6 (overflow) when it does not fit.
    static qint16 PortNumber(const QString &portName);

    // The two help texts with their lines broken by CR LF.
    static QString ModemTypeHelp();
    static QString ModemPortHelp();

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
    GsmUtilities &m_utilities;
    ModUtils &m_utils;
    Dialogs &m_dialogs;
    Desktop &m_desktop;
    std::function<QString()> m_helpFile;

    bool m_validating = false;
    // A mouse press gave the focus away from the port box; its press is still to come.
    bool m_mouseTookFocus = false;
};
