// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/pellixgsmmodem.h"
#include "sim/tracerecording.h"
#include "sim/tracereplayer.h"

#include <memory>

namespace pellix {

namespace sim { class ReplayTransport; class VirtualClock; }

// A PellixGsmModem whose modem is a recorded session: a field trace becomes a regression test,
//   auto modem = replayModem("tests/traces/foo.log");
//   modem->connectAsRecorded();
//   ... the operations of the recorded session ...
//   QVERIFY(modem->mismatches().isEmpty());
// It writes no trace of its own unless setTracePath() asks for one.
class ReplayModem : public PellixGsmModem
{
    Q_OBJECT

public:
    ReplayModem(sim::RecordedSession session, double speed, std::shared_ptr<sim::VirtualClock> clock,
                QObject *parent = nullptr);
    ~ReplayModem() override;

    // Connect with the recorded modem type, port, receive mode, timeout, baud rate and connect
    // options (a masked PIN is given as "0000": the recording answers it as it did).
    void connectAsRecorded();

    const sim::RecordedSession &session() const { return m_session; }
    // The transport of the latest connection (nullptr before the first).
    sim::ReplayTransport *transport() const { return m_transport; }
    // Departures from the recording, of every connection so far.
    QList<sim::ReplayMismatch> mismatches() const;

private:
    sim::RecordedSession m_session;
    sim::ReplayTransport *m_transport = nullptr;
    QList<sim::ReplayMismatch> m_mismatches;
};

// The session (1-based; 0: the last) of the trace at `path`, replayed at `speed` (0: as fast as
// possible) on a manual clock unless `clock` is given. Raises InvalidArgument with the reader's
// message (file and line) for a trace that cannot be read or a session it does not have.
std::unique_ptr<ReplayModem> replayModem(const QString &path, int session = 0, double speed = 1.0,
                                         std::shared_ptr<sim::VirtualClock> clock = nullptr);

} // namespace pellix
