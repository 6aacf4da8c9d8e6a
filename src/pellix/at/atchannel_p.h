// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atchannel.h"

#include <QDeadlineTimer>

#include <optional>

namespace pellix {

// The state of one command on the channel, shared by the files of AtChannel.
struct AtChannel::Exchange
{
    explicit Exchange(const AtCommand &c) : command(c) {}

    const AtCommand &command;
    AtResponse response;
    QDeadlineTimer deadline;
    bool firstLineStale = false;     // a line had begun before the command was sent
    bool echoSeen = false;
    bool heard = false;              // the modem sent something while the command waited
    bool awaitingPrompt = false;
    bool pduSent = false;
    bool pduEchoSeen = false;
    bool responseAwaitsData = false; // PrefixedWithPdu: the last prefixed line wants its data line
    std::optional<int> awaitedLength; // the TPDU length that line announced
    quint64 awaitedOrder = 0;
    bool quietEnds = false;          // finalMayBeMissing and a prefixed line came
    bool ended = false;
    // The AT that resynchronises after a timeout: the last final code held ends it when no other
    // follows before `settle`.
    bool resync = false;
    bool finalHeld = false;
    QDeadlineTimer settle;
    // Evidence of a restart came while the command ran: it ends at once.
    bool restarted = false;
    // AtCommand::capMs: the deadline restarts with every line, but not beyond this.
    std::optional<QDeadlineTimer> cap;
};

} // namespace pellix
