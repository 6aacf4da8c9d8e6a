// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace pellix::sim {

// A line the modem said, as the trace recorded it, with when it came.
struct RecordedLine
{
    QByteArray bytes;       // the line without its line end, or "> " for the prompt
    bool prompt = false;    // the "> " of +CMGS/+CMGW: sent without a line end
    bool discarded = false; // the driver did not use it (echo, a late answer, noise)
    // After the driver gave up on its command ("== timeout:"): it must not come sooner than that.
    bool late = false;
    qint64 delayMs = 0;     // after the command it follows (or the session's start)
    int traceLine = 0;
};

// One thing the driver sent and what the modem said after it, up to the next thing sent.
struct RecordedExchange
{
    enum class End { Cr, CtrlZ, Esc };
    QByteArray command;      // without its terminator; may hold "****" where the trace masks secrets
    End end = End::Cr;       // CR for a command line, Ctrl-Z for the PDU after a prompt, ESC
    int traceLine = 0;
    qint64 offsetMs = 0;     // after the session's start
    std::optional<qint64> gaveUpMs; // the driver timed out this long after sending it
    QList<RecordedLine> replies;
};

// What the "connect:" note says of the connection (absent values: a trace of an older version).
struct ConnectParameters
{
    std::optional<qint32> modemType;
    QString profileName;
    std::optional<qint16> port;
    std::optional<qint32> baudRate;
    std::optional<qint32> receiveMode;
    std::optional<qint32> timeoutSeconds;
    std::optional<bool> checkSim;
    std::optional<bool> callerId;
    bool pinGiven = false;
    QString profile;         // the "profile:" note: every value of the profile
    QString device;          // the "device:" note
};

// One connection of the trace, from its "connect:" note to the next one or the end of the file.
struct RecordedSession
{
    QString file;
    int traceLine = 0;           // of the connect note
    QString connectNote;
    ConnectParameters parameters;
    QList<RecordedLine> preamble; // what the modem said before the first command
    QList<RecordedExchange> exchanges;
};

// Pellix.log (or a rotated Pellix.log.1, or several sessions in one file) read back into sessions
// of timed exchanges, to be replayed by TraceReplayer.
class TraceRecording
{
public:
    // Nullopt and, in `error`, what is wrong and where ("<file>, line 12: ...") for a file that is
    // not a trace or holds no session. A last line without its line end (the disk filled up as it
    // was written, the copy was cut short) is left out with a note.
    static std::optional<TraceRecording> fromFile(const QString &path, QString &error);
    static std::optional<TraceRecording> fromText(const QByteArray &text, const QString &name, QString &error);

    const QList<RecordedSession> &sessions() const { return m_sessions; }
    int formatVersion() const { return m_version; }
    // What was left out of a file that is read all the same ("<file>, line 12: ..."), for the
    // reader's user.
    const QStringList &notes() const { return m_notes; }

private:
    QList<RecordedSession> m_sessions;
    QStringList m_notes;
    int m_version = 1;
};

} // namespace pellix::sim
