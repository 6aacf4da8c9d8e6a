// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace pellix {

// The AT trace, Pellix.log: every line sent to and received from the modem, and notes of what
// the driver does, one line each:
//   2024-01-02 03:04:05.678 -> AT+CSQ
//   2024-01-02 03:04:05.712 <- +CSQ: 21,99
//   2024-01-02 03:04:05.713 == connect COM3 (/dev/ttyS2) profile Wavecom
//
// With the version line on, a file begins with "== Pellix trace 2" (also the fresh file after a
// rotation), so that a reader knows how to take the lines back to bytes: since format 2 a '<'
// that would read as the start of an escape is written as <3C>.
//
// The file lies in the user's temporary folder (TempFolder: TMPDIR, or a folder of the user's
// own, made owner-only), which may still be one others can write to, so it is opened with
// O_NOFOLLOW and checked to be a regular file of our own with one link: a symbolic or hard link
// planted at its name, or a file another user made, gets no trace at all (fail closed). It is
// owner-only (0600), also when it was there before. PINs and passwords are masked (masked()).
//
// Each line goes out in one write(2) on an O_APPEND descriptor: nothing waits in a buffer (the
// console's "Show Log file" sees it at once), and lines of two programs never interleave. A
// record is whole or absent: one that a full disk cut short is taken back, so that the next one
// never joins its stump, and once records can be written again a note says how many were lost.
// When the file passes maxBytes it is renamed to Pellix.log.1 (replacing the previous one) and a
// new one begun; when the rename fails, the file keeps growing (never cut) and the trace and
// stderr say so once.
//
// A trace that cannot be written (the file cannot be opened, a write fails) is told once to the
// failure handler: a support request must not arrive without its trace and nobody knowing why.
class TraceLog
{
public:
    static constexpr qint64 DefaultMaxBytes = 10 * 1024 * 1024;
    // Longer lines (a runaway modem) are cut, saying how much was left out.
    static constexpr int MaxLineBytes = 1024;
    static constexpr int FormatVersion = 2;
    // The note that opens a file of this format: "Pellix trace 2".
    static QByteArray versionNote();

    static QString defaultPath(); // <the user's temporary folder>/Pellix.log

    // Each trace line, newline included, as the file gets it (PINs masked), also when the file
    // could not be opened: a command-line user watches the trace as it happens.
    using Sink = std::function<void(const QByteArray &record)>;
    // Told once, the first time the trace cannot be written, why (a sentence naming the file).
    using FailureHandler = std::function<void(const QString &why)>;

    // An empty path writes no file (the sink alone).
    explicit TraceLog(const QString &path = defaultPath(), qint64 maxBytes = DefaultMaxBytes);
    ~TraceLog();
    TraceLog(const TraceLog &) = delete;
    TraceLog &operator=(const TraceLog &) = delete;

    // False when no trace is written (see errorText()).
    bool isOpen() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }
    const QString &errorText() const { return m_error; }
    // Every file this log begins (also after a rotation) starts with the version note.
    void setVersionLine(bool on) { m_versionLine = on; }

    void sent(const QByteArray &line) { this->line(true, line); }
    void received(const QByteArray &line) { this->line(false, line); }
    void line(bool sent, const QByteArray &line);
    // A received line the driver did not use (echo, a reply after its deadline).
    void discarded(const QByteArray &line);
    void note(const QString &text);
    void setSink(Sink sink) { m_sink = std::move(sink); }
    // A failure that came before the handler was set (the file could not be opened) is told at
    // once.
    void setFailureHandler(FailureHandler handler);

    // The bytes as trace text: printable ASCII as is, anything else as <XX>, cut at maxBytes. A
    // '<' followed by two hex digits and '>' is written <3C>, so that text never reads as a byte.
    static QByteArray printable(const QByteArray &bytes, int maxBytes = MaxLineBytes);
    // The bytes printable() was given (older traces, which left '<' alone, read the same way).
    static QByteArray bytesOf(QByteArrayView text);
    // The line with its secrets replaced by "****": the arguments of +CPIN, +CPIN2, ^CPIN and
    // +CPWD, the password of +CLCK, and the passwords of the PIN, PUK and call-barring service
    // strings (ATD**04*..., +CUSD), in any form the modem takes (blanks, case). Every text that
    // shows a command line (the trace, error descriptions, pellix's output) goes through this
    // (tracelogmasking.cpp).
    static QByteArray masked(const QByteArray &line);

private:
    bool openFile();
    void append(const char *direction, const QByteArray &text);
    // Writes the record whole, or takes back what went out of it; false when it is not in the file.
    bool writeRecord(const QByteArray &record);
    void rotate();
    void closeFile(const QString &why);
    void failed(const QString &why);

    QString m_path;
    qint64 m_maxBytes;
    qint64 m_size = 0;
    int m_fd = -1;
    QString m_error;
    bool m_rotationFailed = false;  // said once, in the trace and on stderr
    qint64 m_rotateAgainAt = 0;     // after a failed rotation: the size of the next try
    QByteArray m_rotationNote;      // the note of a failed rotation, written with the next line
    Sink m_sink;
    FailureHandler m_failureHandler;
    QString m_failure;              // the first failure, until it has been told
    bool m_failureTold = false;
    qint64 m_lostRecords = 0;       // since the last record that was written
    QString m_lossReason;
    bool m_stumpLeft = false;       // part of a record is in the file and could not be taken back
    bool m_versionLine = false;
};

} // namespace pellix
