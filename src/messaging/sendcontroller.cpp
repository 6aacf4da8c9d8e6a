// SPDX-License-Identifier: GPL-3.0-or-later
#include "sendcontroller.h"

#include "busypointer.h"
#include "composercontroller.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "gsmutilities.h"
#include "messagesize.h"
#include "modutils.h"
#include "multilinetextbox.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "recentphones.h"
#include "reportlog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

SendController::SendController(frmVendrel &view, ModemReference modem, GsmUtilities &gsmUtilities, ModUtils &modUtils,
                               ReportLog &log, RecentPhones &recentPhones, ComposerController &composer,
                               QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_modem(std::move(modem))
    , m_gsmUtilities(gsmUtilities)
    , m_modUtils(modUtils)
    , m_log(log)
    , m_recentPhones(recentPhones)
    , m_composer(composer)
{
    connect(m_view.cmdSend, &QPushButton::clicked, this, &SendController::cmdSend_Click);
}

void SendController::cmdSend_Click()
{
    try {
        send();
    } catch (const RaisedError &error) {
        // The busy pointer went with the stack of send(); the window is usable again.
        m_log.ReportError(error);
    }
}

void SendController::send()
{
    GsmModem &modem = *m_modem;
    if (modem.Status() != GsmModem::Connected) {
        m_modUtils.ShowMessageBox(QString::fromLatin1(NotConnectedMessage), Dialogs::Exclamation);
        return;
    }

    const QString entry = m_view.cmbPhoneNumber->currentText();
    const QString number = RecentPhones::ExtractPhoneNumber(entry);
    // Remembered before the send, so that a number the send then fails on is at hand to correct.
    m_recentPhones.AddRecentPhone(entry, true);

    const QString text = m_view.txtMessageText->text();
    const qint32 alphabet = m_composer.SelectedAlphabet();
    if (MessageSize::goesInParts(alphabet, text.size())) {
        SendLongSms();
        return;
    }

    SmsMessage message;
    message.Recipient = m_gsmUtilities.CreatePhoneNumber(number, true, 1);
    // The text before the header, so that a bad message text is the error reported.
    message.Alphabet = alphabet;
    message.Text = alphabet == AlphabetBinary ? QString::fromLatin1(ModUtils::HexToString(text)) : text;
    message.Udh = ModUtils::HexToString(m_view.txtUDH->text());
    if (m_view.cmbClass->currentIndex() >= 0)
        message.MessageClass = qint16(m_view.cmbClass->currentData().toInt());
    const QString validity = m_view.txtValidity->text();
    if (!validity.isEmpty())
        message.Validity = NumericAnswer::readInteger16(validity);
    message.RequestStatusReport = m_view.chkStatusReport->isChecked();

    BusyPointer busy;
    modem.SendMessage(message);
    ReportMessageSent(message);
    m_view.txtMessageText->setFocus();
}

void SendController::SendLongSms()
{
    const QString number = RecentPhones::ExtractPhoneNumber(m_view.cmbPhoneNumber->currentText());
    try {
        BusyPointer busy;
        const QString text = m_view.txtMessageText->text();
        const qint32 result = m_modem->SendLongMessage(number, text, m_view.chkStatusReport->isChecked());
        ReportLongMessageSent(result, number, text);
        m_view.txtMessageText->setFocus();
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void SendController::ReportMessageSent(const SmsMessage &message)
{
    const QString content = message.Alphabet == AlphabetBinary ? ModUtils::FormatHex(message.UserData)
                                                  : ModUtils::FormatHex(message.Udh) + message.Text;
    m_log.AddReport(QLatin1String("Message sent (") + QString::number(message.Reference) + QLatin1String(") to ")
                    + message.Recipient.Number + QLatin1String(":  ") + content);
}

void SendController::ReportLongMessageSent(qint32 result, const QString &number, const QString &text)
{
    m_log.AddReport(QLatin1String("Long message sent (") + QString::number(result) + QLatin1String(") to ") + number
                    + QLatin1String(":  ") + text);
}
