// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace cli {

// SIGINT, SIGTERM and SIGHUP (unless ignored, as nohup leaves it) while it lives: the handler only writes a byte to a pipe (the one thing safe
// to do there); the event loop reads it, sets stopRequested() and says requested(), so that the
// program ends cleanly (Disconnect leaves the modem storing, a simulator removes its link)
// instead of dying with the port open. The previous handlers come back when it is destroyed.
// One lives at a time.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    enum class Repeated {
        // The operator pressing Ctrl-C again while a library call holds the program ends it at once.
        EndProgram,
        // Every signal asks for the clean end: a program that never blocks gets there anyway.
        AskAgain,
    };

    explicit StopSignals(Repeated repeated = Repeated::EndProgram);
    ~StopSignals() override;

    bool stopRequested() const { return m_stop; }

Q_SIGNALS:
    void requested();

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_stop = false;
};

} // namespace cli
