// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmsupport.h"

#include "clickableimage.h"
#include "consoleart.h"
#include "vendor.h"
#include "twips.h"
#include "viewcontrols.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <initializer_list>

namespace {

using ViewControls::button;
using ViewControls::label;
using ViewControls::make;




// A field without a label is read by what it holds, as the button beside it says.
QLineEdit *field(QWidget *parent, const char *name, bool readOnly, const char *readAs = "")
{
    auto *control = make<QLineEdit>(parent, name);
    if (*readAs)
        control->setAccessibleName(QString::fromLatin1(readAs));
    // Read-only fields still take the focus, so that their text can be selected and copied.
    control->setReadOnly(readOnly);
    return control;
}

// A group drawn as the main window's frames are, so that the two windows look alike.
QFrame *panel(QWidget *parent, const char *name)
{
    auto *control = make<QFrame>(parent, name);
    control->setFrameShape(QFrame::StyledPanel);
    control->setFrameShadow(QFrame::Sunken);
    return control;
}

} // namespace

frmSupport::frmSupport(QWidget *parent)
    // A dialog frame: a title and a close button, no minimise or maximise; owned by the main
    // window when given one, which keeps it above that window.
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmSupport"));
    setWindowModality(Qt::NonModal);
    setWindowIcon(ConsoleArt::windowIcon());
    // The main window chose its fonts so that its captions fit; this window uses the same.
    if (parent)
        setFont(parent->font());

    createControls();
    applyFonts();
    applyColours();
    placeControls();
    setFocusOrder();

    // cmdClose is the window's cancel button: Esc anywhere presses it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdClose, &QPushButton::click);

    setFixedSize(twips(ClientWidthTwips), twips(ClientHeightTwips));
}

int frmSupport::twips(int value) const
{
    return Twips::toPixels(*this, value);
}

