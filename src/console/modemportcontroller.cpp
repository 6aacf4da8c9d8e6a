// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemportcontroller.h"

#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmutilities.h"
#include "helpservice.h"
#include "modutils.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "vendor.h"
#include "vendrelsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// The help texts as written, "\n" standing for a line break.
QString withLineBreaks(QString text)
{
    return text.replace(QLatin1String("\\n"), QLatin1String("\r\n"));
}

} // namespace

ModemPortController::ModemPortController(frmVendrel &view, VendrelSettings &settings, GsmUtilities &gsmUtilities,
                                         ModUtils &modUtils, Dialogs &dialogs, HelpService &help)
    : QObject(nullptr)
    , m_view(view)
    , m_settings(settings)
    , m_gsmUtilities(gsmUtilities)
    , m_modUtils(modUtils)
    , m_dialogs(dialogs)
    , m_help(help)
{
    connect(m_view.cmbModemType, &QComboBox::currentIndexChanged, this, &ModemPortController::cmbModemType_Click);
    connect(m_view.cmdHelpModemType, &QPushButton::clicked, this, &ModemPortController::cmdHelpModemType_Click);
    connect(m_view.cmdHelpModemPort, &QPushButton::clicked, this, &ModemPortController::cmdHelpModemPort_Click);
    // The port box has no validation event of its own: whatever is about to take the focus from
    // it (Tab, a click, an access key) is seen here first.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

ModemPortController::~ModemPortController()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void ModemPortController::cmbModemType_Click()
{
    const int index = m_view.cmbModemType->currentIndex();
    if (index >= 0)
        m_settings.ModemType = m_view.cmbModemType->itemData(index).toInt();
    // The simulator needs no port.
    m_view.cmbModemPort->setEnabled(index != 0);
}

void ModemPortController::SelectModemType()
{
    QComboBox &types = *m_view.cmbModemType;
    // No break at a match: of entries sharing a code the last one wins (40 is "dp2.0").
    for (int i = 0; i < types.count(); ++i) {
        if (types.itemData(i).toInt() == m_settings.ModemType)
            types.setCurrentIndex(i);
    }
    if (types.currentIndex() < 0)
        types.setCurrentIndex(0);
    m_view.cmbModemPort->setEnabled(types.currentIndex() != 0);
}

void ModemPortController::FillPortList()
{
    QComboBox &ports = *m_view.cmbModemPort;
    ports.clear();

    QList<int> present;
    try {
        present = m_gsmUtilities.ComPorts();
    } catch (const RaisedError &) {
        // The port list only offers choices; without the library's list the configured port is
        // still offered and the operator can type any other.
    }
    bool listed = false;
    for (const int n : present) {
        ports.addItem(QStringLiteral("COM") + QString::number(n));
        // A USB modem brings several ports and only one takes AT commands: its maker, product and
        // stable name, under the pointer, tell them apart where "COM34" cannot.
        try {
            ports.setItemData(ports.count() - 1, m_gsmUtilities.PortDescription(n), Qt::ToolTipRole);
        } catch (const RaisedError &) {
            // A description only helps the choice; the port stays offered without one.
        }
        listed = listed || n == m_settings.CommPort;
    }
    const QString configured = QStringLiteral("COM") + QString::number(m_settings.CommPort);
    if (!listed)
        ports.addItem(configured);
    for (int i = 0; i < ports.count(); ++i) {
        if (ports.itemText(i).toUpper() == configured) {
            ports.setCurrentIndex(i);
            break;
        }
    }
}

bool ModemPortController::isPortName(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^COM[0-9]"));
    return pattern.match(text.toUpper()).hasMatch();
}

qint16 ModemPortController::portNumber(const QString &portName)
{
    return NumericAnswer::readInteger16(portName.mid(3));
}

void ModemPortController::cmbModemPort_Validate(bool &Cancel)
{
    const QString text = m_view.cmbModemPort->currentText().toUpper();
    if (isPortName(text)) {
        try {
            m_settings.CommPort = portNumber(text);
            return;
        } catch (const RaisedError &) {
            // "COM99999" looks like a port name but names no port CommPort can hold; refused
            // like any other invalid name rather than left to fail later.
        }
    }
    m_modUtils.ShowMessageBox(QString::fromLatin1(InvalidPortMessage), Dialogs::Exclamation);
    Cancel = true;
}

QString ModemPortController::modemTypeHelp()
{
    return withLineBreaks(
        QStringLiteral("- Select \"No modem\" if you don't have a GSM device.\\n"
                       "  The software will emulate the behaviour of a GSM modem.\\n"
                       "\\n"
                       "- Select \"Others...\" if your device is not in the list.\\n"
                       "  Then download a suitable <Pellix.ini> modem profile from:\\n"
                       "     ")
        + QString::fromLatin1(Vendor::ProfileDownloadPage)
        + QStringLiteral("\\n"
                         "\\n"
                         "- Select \"Others...\" even if you can't find a suitable modem profile online,\\n"
                         "  then try a test with your device.\\n"
                         "\\n"
                         "- If needed, you can define your modem settings manually into\\n"
                         "  the current <Pellix.ini>.\\n"
                         "\\n"
                         "See Help for more information..."));
}

QString ModemPortController::modemPortHelp()
{
    return withLineBreaks(
        QStringLiteral("If your device is connected by serial cable, please choose the related COM port.\\n"
                       "\\n"
                       "If your device is connected by USB cable, IrDA or Bluetooth,\\n"
                       "please ensure you have installed the software driver provided by the\\n"
                       "constructor (e.g. Nokia Data Suite, Huawei Mobile Connect etc.)\\n"
                       "\\n"
                       "Then open Windows Control Panel > Modem and phone settings\\n"
                       "to find the virtual COM port associated to your device.\\n"
                       "\\n"
                       "See Help for more information..."));
}

void ModemPortController::cmdHelpModemType_Click()
{
    m_dialogs.informationWithHelp(modemTypeHelp(), QStringLiteral("Modem type"),
                                  [this] { m_help.showTopic(ModemTypeHelpTopic); });
}

void ModemPortController::cmdHelpModemPort_Click()
{
    m_dialogs.informationWithHelp(modemPortHelp(), QStringLiteral("Modem port"),
                                  [this] { m_help.showTopic(ModemPortHelpTopic); });
}

bool ModemPortController::inPortBox(const QWidget *widget) const
{
    const QWidget *port = m_view.cmbModemPort;
    return widget && (widget == port || port->isAncestorOf(widget));
}

bool ModemPortController::portHasFocus() const
{
    return inPortBox(QApplication::focusWidget());
}

bool ModemPortController::focusMayLeave()
{
    if (m_validating)
        return true;
    m_validating = true;
    bool cancel = false;
    cmbModemPort_Validate(cancel);
    m_validating = false;
    return !cancel;
}

bool ModemPortController::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Tab and Backtab without Ctrl or Alt are the keys QWidget moves the focus with.
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
            || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return false;
        if (!watched->isWidgetType() || watched != QApplication::focusWidget() || !inPortBox(static_cast<QWidget *>(watched)))
            return false;
        return !focusMayLeave();
    }
    case QEvent::Shortcut: {
        // An access key: a button or box takes the focus (and acts), a label hands it to its
        // buddy. Shortcuts of the window itself (Esc) are QShortcut objects, not widgets.
        if (!watched->isWidgetType() || !portHasFocus())
            return false;
        const auto *target = static_cast<QWidget *>(watched);
        if (target->window() != m_view.cmbModemPort->window() || inPortBox(target))
            return false;
        if (const auto *label = qobject_cast<const QLabel *>(target); label && inPortBox(label->buddy()))
            return false;
        return !focusMayLeave();
    }
    case QEvent::FocusOut:
        // A click (or wheel) gives the focus to the widget under the pointer before that widget
        // sees the press, so the press that follows is where the leave can still be refused.
        if (watched->isWidgetType() && inPortBox(static_cast<QWidget *>(watched))
            && static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
            m_mouseTookFocus = !m_validating;
        return false;
    case QEvent::FocusIn:
        if (watched->isWidgetType() && inPortBox(static_cast<QWidget *>(watched)))
            m_mouseTookFocus = false;
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel: {
        if (!m_mouseTookFocus || !watched->isWidgetType())
            return false;
        m_mouseTookFocus = false;
        if (focusMayLeave())
            return false;
        // Refused: the focus goes back and the press never reaches the control, so a button
        // is not clicked.
        m_view.cmbModemPort->setFocus(Qt::OtherFocusReason);
        return true;
    }
    default:
        return false;
    }
}
