// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atcommand.h"
#include "atlineclassifier.h"
#include "atlinesplitter.h"
#include "unsolicited.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace pellix {

class ByteTransport;

enum class TraceDirection {
    Sent,      // a command line (without CR) or a PDU (without Ctrl-Z), or the ESC that cancels one
    Received,  // a line or prompt that was used: answer, final code, unsolicited code
    Discarded, // received but not used: echo, stale reply, cut line, stray prompt
};

// The driver side of the AT conversation over one ByteTransport: one command at a time, each
// with a fixed deadline, on the caller's thread and without an event loop of its own.
//
// Every received line that is not the running command's answer goes to the unsolicited queue.
// While no command runs, the transport's bytesArrived drives the parser and unsolicitedArrived
// tells the owner; during run() codes are only queued, and the owner takes them afterwards.
//
// After a command timed out, the next one is preceded by a plain AT, and everything up to that
// AT's own final code is the late reply of the command given up on: dropped, never handed on.
class AtChannel : public QObject
{
    Q_OBJECT

public:
    // How the channel looks out for a restart of the modem (atchannelrestart.cpp). A module that
    // restarts (brown-out, watchdog, a hub's power cycle) loses the command in flight and every
    // setting (protocol notes 7); only the modem's own lines tell, and only while none of them is
    // expected.
    enum class RestartWatch {
        Off,       // boot lines are expected (Connect): unsolicited codes like any other
        BootStart, // the modem is being set up again: only the first line of a new boot counts
        Full,      // connected: boot lines, and an echo from a modem that had stopped echoing
    };

    struct Statistics
    {
        qint64 cutLines = 0;            // lines longer than the bound
        qint64 discardedLines = 0;      // echo, stale replies, stray prompts
        qint64 timeouts = 0;
        qint64 resyncs = 0;             // ATs sent to drain a late reply after a timeout
    };

    static constexpr int DefaultStaleGraceMs = 200;
    static constexpr int DefaultMaxConsecutiveTimeouts = 3;
    // A modem that has not answered a plain AT within this is as good as silent.
    static constexpr int DefaultResyncTimeoutMs = 1000;
    // A modem sends the PDU line right behind its +CMT/+CDS header; noise may come between, but
    // a header still waiting after this long (looked at while idle and when a command ends) is
    // handed on without one.
    static constexpr int DefaultPduWaitMs = 2000;

    explicit AtChannel(ByteTransport &transport, QObject *parent = nullptr);
    ~AtChannel() override;

    // Sends the command and returns its answer whatever the final code. Raises Timeout when its
    // deadline passes, ConnectionLost when the transport fails or the link is marked lost, and
    // InvalidArgument for a command line or PDU that would break the framing.
    AtResponse run(const AtCommand &command);
    // Like run(), but a final code other than OK raises: +CME ERROR: n as cmeError(n), +CMS
    // ERROR: n as cmsError(n), anything else as ModemAnsweredError.
    AtResponse execute(const AtCommand &command);
    // The error execute() raises for an answer that ended otherwise than OK, for callers that ran
    // the command with run() to look at the answer first. Asking again instead could bring a
    // different answer, and a failure would pass for success.
    [[noreturn]] static void raiseFor(const AtResponse &response, const QByteArray &commandLine);

    bool linkLost() const { return m_linkLost; }
    // After a timeout the next command is preceded by a plain AT that drains the late reply. A
    // caller that knows why the answer is missing (a modem in quiet mode echoes but sends no
    // result code, and would not answer that AT either) and whose next command both restores the
    // result codes and is recognised by its echo, lets the channel go without it.
    void skipResync() { m_resyncNeeded = false; }
    // Forgets buffered input, queued codes and the link state, for a new connection.
    void reset();

    QList<Unsolicited> takeUnsolicited();
    qsizetype queuedUnsolicited() const { return m_queue.size(); }

    void setTrace(std::function<void(TraceDirection, const QByteArray &line)> trace);

    // The silence that ends an answer whose final code may be missing; and, after a timeout with
    // echo off, how long the resynchronising AT's final code must stand alone before it is taken
    // for the AT's (a second final right behind it means the first ended the late reply).
    void setStaleGraceMs(int ms) { m_staleGraceMs = std::max(0, ms); }
    int staleGraceMs() const { return m_staleGraceMs; }
    void setMaxConsecutiveTimeouts(int n) { m_maxConsecutiveTimeouts = std::max(1, n); }
    // The resynchronising AT's deadline (at most the next command's own).
    void setResyncTimeoutMs(int ms) { m_resyncTimeoutMs = std::max(1, ms); }
    void setPduWaitMs(int ms) { m_pduWaitMs = std::max(0, ms); }

    const Statistics &statistics() const { return m_stats; }
    // Whether the modem sent anything while the command that last timed out waited: it is there,
    // only not answering that command.
    bool lastTimeoutHeard() const { return m_lastTimeoutHeard; }
    bool running() const { return m_running; }

