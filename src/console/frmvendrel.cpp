// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmvendrel.h"

#include "clickableimage.h"
#include "consoleart.h"
#include "multilinetextbox.h"
#include "reportlistbox.h"
#include "smsobjects.h"
#include "vendor.h"
#include "twips.h"
#include "viewcontrols.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>

#include <initializer_list>
#include <utility>

namespace {

using ViewControls::button;
using ViewControls::label;
using ViewControls::make;
using ViewControls::plainCaption;

// The window was drawn with MS Sans Serif 8.25 pt and Arial; these are the closest sans families
// a Linux desktop usually has, in order of metric likeness.
QStringList sansFamilies()
{
    return {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
            QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};
}

QFont sansFont(qreal points, bool bold, int stretch = QFont::Unstretched)
{
    QFont font;
    font.setFamilies(sansFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(false);
    font.setStretch(stretch);
    return font;
}

constexpr qreal WindowPoints = 8.25;
constexpr qreal FramePoints = 11.25;
constexpr qreal HelpButtonPoints = 9.75;
// Narrower than this, text gets hard to read; captions are clipped instead.
constexpr int MinimumStretch = 75;

struct Entry
{
    const char *text;
    int code;
};

void fill(QComboBox *list, std::initializer_list<Entry> entries)
{
    for (const Entry &entry : entries)
        list->addItem(QString::fromLatin1(entry.text), entry.code);
    // Nothing is selected at design; start-up chooses.
    list->setCurrentIndex(-1);
}



QCheckBox *checkBox(QWidget *parent, const char *name, const char *caption, const char *tooltip, bool ticked)
{
    auto *control = make<QCheckBox>(parent, name);
    control->setText(QString::fromLatin1(caption));
    control->setToolTip(QString::fromLatin1(tooltip));
    control->setChecked(ticked);
    return control;
}


QGroupBox *frame(QWidget *parent, const char *name, const char *caption)
{
    auto *control = make<QGroupBox>(parent, name);
    control->setTitle(QString::fromLatin1(caption));
    control->setFlat(false);
    return control;
}

QComboBox *dropDownList(QWidget *parent, const char *name)
{
    auto *control = make<QComboBox>(parent, name);
    control->setEditable(false);
    return control;
}

QComboBox *comboBox(QWidget *parent, const char *name)
{
    auto *control = make<QComboBox>(parent, name);
    control->setEditable(true);
    // The operator's typing must not add list entries by itself: the recent numbers and the
    // port list have their own rules.
    control->setInsertPolicy(QComboBox::NoInsert);
    control->setDuplicatesEnabled(true);
    return control;
}

} // namespace

frmVendrel::frmVendrel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmVendrel"));
    setWindowTitle(QStringLiteral("Pellix Test utility"));
    setWindowIcon(ConsoleArt::windowIcon());
    setFont(sansFont(WindowPoints, false));

    createControls();
    applyColours();
    placeControls();
    applyFonts();
    setFocusOrder();

    // The Exit button is the window's cancel button: Esc anywhere presses it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdClose, &QPushButton::click);

    resize(twips(ClientWidthTwips), twips(ClientHeightTwips));
    resizeRule();
}

int frmVendrel::twips(int value) const
{
    return Twips::toPixels(*this, value);
}

