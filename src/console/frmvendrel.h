// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class ClickableImage;
class MultiLineTextBox;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class ReportListBox;

// The console's main window as a view: every control with its name (as member and objectName),
// caption, access key, tooltip, list entries, design-time state, font, colour and place, the focus
// order, Esc as the Exit button, and the rule that re-lays the report list and the tool buttons
// when the size changes. What the controls do belongs to the controllers.
class frmVendrel : public QWidget
{
    Q_OBJECT

public:
    explicit frmVendrel(QWidget *parent = nullptr);

    // Twips to pixels at the window's logical dpi.
    int twips(int value) const;

    // The design client area.
    static constexpr int ClientWidthTwips = 8475;
    static constexpr int ClientHeightTwips = 7455;

    // "Modem configuration "
    QGroupBox *Frame3;
    QLabel *Label3;
    QComboBox *cmbModemType;
    QPushButton *cmdHelpModemType;
    QLabel *Label5;
    QComboBox *cmbModemPort;
    QPushButton *cmdHelpModemPort;
    QLabel *lblModemStatus;
    QCheckBox *chkGSMSignal;
    QPushButton *cmdConnect;

    // "Phonebook "
    QGroupBox *Frame4;
    QPushButton *cmdReadPhonebook;
    QPushButton *cmdWritePhonebook;
    QPushButton *cmdDeletePhonebook;

    // "Voice calls "
    QGroupBox *Frame5;
    QPushButton *cmdCallForward;

    // "Receive SMS "
    QGroupBox *Frame2;
    QCheckBox *chkAutoReceive;
    QCheckBox *chkAutoDelete;
    QPushButton *cmdReceive;
    QPushButton *cmdReadStatusReports;
    QPushButton *cmdDeleteSim;

    // "Send SMS "
    QGroupBox *Frame1;
    QLabel *Label1;
    QLabel *Label6;
    QComboBox *cmbPhoneNumber;
    QLabel *Label2;
    QLabel *lblMessageLen;
    MultiLineTextBox *txtMessageText;
    QLabel *Label4;
    QLabel *Label10;
    MultiLineTextBox *txtUDH;
    QLabel *Label9;
    QComboBox *cmbAlphabet;
    QCheckBox *chkStatusReport;
    QLabel *Label7;
    QComboBox *cmbClass;
    QLabel *Label8;
    QLineEdit *txtValidity;
    QPushButton *cmdSend;

    ReportListBox *lstReport;

    // Toolbar docked to the bottom edge.
    QFrame *picToolbar;
    ClickableImage *imgLogo;
    QPushButton *cmdShowSupport;
    QPushButton *cmdShowLogFile;
    QFrame *picButtons;
    QPushButton *cmdHelp;
    QPushButton *cmdClear;
    QPushButton *cmdClose;

    QTimer *TimerGSMSignal;

Q_SIGNALS:
    // The window became the active window.
    void activated();
    // The window is closing (title bar, cmdClose, Esc); emitted once, and the close goes on.
    void unloading();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createControls();
    void applyFonts();
    void useFonts(int stretch);
    bool captionsFit() const;
    void applyColours();
    void setFocusOrder();
    void placeControls();
    void place(QWidget *control, int left, int top, int width, int height);
    // Docks the toolbar, then the three assignments of the resize rule, each on its own.
    void resizeRule();

    bool m_unloaded = false;
};
