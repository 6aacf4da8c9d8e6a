// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pellix::sim {

// The network's call-forwarding registrations of 27.007 7.11 (+CCFC), per reason and per basic
// service class. Reasons 4 (all) and 5 (all conditional) stand for the reasons they cover.
class CallForwarding
{
public:
    enum Reason { Unconditional = 0, Busy = 1, NoReply = 2, NotReachable = 3, All = 4, AllConditional = 5 };
    enum Mode { Disable = 0, Enable = 1, Query = 2, Register = 3, Erase = 4 };
    static constexpr int VoiceClass = 1;
    static constexpr int DefaultClasses = 7;   // voice, data, fax

    // Mode Disable, Enable, Register or Erase for every class bit in classes. Registering also
    // activates (22.082 1.2). Returns 0, or the +CME ERROR code when nothing could be enabled
    // because no number is registered (3, operation not allowed).
    int change(int reason, int mode, const QString &number, int type, int classes, int noReplySeconds);

    // The +CCFC lines of a query: one "+CCFC: 1,<class>,<number>,<type>[,,,<time>]" per active
    // class, or "+CCFC: 0,<classes>" when none of the classes asked about is forwarded.
    QList<QByteArray> query(int reason, int classes) const;

    // Where a call of the class goes for the reason; nullopt when it is not forwarded.
    std::optional<QString> target(int reason, int callClass) const;

private:
    struct Rule
    {
        bool registered = false;
        bool active = false;
        QString number;
        int type = 129;
        int time = 20;
    };
    static QList<int> covered(int reason);

    Rule m_rules[4][8];
};

} // namespace pellix::sim