void frmVendrel::createControls()
{
    // --- Modem configuration
    Frame3 = frame(this, "Frame3", "Modem configuration ");
    cmbModemType = dropDownList(Frame3, "cmbModemType");
    fill(cmbModemType, {
        {"No modem (use simulator)", -1},
        {"Audiotel", 1},
        {"Digicom", 10},
        {"Falcom", 5},
        {"Huawei", 15},
        {"Motorola", 8},
        {"Nokia old phones (Nokia OS)", 3},
        {"Nokia Series 40 (dp1.0)", 40},
        {"Nokia Series 40 (dp2.0)", 40},
        {"Nokia Series 40 (1st)", 41},
        {"Nokia Series 40 (2nd)", 42},
        {"Nokia Series 40 (3rd)", 43},
        {"Nokia Series 40 (5th)", 45},
        {"Nokia Series 40 (6th)", 46},
        {"Nokia or Symbian S60 (1st)", 61},
        {"Nokia or Symbian S60 (2nd)", 62},
        {"Nokia or Symbian S60 (3rd)", 63},
        {"Nokia or Symbian S60 (5th)", 65},
        {"Siemens", 4},
        {"Sony Ericsson", 7},
        {"Teltonika", 12},
        {"Wavecom", 2},
        {"Others...(profile on Pellix.ini)", 0},
    });
    Label3 = label(Frame3, "Label3", "Modem &type ", cmbModemType);
    cmdHelpModemType = button(Frame3, "cmdHelpModemType", "?", "Show Help");
    cmbModemPort = comboBox(Frame3, "cmbModemPort");
    Label5 = label(Frame3, "Label5", "Modem &port", cmbModemPort);
    cmdHelpModemPort = button(Frame3, "cmdHelpModemPort", "?", "Show Help");
    lblModemStatus = label(Frame3, "lblModemStatus", "Modem status: Disconnected ");
    chkGSMSignal = checkBox(Frame3, "chkGSMSignal", "C&heck GSM signal ", "Activate GSM signal level measuring", false);
    cmdConnect = button(Frame3, "cmdConnect", "&Connect", "Open/Close modem communication");

    // --- Phonebook
    Frame4 = frame(this, "Frame4", "Phonebook ");
    cmdReadPhonebook = button(Frame4, "cmdReadPhonebook", "Read ph&onebook", "Read phonebook entries from SIM");
    cmdWritePhonebook = button(Frame4, "cmdWritePhonebook", "&Insert...", "Insert a phonebook entry");
    cmdDeletePhonebook = button(Frame4, "cmdDeletePhonebook", "D&elete...", "Delete one or more phonebook entries");

    // --- Voice calls
    Frame5 = frame(this, "Frame5", "Voice calls ");
    cmdCallForward = button(Frame5, "cmdCallForward", "For&ward calls...",
                            "Forward incoming voice calls to a different phone number");

    // --- Receive SMS
    Frame2 = frame(this, "Frame2", "Receive SMS ");
    chkAutoReceive = checkBox(Frame2, "chkAutoReceive", "&Auto receive SMS",
                              "Notify received messages and status reports in real time (if unchacked, they will be stored on SIM)",
                              true);
    chkAutoDelete = checkBox(Frame2, "chkAutoDelete", "&Auto delete SMS ",
                             "Auto delete messages after they have been read from SIM", true);
    cmdReceive = button(Frame2, "cmdReceive", "&Read received SMS", "Read received messages from SIM");
    cmdReadStatusReports = button(Frame2, "cmdReadStatusReports", "Read &status reports", "Read status reports from SIM");
    cmdDeleteSim = button(Frame2, "cmdDeleteSim", "D&elete SIM msg...", "Delete one or more messages from SIM");

    // --- Send SMS
    Frame1 = frame(this, "Frame1", "Send SMS ");
    cmbPhoneNumber = comboBox(Frame1, "cmbPhoneNumber");
    cmbPhoneNumber->setEditText(QStringLiteral("+"));
    Label1 = label(Frame1, "Label1", "&Phone number ", cmbPhoneNumber);
    Label6 = label(Frame1, "Label6", "(e.g. +3934811111111)");
    Label6->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtMessageText = make<MultiLineTextBox>(Frame1, "txtMessageText");
    txtMessageText->setText(QStringLiteral("Hi, this is a test message\r\n"));
    Label2 = label(Frame1, "Label2", "&Message text ", txtMessageText);
    lblMessageLen = label(Frame1, "lblMessageLen", "0/160 (1 sms)");
    lblMessageLen->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtUDH = make<MultiLineTextBox>(Frame1, "txtUDH");
    txtUDH->setMaxLength(280);
    Label4 = label(Frame1, "Label4", "&User Data Header ", txtUDH);
    Label10 = label(Frame1, "Label10", "(hex format)");
    Label10->setAlignment(Qt::AlignRight | Qt::AlignTop);
    cmbAlphabet = dropDownList(Frame1, "cmbAlphabet");
    fill(cmbAlphabet,
         {{"Text (7 bit)", AlphabetGsm7}, {"Binary (8 bit)", AlphabetBinary}, {"Unicode (16 bit)", AlphabetUcs2}});
    Label9 = label(Frame1, "Label9", "Alp&habet ", cmbAlphabet);
    chkStatusReport = checkBox(Frame1, "chkStatusReport", "Delivery r&eceipt ",
                               "Require a status report (delivery receipt) for this message", true);
    cmbClass = dropDownList(Frame1, "cmbClass");
    fill(cmbClass, {{"None", -1}, {"0 - Flash SMS", 0}, {"1 - ME specific", 1}, {"2 - SIM specific", 2},
                    {"3 - TE specific", 3}});
    Label7 = label(Frame1, "Label7", "&Class ", cmbClass);
    txtValidity = make<QLineEdit>(Frame1, "txtValidity");
    Label8 = label(Frame1, "Label8", "&Validity (minutes) ", txtValidity);
    Label8->setWordWrap(true);
    cmdSend = button(Frame1, "cmdSend", "&Send SMS", "Send SMS message");

    // --- Report list, with the welcome lines it carries at design.
    lstReport = make<ReportListBox>(this, "lstReport");
    // Neither a caption nor a label of its own to be read by.
    lstReport->setAccessibleName(QStringLiteral("Report"));
    for (const char *line : {"", "WELCOME!  TO SEND YOUR FIRST SMS:", "", "  1.  Select Modem type and Port",
                             "  2.  Click on [Connect]", "  3.  Wait until your modem is READY...",
                             "  4.  ... Now you can start sending and receiving SMS messages.", "",
                             "Please click on [?] or [Support] for further help.", "   "})
        lstReport->addItem(QString::fromLatin1(line));

    // --- Toolbar
    picToolbar = make<QFrame>(this, "picToolbar");
    picToolbar->setFrameShape(QFrame::NoFrame);
    imgLogo = make<ClickableImage>(picToolbar, "imgLogo");
    ViewControls::toolTip(imgLogo, QString::fromLatin1(Vendor::WebSiteHost));
    imgLogo->setCursor(Qt::PointingHandCursor);
    imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdShowSupport = button(picToolbar, "cmdShowSupport", "Show S&upport", "Show support form");
    cmdShowLogFile = button(picToolbar, "cmdShowLogFile", "Show &Log file", "Show application log file");
    picButtons = make<QFrame>(picToolbar, "picButtons");
    picButtons->setFrameShape(QFrame::NoFrame);
    cmdHelp = button(picButtons, "cmdHelp", "?", "Show Help");
    cmdClear = button(picButtons, "cmdClear", "", "Clean report contents");
    cmdClear->setIcon(ConsoleArt::clearIcon());
    cmdClose = button(picButtons, "cmdClose", "", "Exit");
    cmdClose->setIcon(ConsoleArt::exitIcon());

    TimerGSMSignal = new QTimer(this);
    TimerGSMSignal->setObjectName(QStringLiteral("TimerGSMSignal"));
    TimerGSMSignal->setInterval(10000);
}

