// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modemreference.h"

#include <QObject>
#include <QString>

#include <functional>

class Dialogs;
class ReportLog;
class frmVendrel;
struct PhonebookEntry;

// The "Phonebook" group: lists the SIM phonebook (and offers its entries among the recent phone
// numbers), writes an entry at a position, clears a position. Positions are read the lenient way
// of every numeric answer; position 0, an empty name or an empty number ends a click silently.
class PhonebookController : public QObject
{
    Q_OBJECT

public:
    // The recent phone numbers belong to the composer; reading the phonebook offers each entry
    // there through addRecentPhone (AddRecentPhone's text and at-top arguments).
    using AddRecentPhone = std::function<void(const QString &entry, bool atTop)>;

    PhonebookController(frmVendrel &view, ModemReference modem, Dialogs &dialogs, ReportLog &log,
                        AddRecentPhone addRecentPhone, QObject *parent = nullptr);

    void cmdReadPhonebook_Click();
    void cmdWritePhonebook_Click();
    void cmdDeletePhonebook_Click();
    // "Phonebook (<Index>): <Name>, <Number> <suffix>"; reading passes an empty suffix, so its
    // lines end in one blank.
    void ReportPhonebookEntry(const PhonebookEntry &entry, const QString &suffix);

    static constexpr char WritePositionPrompt[] = "Insert phonebook position to create/modify:";
    static constexpr char NamePrompt[] = "Insert name:";
    static constexpr char DeletePositionPrompt[] = "Insert phonebook position to delete:";
    static constexpr char NoEntriesLine[] = "No phonebook items";

private:
    QString ask(const QString &prompt, const QString &defaultText = QString());

    frmVendrel &m_view;
    ModemReference m_modem;
    Dialogs &m_dialogs;
    ReportLog &m_log;
    AddRecentPhone m_addRecentPhone;
};
