// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "environment.h"
#include "usageerror.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pellix {
class PellixGsmModem;
}

namespace cli {

class CommandLine;
class Output;

// One command's connection: the global options read and checked (before anything is opened), the
// modem connected through the library, a dropped link noticed, and the connection closed again
// whatever happens, so that the modem is left storing new messages.
class Session
{
public:
    // A global option that is wrong or missing is raised (UsageError) by the first call that
    // needs the options, connect() at the latest: the command's own words are checked first, so
    // that "pellix send" asks for its NUMBER TEXT before it asks for a modem.
    Session(Environment &environment, const CommandLine &line, Output &output);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // receiveMode 2: messages and reports are signalled as they arrive. callerId: rings name the
    // caller. Raises the library's error.
    pellix::PellixGsmModem &connect(qint32 receiveMode = 0, bool callerId = false);
    pellix::PellixGsmModem &modem() { return *m_modem; }
    // Closes the connection; raises what Disconnect raises.
    void close();

    // The connection ended without close(): the link dropped.
    bool linkLost() const { return m_lost; }
    bool connected() const;
    // Runs events until done() or timeoutMs passed (negative: no limit); false on the deadline.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // The network deadline of --timeout, in seconds (the library's 60 when not given).
    int networkTimeoutSeconds() const;
    bool timeoutGiven() const;
    bool pinGiven() const { return !m_pin.isEmpty(); }

private:
    void readOptions(const CommandLine &line);
    void requireValidOptions() const;

    Environment &m_environment;
    Output &m_output;
    ModemRequest m_request;
    qint16 m_port = 0;
    QString m_pin;
    bool m_forcePin = false;
    int m_timeoutSeconds = 60;
    bool m_timeoutGiven = false;
    bool m_trace = false;
    std::optional<UsageError> m_invalidOptions;
    std::unique_ptr<pellix::PellixGsmModem> m_modem;
    bool m_open = false;
    bool m_closing = false;
    bool m_lost = false;
};

} // namespace cli