void frmVendrel::applyFonts()
{
    // The window was laid out for MS Sans Serif, which is narrower than most Linux sans fonts: the
    // fonts are narrowed (a condensed face where the family has one, else a synthetic stretch)
    // until every caption fits its design rectangle.
    for (int stretch = QFont::Unstretched; stretch >= MinimumStretch; stretch -= 3) {
        useFonts(stretch);
        if (captionsFit())
            break;
    }
}

void frmVendrel::useFonts(int stretch)
{
    // Every control gets its font explicitly, so that a frame's caption font does not reach the
    // controls inside it.
    const QFont regular = sansFont(WindowPoints, false, stretch);
    const QFont bold = sansFont(WindowPoints, true, stretch);
    setFont(regular);
    for (QWidget *control : findChildren<QWidget *>())
        control->setFont(regular);
    for (QGroupBox *group : {Frame1, Frame2, Frame3, Frame4, Frame5}) {
        group->setFont(sansFont(FramePoints, true));
        for (QWidget *child : group->findChildren<QWidget *>())
            child->setFont(regular);
    }
    for (QWidget *control : std::initializer_list<QWidget *>{cmdConnect, cmdReadPhonebook, cmdSend, cmdShowSupport,
                                                             Label1, Label2})
        control->setFont(bold);
    const QFont helpFont = sansFont(HelpButtonPoints, true, stretch);
    cmdHelpModemType->setFont(helpFont);
    cmdHelpModemPort->setFont(helpFont);
    cmdHelp->setFont(helpFont);
}

