// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ModUtils;
class frmVendrel;
struct VendrelSettings;

// The message composer: the text with its length counter, the alphabet, and the delivery-receipt
// choice with its advice to switch on automatic reception. Keeps MessageText and StatusReport of
// the settings in step with the controls.
class ComposerController : public QObject
{
    Q_OBJECT

public:
    // isLoading: the window's loading flag, true until its first activation.
    ComposerController(frmVendrel &view, VendrelSettings &settings, ModUtils &modUtils, std::function<bool()> isLoading,
                       QObject *parent = nullptr);

    void txtMessageText_Change();
    void cmbAlphabet_Click();
    void UpdateMessageLen();
    void chkStatusReport_Click();
    void AdviseAutoReceive();

    // The item data of the selected cmbAlphabet entry: 7, 8 or 16; 0 before the first selection.
    qint32 SelectedAlphabet() const { return m_selectedAlphabet; }

    // The counter's caption for a text of `characters` 16-bit code units (CR LF counting two) in
    // the alphabet: n "/" room " (" messages " sms)". An alphabet other than 7, 8 or 16 has no
    // caption (empty result).
    static QString messageLenCaption(qint32 alphabet, qsizetype characters);

    static constexpr char AutoReceiveAdvice[] =
        "Please activate the Auto receive option to see the received Status reports in real time.";

private:
    void updateMessageLen(const QString &text);

    frmVendrel &m_view;
    VendrelSettings &m_settings;
    ModUtils &m_modUtils;
    std::function<bool()> m_isLoading;
    qint32 m_selectedAlphabet = 0;
};
