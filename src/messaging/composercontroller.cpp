// SPDX-License-Identifier: GPL-3.0-or-later
#include "composercontroller.h"

#include "dialogs.h"
#include "frmvendrel.h"
#include "messagesize.h"
#include "modutils.h"
#include "multilinetextbox.h"
#include "smsobjects.h"
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
    m_view.txtMessageText->setWordWrapMode(m_selectedAlphabet == AlphabetBinary
                                               ? QTextOption::WrapAnywhere
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
    const std::optional<MessageSize> size = MessageSize::of(alphabet, characters);
    if (!size)
        return QString();
    // Past 32,767 the caption goes on telling the plain truth, and a paste of any size keeps the
    // window usable.
    return QString::number(size->length) + QLatin1Char('/') + QString::number(size->messages * size->room)
        + QLatin1String(" (") + QString::number(size->messages) + QLatin1String(" sms)");
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
