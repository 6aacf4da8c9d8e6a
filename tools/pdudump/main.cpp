// SPDX-License-Identifier: GPL-3.0-or-later
// pdudump [--no-smsc] HEX: every field of an SMS-SUBMIT, SMS-DELIVER or SMS-STATUS-REPORT in the
// hex form of PDU mode, one per line: name, raw octets, meaning.
#include "pdu/smspdu.h"
#include "raisederror.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr char Help[] =
    "Usage: pdudump [--no-smsc] HEX\n"
    "Prints every field of an SMS PDU in the hex form of 27.005 PDU mode (SMS-SUBMIT, SMS-DELIVER or\n"
    "SMS-STATUS-REPORT), one a line: its name, its octets and what they mean. Blanks between the octets\n"
    "are allowed, as PDUs are often pasted from traces.\n"
    "\n"
    "Options:\n"
    "  --no-smsc    the PDU starts with its first octet, without the service centre address that\n"
    "               PDU mode otherwise puts in front\n"
    "  --help, -h   this text\n"
    "  --version    pdudump's version\n"
    "\n"
    "Exit statuses:\n"
    "  0  every field was printed\n"
    "  1  the PDU does not decode (why, on stderr)\n"
    "  2  usage error: no HEX, more than one, or an unknown option\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << Help;
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        out << "pdudump " PELLIX_VERSION "\n";
        return 0;
    }
    bool hasSmsc = true;
    if (args.removeAll(QStringLiteral("--no-smsc")) > 0)
        hasSmsc = false;
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-'))) {
        err << "pdudump: usage: pdudump [--no-smsc] HEX (pdudump --help)\n";
        return 2;
    }
    // Blanks are allowed between octets, as PDUs are often pasted from logs.
    QByteArray hex = args.first().toLatin1();
    hex.replace(' ', QByteArray());

    try {
        const QList<pellix::pdu::PduField> fields = pellix::pdu::describePdu(hex, hasSmsc);
        qsizetype nameWidth = 0;
        for (const auto &f : fields)
            nameWidth = qMax(nameWidth, f.name.size());
        for (const auto &f : fields) {
            const QString raw = QString::fromLatin1(f.raw);
            // Long raw fields (user data) go on their own line so that the meanings stay aligned.
            if (raw.size() > 16)
                out << f.name.leftJustified(nameWidth) << "  " << raw << "\n"
                    << QString(nameWidth, QLatin1Char(' ')) << "  " << QString(16, QLatin1Char(' ')) << "  " << f.meaning << "\n";
            else
                out << f.name.leftJustified(nameWidth) << "  " << raw.leftJustified(16) << "  " << f.meaning << "\n";
        }
    } catch (const RaisedError &e) {
        out.flush();
        err << "pdudump: " << e.description() << "\n";
        return 1;
    }
    return 0;
}