bool frmVendrel::captionsFit() const
{
    const auto fits = [](const QWidget *control, const QString &text, int room) {
        return control->fontMetrics().horizontalAdvance(text) <= room;
    };
    for (const QLabel *caption : findChildren<QLabel *>()) {
        const QString text = plainCaption(caption->text());
        if (text.isEmpty() || caption == imgLogo)
            continue;
        const QStringList pieces = caption->wordWrap() ? text.split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList{text};
        for (const QString &piece : pieces)
            if (!fits(caption, piece, caption->width()))
                return false;
    }
    for (const QCheckBox *box : findChildren<QCheckBox *>()) {
        const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box)
            + box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
        if (!fits(box, plainCaption(box->text()), box->width() - indicator - 2))
            return false;
    }
    for (const QPushButton *push : findChildren<QPushButton *>()) {
        const int margins = 2 * (push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) / 2
                                 + push->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push));
        if (!push->text().isEmpty() && !fits(push, plainCaption(push->text()), push->width() - margins))
            return false;
    }
    return true;
}

void frmVendrel::applyColours()
{
    QPalette status = lblModemStatus->palette();
    status.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblModemStatus->setPalette(status);

    for (QLabel *hint : {Label6, Label10}) {
        QPalette grey = hint->palette();
        // The desktop's colour for hint text, readable on the window background.
        grey.setColor(QPalette::WindowText, grey.color(QPalette::Active, QPalette::PlaceholderText));
        hint->setPalette(grey);
    }

    for (QWidget *control : std::initializer_list<QWidget *>{cmbPhoneNumber, txtMessageText}) {
        QPalette red = control->palette();
        red.setColor(QPalette::Active, QPalette::Text, QColor(255, 0, 0));
        red.setColor(QPalette::Inactive, QPalette::Text, QColor(255, 0, 0));
        control->setPalette(red);
    }

    QPalette yellow = lstReport->palette();
    yellow.setColor(QPalette::Base, QColor(255, 255, 192));
    lstReport->setPalette(yellow);
}

