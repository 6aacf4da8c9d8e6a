// SPDX-License-Identifier: GPL-3.0-or-later
#include "plainidentity.h"

#include "at/atreplies.h"

#include <QStringList>

#include <algorithm>

namespace pellix {
namespace {

// What modules announce as they start (protocol notes 7), also between the first answers.
bool isStartAnnouncement(const QByteArray &line)
{
    static const char *const Lines[] = {"RDY", "CALL READY", "SMS READY", "PB DONE", "SMS DONE"};
    const QByteArray upper = line.toUpper();
    return std::any_of(std::begin(Lines), std::end(Lines), [&upper](const char *known) { return upper == known; });
}

} // namespace

QString plainIdentity(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    // 27.007 5.x answers are the bare value; a few modems put the command's name in front.
    QStringList parts;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (isStartAnnouncement(line))
            continue;
        if (line.startsWith(prefix)) {
            line = line.mid(prefix.size()).trimmed();
        } else if (line.startsWith('+') || line.startsWith('^')) {
            continue;  // a result code or vendor status line among the answer, not the answer
        }
        if (std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; }))
            continue;  // line noise
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        if (!line.isEmpty())
            parts << replies::modemText(line).trimmed();
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace pellix
