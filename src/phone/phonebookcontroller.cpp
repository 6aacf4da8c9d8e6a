// SPDX-License-Identifier: GPL-3.0-or-later
#include "phonebookcontroller.h"

#include "busypointer.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "modutils.h"
#include "numericanswer.h"
#include "raisederror.h"
#include "reportlog.h"

#include <QPushButton>

PhonebookController::PhonebookController(frmVendrel &view, ModemReference modem, Dialogs &dialogs, ReportLog &log,
                                         AddRecentPhone addRecentPhone, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_modem(std::move(modem))
    , m_dialogs(dialogs)
    , m_log(log)
    , m_addRecentPhone(std::move(addRecentPhone))
{
    connect(m_view.cmdReadPhonebook, &QPushButton::clicked, this, &PhonebookController::cmdReadPhonebook_Click);
    connect(m_view.cmdWritePhonebook, &QPushButton::clicked, this, &PhonebookController::cmdWritePhonebook_Click);
    connect(m_view.cmdDeletePhonebook, &QPushButton::clicked, this, &PhonebookController::cmdDeletePhonebook_Click);
}

void PhonebookController::cmdReadPhonebook_Click()
{
    try {
        BusyPointer busy;
        // 0, 0: every used entry, whatever index range this SIM has.
        const QList<PhonebookEntry> entries = m_modem->ReadPhonebook(0, 0);
        for (const PhonebookEntry &entry : entries) {
            ReportPhonebookEntry(entry, QString());
            // At the bottom, so that the numbers last sent to stay on top of the list.
            m_addRecentPhone(entry.Name + QLatin1String(": ") + entry.Number, false);
        }
        busy.release();
        if (entries.isEmpty())
            m_log.AddReport(QString::fromLatin1(NoEntriesLine));
        else
            m_log.AddReport(QLatin1String("Your phonebook entries (tot. ") + QString::number(entries.size())
                            + QLatin1String(") have been added to the list of recent \"Phone numbers\"."));
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void PhonebookController::cmdWritePhonebook_Click()
{
    try {
        qint16 count = 0;
        {
            BusyPointer busy;
            count = m_modem->PhonebookCount();
        }
        // A full 16-bit count has no next position: the same overflow as a typed one.
        const qint16 proposed = NumericAnswer::toInteger16(double(count) + 1);
        PhonebookEntry entry;
        entry.Index = NumericAnswer::readInteger16(ask(QString::fromLatin1(WritePositionPrompt), QString::number(proposed)));
        if (entry.Index == 0)
            return;
        entry.Name = ask(QString::fromLatin1(NamePrompt));
        if (entry.Name.isEmpty())
            return;
        entry.Number = ask(QLatin1String("Insert number for <") + entry.Name + QLatin1String(">:"));
        if (entry.Number.isEmpty())
            return;
        {
            BusyPointer busy;
            m_modem->WritePhonebookEntry(entry);
        }
        // The entry as the SIM holds it now: the library reads it back, a SIM may cut the name.
        ReportPhonebookEntry(entry, QStringLiteral("created"));
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void PhonebookController::cmdDeletePhonebook_Click()
{
    try {
        const qint16 position = NumericAnswer::readInteger16(ask(QString::fromLatin1(DeletePositionPrompt)));
        if (position == 0)
            return;
        {
            BusyPointer busy;
            // Negative positions too: what the modem makes of them is its answer to give.
            m_modem->DeletePhonebookEntry(position);
        }
        m_log.AddReport(QLatin1String("Phonebook (") + QString::number(position) + QLatin1String(") deleted"));
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}

void PhonebookController::ReportPhonebookEntry(const PhonebookEntry &entry, const QString &suffix)
{
    m_log.AddReport(QLatin1String("Phonebook (") + QString::number(entry.Index) + QLatin1String("): ") + entry.Name
                    + QLatin1String(", ") + entry.Number + QLatin1Char(' ') + suffix);
}

QString PhonebookController::ask(const QString &prompt, const QString &defaultText)
{
    // Cancel answers the empty text, which ends every step here as an empty answer does.
    return m_dialogs.inputBox(prompt, QString::fromLatin1(ModUtils::ApplicationTitle), defaultText);
}
