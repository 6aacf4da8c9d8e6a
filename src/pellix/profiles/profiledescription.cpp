// SPDX-License-Identifier: GPL-3.0-or-later
#include "profiledescription.h"

#include "modemprofile.h"

#include <QStringList>

namespace pellix {

QString profileDescription(const ModemProfile &p)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    const auto list = [](const QList<QByteArray> &lines) {
        QStringList out;
        for (const QByteArray &line : lines)
            out << QString::fromLatin1(line);
        return out.join(QLatin1Char('|'));
    };
    const QList<std::pair<const char *, QString>> values = {
        {"code", QString::number(p.code)},
        {"name", p.name},
        {"baudRate", QString::number(p.baudRate)},
        {"init", list(p.initCommands)},
        {"optionalInit", list(p.optionalInitCommands)},
        {"echo", flag(p.echo)},
        {"slowWrite", flag(p.slowWrite)},
        {"messageStorage", QString::fromLatin1(p.messageStorage)},
        {"writeStorage", QString::fromLatin1(p.writeStorage)},
        {"receiveStorage", QString::fromLatin1(p.receiveStorage)},
        {"reportStorage", QString::fromLatin1(p.reportStorage)},
        {"cnmiLive", QString::fromLatin1(p.cnmiLive)},
        {"cnmiStored", QString::fromLatin1(p.cnmiStored)},
        {"cnmaRequired", flag(p.cnmaRequired)},
        {"phonebookStorage", QString::fromLatin1(p.phonebookStorage)},
        {"cmeeMode", QString::number(p.cmeeMode)},
        {"cpinWithoutOk", flag(p.cpinWithoutOk)},
        {"cpmsWithoutOk", flag(p.cpmsWithoutOk)},
        {"cgmrUnsupported", flag(p.cgmrUnsupported)},
        {"identitySpaces", flag(p.identitySpaces)},
        {"commandTimeoutMs", QString::number(p.commandTimeoutMs)},
        {"listTimeoutMs", QString::number(p.listTimeoutMs)},
    };
    QStringList out;
    for (const auto &[key, value] : values)
        out << QString::fromLatin1(key) + QLatin1Char('=') + value;
    return out.join(QStringLiteral("; "));
}

} // namespace pellix
