// SPDX-License-Identifier: GPL-3.0-or-later
#include "callforwarding.h"

namespace pellix::sim {

QList<int> CallForwarding::covered(int reason)
{
    switch (reason) {
    case All:
        return {Unconditional, Busy, NoReply, NotReachable};
    case AllConditional:
        return {Busy, NoReply, NotReachable};
    case Unconditional:
    case Busy:
    case NoReply:
    case NotReachable:
        return {reason};
    default:
        return {};
    }
}

int CallForwarding::change(int reason, int mode, const QString &number, int type, int classes, int noReplySeconds)
{
    bool enabled = false;
    for (int r : covered(reason)) {
        for (int bit = 0; bit < 8; ++bit) {
            if (!(classes & (1 << bit)))
                continue;
            Rule &rule = m_rules[r][bit];
            switch (mode) {
            case Disable:
                rule.active = false;
                break;
            case Enable:
                if (rule.registered) {
                    rule.active = true;
                    enabled = true;
                }
                break;
            case Register:
                rule = Rule{true, true, number, type, noReplySeconds};
                break;
            case Erase:
                rule = Rule{};
                break;
            default:
                break;
            }
        }
    }
    return mode == Enable && !enabled ? 3 : 0;
}

QList<QByteArray> CallForwarding::query(int reason, int classes) const
{
    QList<QByteArray> lines;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(classes & (1 << bit)))
            continue;
        for (int r : covered(reason)) {
            const Rule &rule = m_rules[r][bit];
            if (!rule.active)
                continue;
            QByteArray line = "+CCFC: 1," + QByteArray::number(1 << bit) + ",\"" + rule.number.toLatin1() + "\","
                + QByteArray::number(rule.type);
            if (r == NoReply)
                line += ",,," + QByteArray::number(rule.time);
            lines << line;
            break;
        }
    }
    if (lines.isEmpty())
        lines << "+CCFC: 0," + QByteArray::number(classes);
    return lines;
}

std::optional<QString> CallForwarding::target(int reason, int callClass) const
{
    for (int r : covered(reason))
        for (int bit = 0; bit < 8; ++bit)
            if ((callClass & (1 << bit)) && m_rules[r][bit].active)
                return m_rules[r][bit].number;
    return std::nullopt;
}

} // namespace pellix::sim
