// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace cli {

// SIGINT and SIGTERM while it lives: the handler only writes a byte to a pipe (the one thing safe
// to do there); the event loop reads it and sets stopRequested(), so that the command ends
// cleanly (Disconnect leaves the modem storing) instead of dying with the port open. The
// previous handlers come back when it is destroyed. A second signal is not caught: it ends the
// program at once.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    StopSignals();
    ~StopSignals() override;

    bool stopRequested() const { return m_stop; }

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_stop = false;
};

} // namespace cli