void frmSupport::createControls()
{
    // cmdClose comes first: it holds the first focus (tab index 0).
    cmdClose = button(this, "cmdClose", "&Close", "");

    Picture1 = panel(this, "Picture1");
    cmdHelp = button(Picture1, "cmdHelp", "Show &Help && Reference", "Show Help file");
    cmdOpenLogFile = button(Picture1, "cmdOpenLogFile", "Show &Log file", "Show modem communication log file");
    txtLogFilename = field(Picture1, "txtLogFilename", true, "Log file");
    cmdOpenLogFolder = button(Picture1, "cmdOpenLogFolder", "&Open Log folder", "Show modem communication log folder");
    txtLogPathname = field(Picture1, "txtLogPathname", true, "Log folder");
    cmdDownloadProfile = button(Picture1, "cmdDownloadProfile", "&Download modem profile...",
                                "Download a modem profile (Pellix.ini) to extend software compatibility with your modem/phone");
    txtDownloadModemProfiles = field(Picture1, "txtDownloadModemProfiles", true, "Modem profiles");
    cmdSupportRequest = button(Picture1, "cmdSupportRequest", "&Contact Support", "Send support request by mail");
    txtSupportEmail = field(Picture1, "txtSupportEmail", true, "Support e-mail");

    Picture2 = panel(this, "Picture2");
    txtModemData = field(Picture2, "txtModemData", false);
    Label1 = label(Picture2, "Label1", "&Modem brand and model : ", txtModemData);
    txtModemIMEI = field(Picture2, "txtModemIMEI", false);
    Label2 = label(Picture2, "Label2", "Modem &IMEI code : ", txtModemIMEI);

    lblSkypeAccount = make<ClickableImage>(this, "lblSkypeAccount");
    lblSkypeAccount->setTextFormat(Qt::PlainText);
    lblSkypeAccount->setCursor(Qt::PointingHandCursor);
    lblSkypeAccount->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A label's access key moves the focus to the next control of the focus order that can take
    // it; after Label3 only the chat link follows, which cannot, so the order wraps to cmdClose.
    Label3 = label(this, "Label3", "Contact us on Skyp&e: ", cmdClose);

    imgLogo = make<ClickableImage>(this, "imgLogo");
    ViewControls::toolTip(imgLogo, QString::fromLatin1(Vendor::WebSiteHost));
    imgLogo->setCursor(Qt::PointingHandCursor);
    imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void frmSupport::applyFonts()
{
    for (QWidget *control : std::initializer_list<QWidget *>{cmdHelp, cmdDownloadProfile, cmdSupportRequest, cmdClose}) {
        QFont bold = control->font();
        bold.setBold(true);
        control->setFont(bold);
    }
    QFont link = lblSkypeAccount->font();
    link.setBold(true);
    link.setUnderline(true);
    lblSkypeAccount->setFont(link);
}

void frmSupport::applyColours()
{
    for (QLineEdit *readOnly : {txtLogFilename, txtLogPathname, txtDownloadModemProfiles, txtSupportEmail}) {
        QPalette face = readOnly->palette();
        // The button face tells the operator at a glance that these fields are for reading.
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            face.setColor(group, QPalette::Base, face.color(group, QPalette::Button));
        readOnly->setPalette(face);
    }

    QPalette blue = lblSkypeAccount->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblSkypeAccount->setPalette(blue);
}

void frmSupport::place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void frmSupport::placeSizedToText(QLabel *label, int left, int top, int height)
{
    const int textWidth = label->fontMetrics().horizontalAdvance(ViewControls::withoutAccessKeys(label->text()));
    label->setGeometry(twips(left), twips(top), textWidth + 1, qMax(twips(height), label->fontMetrics().height()));
}

void frmSupport::placeControls()
{
    place(Picture1, 120, 120, 7935, 2355);
    place(cmdHelp, 120, 120, 2895, 375);
    place(cmdOpenLogFile, 120, 540, 2895, 375);
    place(txtLogFilename, 3120, 540, 4575, 315);
    place(cmdOpenLogFolder, 120, 960, 2895, 375);
    place(txtLogPathname, 3120, 960, 4575, 315);
    place(cmdDownloadProfile, 120, 1380, 2895, 375);
    place(txtDownloadModemProfiles, 3120, 1380, 4575, 315);
    place(cmdSupportRequest, 120, 1800, 2895, 375);
    place(txtSupportEmail, 3120, 1800, 4575, 315);

    place(Picture2, 120, 2580, 7935, 1515);
    placeSizedToText(Label1, 180, 120, 195);
    place(txtModemData, 3120, 60, 4575, 315);
    placeSizedToText(Label2, 180, 480, 195);
    place(txtModemIMEI, 3120, 420, 4575, 315);

    placeSizedToText(Label3, 1440, 4260, 195);
    place(lblSkypeAccount, 3060, 4260, 1890, 195);
    place(imgLogo, 120, 4140, 1200, 360);
    imgLogo->setPixmap(ConsoleArt::logo(imgLogo->size(), devicePixelRatioF()));
    place(cmdClose, 6540, 4200, 1515, 375);
}

void frmSupport::setFocusOrder()
{
    const QList<QWidget *> order{cmdClose,         cmdHelp,           cmdOpenLogFile,           txtLogFilename,
                                 cmdOpenLogFolder, txtLogPathname,    cmdDownloadProfile,       txtDownloadModemProfiles,
                                 cmdSupportRequest, txtSupportEmail,  txtModemData,             txtModemIMEI};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    // The panels only group; the chat link and the logo are reached by mouse.
    for (QWidget *outside : std::initializer_list<QWidget *>{Picture1, Picture2, lblSkypeAccount, imgLogo})
        outside->setFocusPolicy(Qt::NoFocus);
    cmdClose->setFocus(Qt::OtherFocusReason);
}

void frmSupport::centreOnScreen()
{
    QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

bool frmSupport::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate)
        Q_EMIT activated();
    return handled;
}

void frmSupport::showEvent(QShowEvent *event)
{
    // Placed once, before the window is mapped; the operator may move it afterwards.
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        centreOnScreen();
    }
    QWidget::showEvent(event);
}

void frmSupport::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    Q_EMIT unloading();
}