    // From now on, a line or echo that shows a restart is evidence, and a command during which
    // evidence arrives ends at once with ModemRestarted (a "> " prompt it opened is cancelled);
    // a command is not sent while evidence is pending. Full takes the current echo as the norm.
    void setRestartWatch(RestartWatch watch);
    RestartWatch restartWatch() const { return m_restartWatch; }
    // What showed the restart ("it said RDY"), empty when nothing did since the last clear.
    QString restartEvidence() const { return m_restartEvidence; }
    // A readiness line ("SMS Ready", "PB DONE") came: modems say these after a restart and also
    // when their SIM has settled, so only the settings can tell. Empty when none came.
    QString readinessLine() const { return m_readinessLine; }
    void clearRestartEvidence();
    // Reads what has arrived while idle; true when it brought evidence of a restart.
    bool pollRestart();
    // Someone switched the echo on (a typed ATE1): from now on it is no evidence.
    void expectEcho() { m_echoOffSeen = false; }

Q_SIGNALS:
    // Idle input produced unsolicited codes; never emitted from inside run().
    void unsolicitedArrived();
    // The link was marked lost (repeated timeouts, transport failure) or, by reset(), usable again.
    void linkLostChanged(bool lost);

private:
    struct Exchange; // the state of the running command

    // A +CMT/+CDS header waiting for its PDU line.
    struct PendingCode
    {
        Unsolicited code;
        std::optional<int> length; // the TPDU length it announced
        quint64 order = 0;         // when it came, against a listing entry waiting as well
        QDeadlineTimer giveUp;
    };

    void onBytesArrived();
    void onTransportFailed(const QString &reason);

    // Feeds everything available; in a command, stops at its final code. Returns true when the
    // command ended.
    bool pump(Exchange *exchange);
    bool processTokens(Exchange *exchange);
    bool handleCommandLine(Exchange &exchange, QByteArrayView line, bool cut);
    void handleIdleLine(QByteArrayView line, bool cut);
    void handleUnsolicited(const AtLineClass &cls, QByteArrayView line);
    // The header waiting for a PDU (a listing entry of the exchange, a +CMT/+CDS) takes this line
    // if it is its PDU, the latest header first; true when taken.
    bool takePduLine(Exchange *exchange, QByteArrayView line);
    // A line was cut: the latest header waiting for a PDU gets none.
    void giveUpLatestPdu(Exchange *exchange);
    void flushPendingUnsolicited();
    void expirePendingUnsolicited();
    void armPendingTimer();
    void onPendingTimeout();
    void enqueue(Unsolicited &&code);

    void drainBeforeCommand(const AtCommand &next);
    // Sends a plain AT and drains until its own final code (atchannelresync.cpp).
    void resynchronise(const AtCommand &next);
    bool handleResyncLine(Exchange &exchange, QByteArrayView line, bool cut);
    // Counts a command (or the AT before it) that got no answer; raises Timeout, or
    // ConnectionLost when too many came in a row from a modem that sent nothing (not heard).
    [[noreturn]] void timedOut(const QByteArray &commandLine, const QString &what, bool heard);
    // A cut line came where only the prompt may: raises UnexpectedAnswer.
    [[noreturn]] void abandonPrompt(const QByteArray &commandLine, QByteArrayView line);
    void writeOrLose(const QByteArray &bytes, const QByteArray &traceText);
    bool transportGone() const;
    QString transportFailure(const QString &fallback) const;
    [[noreturn]] void loseLink(const QString &reason);
    void markLinkLost();
    void postNotification();

    void trace(TraceDirection direction, QByteArrayView line);
    void discard(QByteArrayView line);

    enum class BootLine { None, Readiness, Evidence };
    // Under a watch, a boot line is recorded as evidence and a readiness line noted; None when
    // the line is neither, or no watch is set.
    BootLine noticeBootLine(QByteArrayView line);
    // A listing's deadline restarts with a line of its answer that just came, under its cap.
    void extendForLine(Exchange &exchange);
    // An echo from a modem that had stopped echoing; true when recorded as evidence.
    bool noticeEcho();
    // Ends the command that evidence interrupted.
    [[noreturn]] void raiseRestarted(Exchange &exchange);
    [[noreturn]] void raiseRestartedBefore(const AtCommand &command);

    ByteTransport &m_transport;
    AtLineSplitter m_splitter;
    QList<Unsolicited> m_queue;
    std::optional<PendingCode> m_pendingUnsolicited;
    QTimer m_pendingTimer;
    quint64 m_headerOrder = 0;
    std::function<void(TraceDirection, const QByteArray &)> m_trace;
    Statistics m_stats;
    QString m_failure;
    int m_staleGraceMs = DefaultStaleGraceMs;
    int m_maxConsecutiveTimeouts = DefaultMaxConsecutiveTimeouts;
    int m_resyncTimeoutMs = DefaultResyncTimeoutMs;
    int m_pduWaitMs = DefaultPduWaitMs;
    int m_consecutiveTimeouts = 0;
    bool m_lastTimeoutHeard = false;
    bool m_running = false;
    bool m_linkLost = false;
    bool m_transportFailed = false;
    bool m_staleExpected = false;     // a command timed out; its reply may still come
    bool m_resyncNeeded = false;      // a command timed out; no AT has drained its reply yet
    bool m_echoOn = false;            // the last command that ended was echoed
    bool m_notificationPosted = false;
    bool m_queuedSinceNotify = false;
    RestartWatch m_restartWatch = RestartWatch::Off;
    bool m_echoOffSeen = false;       // under the Full watch, the modem had stopped echoing
    bool m_bootsAnnounced = false;    // it said RDY or ^SYSSTART once: its boots start so
    QString m_restartEvidence;
    QString m_readinessLine;
};

} // namespace pellix
