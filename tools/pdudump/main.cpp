// SPDX-License-Identifier: GPL-3.0-or-later
// pdudump [--no-smsc] HEX: every field of an SMS-SUBMIT, SMS-DELIVER or SMS-STATUS-REPORT in the
// hex form of PDU mode, one per line: name, raw octets, meaning.
#include "pdu/smspdu.h"
#include "raisederror.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);

    bool hasSmsc = true;
    if (args.removeAll(QStringLiteral("--no-smsc")) > 0)
        hasSmsc = false;
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-'))) {
        err << "usage: pdudump [--no-smsc] HEX\n"
               "Prints every field of an SMS PDU (27.005 PDU mode: SMSC field first, unless --no-smsc).\n";
        return 1;
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
