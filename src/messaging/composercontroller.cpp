// SPDX-License-Identifier: GPL-3.0-or-later
#include "composercontroller.h"

#include "dialogs.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "multilinetextbox.h"
#include "vendrelsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

ComposerController::ComposerController(frmVendrel &view, VendrelSettings &settings, ModUtils &modUtils,
                                       std::function<bool()> isLoading, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_settings(settings)
    , m_modUtils(modUtils)
    , m_isLoading(std::move(isLoading))
{
    // Value-changed signals, so that the values ApplySettings puts into the controls run the
    // handlers as the operator's changes do, and only on a real change.
    connect(m_view.txtMessageText, &QPlainTextEdit::textChanged, this, &ComposerController::txtMessageText_Change);
    connect(m_view.cmbAlphabet, &QComboBox::currentIndexChanged, this, &ComposerController::cmbAlphabet_Click);
    connect(m_view.chkStatusReport, &QCheckBox::toggled, this, &ComposerController::chkStatusReport_Click);
}

void ComposerController::txtMessageText_Change()
{
    const QString text = m_view.txtMessageText->text();
    m_settings.MessageText = text;
    if (!(m_isLoading && m_isLoading()))
        updateMessageLen(text);
}

void ComposerController::cmbAlphabet_Click()
{
    m_selectedAlphabet = m_view.cmbAlphabet->currentData().toInt();
    // Hex digits have no word boundaries; wrapping them at words would make every keystroke in a
    // long 8-bit message re-lay the whole run.
    m_view.txtMessageText->setWordWrapMode(m_selectedAlphabet == 8 ? QTextOption::WrapAnywhere
                                                                  : QTextOption::WrapAtWordBoundaryOrAnywhere);
    UpdateMessageLen();
}

void ComposerController::UpdateMessageLen()
{
    updateMessageLen(m_view.txtMessageText->text());
}

void ComposerController::updateMessageLen(const QString &text)
{
    const QString caption = messageLenCaption(m_selectedAlphabet, text.size());
    if (!caption.isEmpty())
        m_view.lblMessageLen->setText(caption);
}

QString ComposerController::messageLenCaption(qint32 alphabet, qsizetype characters)
{
    qint64 limit = 0;
    qint64 length = characters;
    switch (alphabet) {
    case 7:
        limit = 160;
        break;
    case 8: {
        // Two hex digits a byte; an odd digit counts as half a byte, rounded half to even.
        limit = 140;
        const qint64 whole = characters / 2;
        length = (characters % 2 != 0 && whole % 2 != 0) ? whole + 1 : whole;
        break;
    }
    case 16:
        limit = 70;
        break;
    default:
        return QString();
    }
    // A text that needs more than one message is measured in parts, each losing 8 to the
    // concatenation header.
    const qint64 room = length > limit ? limit - 8 : limit;
    qint64 messages = length / room + (length % room != 0 ? 1 : 0);
    if (messages == 0)
        messages = 1;
    // Counted in 64 bits: past 32,767 the caption goes on telling the plain truth instead of
    // overflowing, and a paste of any size keeps the window usable.
    return QString::number(length) + QLatin1Char('/') + QString::number(messages * room) + QLatin1String(" (")
        + QString::number(messages) + QLatin1String(" sms)");
}

void ComposerController::chkStatusReport_Click()
{
    // The advice compares the new state of the box with the choice held so far.
    AdviseAutoReceive();
    m_settings.StatusReport = m_view.chkStatusReport->isChecked() ? -1 : 0;
}

void ComposerController::AdviseAutoReceive()
{
    if (m_settings.StatusReport != 0 || !m_view.chkStatusReport->isChecked())
        return;
    if (!m_view.chkAutoReceive->isChecked())
        m_modUtils.ShowMessageBox(QString::fromLatin1(AutoReceiveAdvice), Dialogs::Information);
}
