// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracerecording.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace pellix::sim {

// A command that departed from the recording: the next recorded one, and what came instead.
struct ReplayMismatch
{
    int traceLine = 0;      // of the recorded command; of the last one when past the end
    QByteArray recorded;    // empty past the end
    QByteArray received;
    bool pastEnd = false;
    QString file;
    // "Pellix.log line 57: recorded "AT+CPBR=1,10", received "AT+CPBR=1,5""
    QString text() const;
};

// The modem's side of a recorded session, without I/O: bytes from the client go in with feed(),
// the modem's bytes come out of takeDue() when their time has come. Times are milliseconds on
// whatever clock the caller runs (a real one for a pseudo-terminal, a manual one in tests).
//
// Each command that arrives is matched to the next recorded one (exactly; then ignoring blanks
// and case outside quotes; a masked secret matches any), and answered with the lines the modem
// said after it, at their recorded delays scaled by 1/speed (speed 0: at once). Timing keeps the
// recorded order, also where scaling would change it for the driver:
//  - what the modem said after a command stays behind that command: a line recorded after a
//    later command waits for that command, and lines still waiting when the next command comes
//    go out before its answer (they came before it in the recording);
//  - a line that came after the driver gave up on its command (a late answer) never comes
//    sooner than the driver's own deadline did in the recording, whatever the speed, since the
//    replaying driver's deadlines do not scale.
// A departing command gets ERROR and a mismatch; so does every command past the recording's end.
class TraceReplayer
{
public:
    explicit TraceReplayer(RecordedSession session, double speed = 1.0);

    // The session begins (the line opened): what the modem said before the first command.
    void start(qint64 nowMs);
    void feed(const QByteArray &bytes, qint64 nowMs);
    QByteArray takeDue(qint64 nowMs);
    // When the next waiting line is due; nullopt when none waits.
    std::optional<qint64> nextDueMs() const;

    const RecordedSession &session() const { return m_session; }
    const QList<ReplayMismatch> &mismatches() const { return m_mismatches; }
    void setMismatchHandler(std::function<void(const ReplayMismatch &)> handler) { m_onMismatch = std::move(handler); }
    int commandsMatched() const { return m_next; }
    bool atEnd() const { return m_next >= m_session.exchanges.size(); }

    // Blanks and case outside quotes do not matter to a modem: "at+cmgf = 0" is "AT+CMGF=0".
    static QByteArray normalised(const QByteArray &command);

private:
    struct Due
    {
        QByteArray bytes;
        qint64 atMs = 0;
    };

    void command(RecordedExchange::End end, const QByteArray &text, qint64 nowMs);
    bool matches(const RecordedExchange &recorded, RecordedExchange::End end, const QByteArray &text) const;
    void schedule(const RecordedLine &line, qint64 baseMs, std::optional<qint64> gaveUpMs, const QByteArray &echo);
    void releaseAll(qint64 nowMs);
    void mismatch(ReplayMismatch m, qint64 nowMs);

    RecordedSession m_session;
    double m_scale;
    QList<Due> m_queue;
    QByteArray m_input;
    qsizetype m_next = 0;
    QList<ReplayMismatch> m_mismatches;
    std::function<void(const ReplayMismatch &)> m_onMismatch;
};

} // namespace pellix::sim
