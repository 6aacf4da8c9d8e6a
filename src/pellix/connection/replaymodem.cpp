// SPDX-License-Identifier: GPL-3.0-or-later
#include "replaymodem.h"

#include "pellixerror.h"
#include "sim/replaytransport.h"
#include "sim/virtualclock.h"

namespace pellix {

ReplayModem::ReplayModem(sim::RecordedSession session, double speed, std::shared_ptr<sim::VirtualClock> clock,
                         QObject *parent)
    : PellixGsmModem(
          [this, speed, clock](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
              // A second connection meets a recording that has ended: every command is a mismatch.
              if (m_transport)
                  m_mismatches += m_transport->mismatches();
              sim::RecordedSession replayed = m_session;
              if (m_transport)
                  replayed.exchanges.clear();
              auto transport = std::make_unique<sim::ReplayTransport>(
                  replayed, speed, clock ? clock : std::make_shared<sim::ManualClock>());
              m_transport = transport.get();
              connect(transport.get(), &QObject::destroyed, this, [this, t = transport.get()] {
                  if (m_transport == t) {
                      m_mismatches += t->mismatches();
                      m_transport = nullptr;
                  }
              });
              return transport;
          },
          parent)
    , m_session(std::move(session))
{
    setTracePath(QString());
}

ReplayModem::~ReplayModem()
{
    // The transport outlives this part of the object (the base closes it): its end must not
    // reach members that are gone.
    if (m_transport)
        disconnect(m_transport, nullptr, this, nullptr);
}

QList<sim::ReplayMismatch> ReplayModem::mismatches() const
{
    return m_transport ? m_mismatches + m_transport->mismatches() : m_mismatches;
}

void ReplayModem::connectAsRecorded()
{
    const sim::ConnectParameters &p = m_session.parameters;
    setConnectOptionA(p.checkSim.value_or(false));
    setConnectOptionB(p.callerId.value_or(false));
    Connect(p.modemType.value_or(-1), p.port.value_or(0), p.pinGiven ? QStringLiteral("0000") : QString(),
            p.receiveMode.value_or(0), p.timeoutSeconds.value_or(60), p.baudRate.value_or(0));
}

std::unique_ptr<ReplayModem> replayModem(const QString &path, int session, double speed,
                                         std::shared_ptr<sim::VirtualClock> clock)
{
    QString error;
    const auto recording = sim::TraceRecording::fromFile(path, error);
    if (!recording)
        raise(ErrorCode::InvalidArgument, error);
    const auto &sessions = recording->sessions();
    if (session < 0 || session > sessions.size())
        raise(ErrorCode::InvalidArgument,
              QStringLiteral("%1 holds %2 session(s), not session %3").arg(path).arg(sessions.size()).arg(session));
    return std::make_unique<ReplayModem>(sessions.at(session == 0 ? sessions.size() - 1 : session - 1), speed,
                                         std::move(clock));
}

} // namespace pellix