void frmVendrel::place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void frmVendrel::placeControls()
{
    place(Frame3, 120, 120, 4035, 1815);
    place(Label3, 120, 360, 915, 195);
    place(cmbModemType, 1050, 300, 2625, 315);
    place(cmdHelpModemType, 3660, 300, 315, 315);
    place(Label5, 120, 720, 840, 195);
    place(cmbModemPort, 1050, 660, 2625, 315);
    place(cmdHelpModemPort, 3660, 660, 315, 315);
    place(lblModemStatus, 120, 1080, 3855, 195);
    place(chkGSMSignal, 120, 1380, 1695, 315);
    place(cmdConnect, 2160, 1320, 1755, 375);

    place(Frame4, 120, 2040, 1935, 1275);
    place(cmdReadPhonebook, 120, 360, 1695, 375);
    place(cmdWritePhonebook, 120, 780, 795, 375);
    place(cmdDeletePhonebook, 1020, 780, 795, 375);

    place(Frame5, 120, 3420, 1935, 1035);
    place(cmdCallForward, 120, 540, 1695, 375);

    place(Frame2, 2160, 2040, 1995, 2415);
    place(chkAutoReceive, 120, 360, 1692, 315);
    place(chkAutoDelete, 120, 660, 1695, 315);
    place(cmdReceive, 120, 1080, 1755, 375);
    place(cmdReadStatusReports, 120, 1500, 1755, 375);
    place(cmdDeleteSim, 120, 1920, 1755, 375);

    place(Frame1, 4260, 120, 4095, 4335);
    place(Label1, 120, 420, 1290, 195);
    place(Label6, 2280, 420, 1665, 195);
    place(cmbPhoneNumber, 120, 660, 3825, 315);
    place(Label2, 120, 1050, 1200, 195);
    place(lblMessageLen, 2130, 1050, 1815, 195);
    place(txtMessageText, 120, 1260, 3855, 975);
    place(Label4, 120, 2310, 1335, 195);
    place(Label10, 3120, 2310, 825, 195);
    place(txtUDH, 120, 2520, 3855, 555);
    place(Label9, 120, 3240, 675, 195);
    place(cmbAlphabet, 900, 3180, 1275, 315);
    place(chkStatusReport, 2400, 3180, 1575, 315);
    place(Label7, 120, 3600, 420, 195);
    place(cmbClass, 900, 3540, 1275, 315);
    place(Label8, 120, 3900, 675, 375);
    place(txtValidity, 900, 3900, 1275, 315);
    place(cmdSend, 2400, 3840, 1575, 375);

    place(lstReport, 120, 4560, 8235, 2010);

    // The toolbar's own place follows the window (resizeRule); its height is fixed.
    place(picToolbar, 0, ClientHeightTwips - 435, ClientWidthTwips, 435);
    place(imgLogo, 120, 30, 1200, 360);
    imgLogo->setPixmap(ConsoleArt::logo(imgLogo->size(), devicePixelRatioF()));
    place(cmdShowSupport, 1560, 30, 1755, 375);
    place(cmdShowLogFile, 3420, 30, 1755, 375);
    place(picButtons, 6960, 30, 1395, 435);
    place(cmdHelp, 0, 0, 435, 375);
    place(cmdClear, 480, 0, 435, 375);
    place(cmdClose, 960, 0, 435, 375);
}

void frmVendrel::setFocusOrder()
{
    const QList<QWidget *> order{cmbModemType, cmbModemPort, chkGSMSignal, cmdConnect, cmdReadPhonebook,
                                 cmdWritePhonebook, cmdDeletePhonebook, cmdCallForward, chkAutoReceive,
                                 chkAutoDelete, cmdReceive, cmdReadStatusReports, cmdDeleteSim, cmbPhoneNumber,
                                 txtMessageText, txtUDH, cmbAlphabet, cmbClass, txtValidity, chkStatusReport,
                                 cmdSend, lstReport, cmdShowSupport, cmdShowLogFile};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    // The small "?" and tool buttons are reached by mouse (and Esc) only. A click still gives them
    // the focus, as any control out of the Tab order takes it when clicked: the port box's check
    // runs when the focus is about to leave it, and so before such a button acts.
    for (QPushButton *outside : {cmdHelpModemType, cmdHelpModemPort, cmdHelp, cmdClear, cmdClose})
        outside->setFocusPolicy(Qt::ClickFocus);
}

void frmVendrel::resizeRule()
{
    const int clientWidth = width();
    const int clientHeight = height();
    const int toolbarHeight = picToolbar->height();
    picToolbar->setGeometry(0, clientHeight - toolbarHeight, clientWidth, toolbarHeight);

    const int margin = lstReport->x();
    // A negative size is refused by the control; the refused assignment is skipped and the others
    // are still made.
    const int listWidth = clientWidth - 2 * margin;
    if (listWidth >= 0)
        lstReport->resize(listWidth, lstReport->height());
    const int listHeight = clientHeight - lstReport->y() - toolbarHeight;
    if (listHeight >= 0)
        lstReport->resize(lstReport->width(), listHeight);
    picButtons->move(clientWidth - margin - picButtons->width(), picButtons->y());
}

bool frmVendrel::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate)
        Q_EMIT activated();
    return handled;
}

void frmVendrel::closeEvent(QCloseEvent *event)
{
    // The close is never refused.
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    Q_EMIT unloading();
}

void frmVendrel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    resizeRule();
}
