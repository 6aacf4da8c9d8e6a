// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class frmVendrel;
struct VendrelSettings;

// The recent phone numbers: the list of cmbPhoneNumber and its text form RecentPhones (entries
// joined by ","), the rules by which entries come and go, the field's "+" when it is emptied, and
// the number to dial from an entry that carries a name ("Name: number").
class RecentPhones : public QObject
{
    Q_OBJECT

public:
    RecentPhones(frmVendrel &view, VendrelSettings &settings);

    void cmbPhoneNumber_Change();
    // The text after the first ": ", without blanks around it; an entry without ": " unchanged.
    static QString ExtractPhoneNumber(const QString &entry);
    // Moves or adds the entry to the top (sending) or the bottom (phonebook), keeping at most
    // MaxEntries; "+" alone is never added. Rewrites RecentPhones.
    void AddRecentPhone(const QString &entry, bool atTop);
    // Appends the entries of RecentPhones to the list and shows the first one.
    void LoadRecentPhones();

    static constexpr int MaxEntries = 100;
    static constexpr char EmptyEntry[] = "+";

private:
    void rebuildRecentPhones();

    frmVendrel &m_view;
    VendrelSettings &m_settings;
};
