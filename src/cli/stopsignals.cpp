// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};
struct sigaction g_previousHup {};
bool g_hupCaught = false;

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(Repeated repeated)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // A library call in progress (a Connect waiting out a busy SIM, a late answer) ends before
    // the flag is looked at: the first signal asks for a clean end, a second one ends the
    // program at once, as the operator pressing Ctrl-C again expects.
    action.sa_flags = SA_RESTART | (repeated == Repeated::EndProgram ? SA_RESETHAND : 0);
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
    // A closed terminal (SIGHUP) ends as cleanly as Ctrl-C, unless the program was started not to
    // hear it (nohup): that choice is kept.
    ::sigaction(SIGHUP, nullptr, &g_previousHup);
    g_hupCaught = g_previousHup.sa_handler != SIG_IGN;
    if (g_hupCaught)
        ::sigaction(SIGHUP, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (g_pipe[0] < 0)
        return;
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    if (g_hupCaught)
        ::sigaction(SIGHUP, &g_previousHup, nullptr);
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::onReadable()
{
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    m_stop = true;
    Q_EMIT requested();
}

} // namespace cli
