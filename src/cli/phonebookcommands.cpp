// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "items.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "session.h"
#include "usageerror.h"

#include <QJsonArray>

namespace cli {
namespace {

int phonebook(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    const QString action = line.word(1);
    if (action == QLatin1String("list")) {
        line.requireWords(2, QStringLiteral("phonebook list"));
        pellix::PellixGsmModem &modem = session.connect();
        output.progress(QStringLiteral("reading the phonebook..."));
        const QList<PhonebookEntry> entries = modem.ReadPhonebook(0, 0);
        output.progress(QStringLiteral("%1 entr%2").arg(entries.size()).arg(entries.size() == 1 ? "y" : "ies"));
        session.close();
        QStringList lines;
        QJsonArray array;
        for (const PhonebookEntry &entry : entries) {
            lines << items::entryLine(entry);
            array.append(items::entry(entry));
        }
        output.result(lines.join(QLatin1Char('\n')), {{QLatin1String("entries"), array}});
        return ExitSuccess;
    }
    if (action == QLatin1String("write")) {
        line.requireWords(5, QStringLiteral("phonebook write INDEX NAME NUMBER"));
        PhonebookEntry entry;
        entry.Index = qint16(CommandLine::integerWord(line.word(2), 1, 32767, QStringLiteral("INDEX")));
        entry.Name = line.word(3);
        // The library refuses it too, but only once connected: AT+CPBW quotes the name.
        if (entry.Name.contains(QLatin1Char('"')))
            throw UsageError(QStringLiteral("NAME cannot hold '\"'"));
        entry.Number = CommandLine::dialStringWord(line.word(4), QStringLiteral("NUMBER"));
        pellix::PellixGsmModem &modem = session.connect();
        modem.WritePhonebookEntry(entry);
        session.close();
        output.result(QStringLiteral("Written: ") + items::entryLine(entry), {{QLatin1String("entry"), items::entry(entry)}});
        return ExitSuccess;
    }
    if (action == QLatin1String("delete")) {
        line.requireWords(3, QStringLiteral("phonebook delete INDEX"));
        const int index = CommandLine::integerWord(line.word(2), 1, 32767, QStringLiteral("INDEX"));
        pellix::PellixGsmModem &modem = session.connect();
        modem.DeletePhonebookEntry(qint16(index));
        session.close();
        output.result(QStringLiteral("Deleted %1").arg(index), {{QLatin1String("deleted"), index}});
        return ExitSuccess;
    }
    throw UsageError(QStringLiteral("phonebook list, write or delete (pellix phonebook --help)"));
}

} // namespace

const CommandInfo PhonebookCommand = {
    "phonebook", "list, write or delete SIM phonebook entries",
    "pellix phonebook list\n"
    "  Lists the used entries: index, number, name.  JSON: {\"entries\": [{\"index\", \"name\", \"number\"}]}\n"
    "pellix phonebook write INDEX NAME NUMBER\n"
    "  Writes the entry and prints it as read back.  JSON: {\"entry\": {\"index\", \"name\", \"number\"}}\n"
    "pellix phonebook delete INDEX\n"
    "  Deletes the entry.  JSON: {\"deleted\": INDEX}\n",
    phonebook,
};

} // namespace cli
