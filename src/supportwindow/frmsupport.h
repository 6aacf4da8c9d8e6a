// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class ClickableImage;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The support window as a view: every control with its name (as member and objectName), caption,
// access key, tooltip, font, colour and place in twips, the focus order, Esc as the Close button,
// a fixed client area and its place at the centre of the screen. Given the main window as parent
// it is that window's own dialog: modeless, above it, with its fonts. What the controls do
// belongs to SupportController.
class frmSupport : public QWidget
{
    Q_OBJECT

public:
    explicit frmSupport(QWidget *parent = nullptr);

    // Twips to pixels at this window's logical dpi, by the main window's one conversion.
    int twips(int value) const;

    static constexpr int ClientWidthTwips = 8175;
    static constexpr int ClientHeightTwips = 4650;

    // Upper group: each button with its field to the right.
    QFrame *Picture1;
    QPushButton *cmdHelp;
    QPushButton *cmdOpenLogFile;
    QLineEdit *txtLogFilename;
    QPushButton *cmdOpenLogFolder;
    QLineEdit *txtLogPathname;
    QPushButton *cmdDownloadProfile;
    QLineEdit *txtDownloadModemProfiles;
    QPushButton *cmdSupportRequest;
    QLineEdit *txtSupportEmail;

    // Lower group: the modem's identity, which the operator may correct before mailing.
    QFrame *Picture2;
    QLabel *Label1;
    QLineEdit *txtModemData;
    QLabel *Label2;
    QLineEdit *txtModemIMEI;

    QLabel *Label3;
    ClickableImage *lblSkypeAccount;
    ClickableImage *imgLogo;
    QPushButton *cmdClose;

Q_SIGNALS:
    // The window became the active window.
    void activated();
    // The window is closing (cmdClose, Esc, title bar); emitted once, and the close goes on.
    void unloading();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void applyFonts();
    void applyColours();
    void placeControls();
    void setFocusOrder();
    void place(QWidget *control, int left, int top, int width, int height);
    // A label sized to its caption: the design's left and top, the width of its text.
    void placeSizedToText(QLabel *label, int left, int top, int height);
    void centreOnScreen();

    bool m_placed = false;
    bool m_unloaded = false;
};
