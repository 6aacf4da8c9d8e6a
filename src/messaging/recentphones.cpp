// SPDX-License-Identifier: GPL-3.0-or-later
#include "recentphones.h"

#include "frmvendrel.h"
#include "vendrelsettings.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

namespace {

// Blanks only, as the entries are typed; other white space is part of what was typed.
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text.at(first) == QLatin1Char(' '))
        ++first;
    while (end > first && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(first, end - first);
}

} // namespace

RecentPhones::RecentPhones(frmVendrel &view, VendrelSettings &settings)
    : QObject(nullptr)
    , m_view(view)
    , m_settings(settings)
{
    QComboBox &box = *m_view.cmbPhoneNumber;
    // An editable combo box completes what is typed from its list, case-insensitively and in
    // place: "+39" would be sent as the first listed number starting so, and "anna: ..." would
    // become "Anna: ...". The field sends what the operator typed, so no completion.
    box.setCompleter(nullptr);
    connect(&box, &QComboBox::editTextChanged, this, &RecentPhones::cmbPhoneNumber_Change);
}

void RecentPhones::cmbPhoneNumber_Change()
{
    QComboBox &box = *m_view.cmbPhoneNumber;
    if (!box.currentText().isEmpty())
        return;
    box.setEditText(QString::fromLatin1(EmptyEntry));
    if (QLineEdit *edit = box.lineEdit())
        edit->setCursorPosition(1);
}

QString RecentPhones::ExtractPhoneNumber(const QString &entry)
{
    const qsizetype separator = entry.indexOf(QLatin1String(": "));
    if (separator < 0)
        return entry;
    return trimBlanks(entry.mid(separator + 2));
}

void RecentPhones::AddRecentPhone(const QString &entry, bool atTop)
{
    if (entry == QLatin1String(EmptyEntry))
        return;
    QComboBox &box = *m_view.cmbPhoneNumber;
    const QString shown = box.currentText();

    // Exact, case-sensitive comparison: "Anna: 1" and "anna: 1" are two entries.
    for (int i = 0; i < box.count(); ++i) {
        if (box.itemText(i) == entry) {
            box.removeItem(i);
            break;
        }
    }

    if (atTop) {
        box.insertItem(0, entry);
        if (box.count() > MaxEntries)
            box.removeItem(box.count() - 1);
        box.setCurrentIndex(0);
        if (box.currentText() != entry)
            box.setEditText(entry);
    } else {
        box.addItem(entry);
        if (box.count() > MaxEntries)
            box.removeItem(0);
        // The combo box selects the first item of a list that was empty, and another item when
        // the selected one is dropped; the field keeps what it showed.
        if (box.currentText() != shown)
            box.setEditText(shown);
    }
    rebuildRecentPhones();
}

void RecentPhones::LoadRecentPhones()
{
    QComboBox &box = *m_view.cmbPhoneNumber;
    // An empty value holds no entry at all; otherwise every piece counts, empty ones included.
    if (!m_settings.RecentPhones.isEmpty()) {
        QStringList entries = m_settings.RecentPhones.split(QLatin1Char(','));
        entries.removeAll(QString::fromLatin1(EmptyEntry));
        box.addItems(entries);
    }
    if (box.count() > 0) {
        box.setCurrentIndex(0);
        if (box.currentText() != box.itemText(0))
            box.setEditText(box.itemText(0));
    }
}

void RecentPhones::rebuildRecentPhones()
{
    const QComboBox &box = *m_view.cmbPhoneNumber;
    QStringList entries;
    entries.reserve(box.count());
    for (int i = 0; i < box.count(); ++i)
        entries << box.itemText(i);
    m_settings.RecentPhones = entries.join(QLatin1Char(','));
}
