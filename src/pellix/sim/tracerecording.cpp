// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracerecording.h"

#include "transport/tracelog.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

namespace pellix::sim {
namespace {

// Pellix.log stays below 10 MiB unless its rotation fails; a file far beyond is not one.
constexpr qint64 MaxFileBytes = qint64(256) << 20;
constexpr qsizetype StampLength = 23; // "2024-01-02 03:04:05.678"

constexpr char CtrlZ = 0x1A;
constexpr char Esc = 0x1B;

std::optional<int> digits(QByteArrayView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        if (text.at(i) < '0' || text.at(i) > '9')
            return std::nullopt;
        value = value * 10 + (text.at(i) - '0');
    }
    return value;
}

// Milliseconds of the stamp, as if it were UTC: only differences matter.
std::optional<qint64> stampMs(QByteArrayView line)
{
    if (line.size() < StampLength || line.at(4) != '-' || line.at(7) != '-' || line.at(10) != ' '
        || line.at(13) != ':' || line.at(16) != ':' || line.at(19) != '.')
        return std::nullopt;
    const auto y = digits(line, 0, 4), mo = digits(line, 5, 2), d = digits(line, 8, 2);
    const auto h = digits(line, 11, 2), mi = digits(line, 14, 2), s = digits(line, 17, 2), ms = digits(line, 20, 3);
    if (!y || !mo || !d || !h || !mi || !s || !ms)
        return std::nullopt;
    const QDate date(*y, *mo, *d);
    const QTime time(*h, *mi, *s, *ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
}

// "connect: modem type 2 (Wavecom), port COM3, baud 115200, receive mode 2, timeout 60 s,
// check SIM on, caller id off, PIN ****"; older traces end after the port.
ConnectParameters connectParameters(const QString &note)
{
    ConnectParameters p;
    static const QRegularExpression type(QStringLiteral("modem type (-?\\d+) \\((.*?)\\)(,|$)"));
    static const QRegularExpression number(QStringLiteral("(port COM|baud |receive mode |timeout )(-?\\d+)"));
    static const QRegularExpression flag(QStringLiteral("(check SIM|caller id) (on|off)"));
    if (const auto m = type.match(note); m.hasMatch()) {
        p.modemType = m.captured(1).toInt();
        p.profileName = m.captured(2);
    }
    for (auto it = number.globalMatch(note); it.hasNext();) {
        const auto m = it.next();
        const int value = m.captured(2).toInt();
        const QString key = m.captured(1);
        if (key == QLatin1String("port COM"))
            p.port = qint16(value);
        else if (key == QLatin1String("baud "))
            p.baudRate = value;
        else if (key == QLatin1String("receive mode "))
            p.receiveMode = value;
        else
            p.timeoutSeconds = value;
    }
    for (auto it = flag.globalMatch(note); it.hasNext();) {
        const auto m = it.next();
        (m.captured(1) == QLatin1String("check SIM") ? p.checkSim : p.callerId) = m.captured(2) == QLatin1String("on");
    }
    p.pinGiven = note.contains(QLatin1String("PIN ****"));
    return p;
}

class Reader
{
public:
    Reader(const QString &name, QString &error) : m_name(name), m_error(error) {}

    bool fail(int line, const QString &why)
    {
        m_error = line > 0 ? QStringLiteral("%1, line %2: %3").arg(m_name).arg(line).arg(why)
                           : QStringLiteral("%1: %2").arg(m_name, why);
        return false;
    }

    bool readLine(int number, QByteArrayView line)
    {
        for (const char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u >= 0x7F)
                return fail(number, QStringLiteral("byte 0x%1 is not trace text; not a Pellix trace")
                                        .arg(u, 2, 16, QLatin1Char('0')));
        }
        const std::optional<qint64> when = stampMs(line);
        const QByteArrayView direction = line.size() >= StampLength + 3 ? line.sliced(StampLength + 1, 2) : QByteArrayView();
        const bool known = direction == "->" || direction == "<-" || direction == "==";
        if (!when || line.at(StampLength) != ' ' || !known
            || (line.size() > StampLength + 3 && line.at(StampLength + 3) != ' '))
            return fail(number, QStringLiteral("not a trace line (\"<date> <time> ->|<-|== <text>\"): %1")
                                    .arg(QString::fromLatin1(line.first(std::min<qsizetype>(line.size(), 60)))));
        const QByteArrayView text = line.size() > StampLength + 4 ? line.sliced(StampLength + 4) : QByteArrayView();
        if (direction == "==")
            return note(number, *when, text);
        if (!m_inSession)
            return true; // the end of a session that began in an older file
        if (direction == "->")
            sent(number, *when, TraceLog::bytesOf(text));
        else
            received(number, *when, text);
        return true;
    }

    bool finish(TraceRecording &)
    {
        if (m_sessions.isEmpty())
            return fail(0, QStringLiteral("no session: there is no \"connect:\" note in it (a trace that begins in "
                                          "the middle of a session continues one in Pellix.log.1)"));
        return true;
    }

    QList<RecordedSession> m_sessions;
    int m_version = 1;

private:
    bool note(int number, qint64 when, QByteArrayView text)
    {
        static const QByteArray versionPrefix = "Pellix trace ";
        if (text.startsWith(versionPrefix)) {
            bool ok = false;
            const int version = text.sliced(versionPrefix.size()).toByteArray().toInt(&ok);
            if (!ok || version < 1)
                return fail(number, QStringLiteral("unreadable format version"));
            if (version > TraceLog::FormatVersion)
                return fail(number, QStringLiteral("written in trace format %1; this program reads up to %2")
                                        .arg(version).arg(TraceLog::FormatVersion));
            m_version = version;
            return true;
        }
        const QString note = QString::fromUtf8(TraceLog::bytesOf(text));
        if (note.startsWith(QLatin1String("connect:"))) {
            RecordedSession session;
            session.file = m_name;
            session.traceLine = number;
            session.connectNote = note;
            session.parameters = connectParameters(note);
            m_sessions.append(session);
            m_inSession = true;
            m_start = when;
            m_promptPending = false;
            return true;
        }
        if (!m_inSession)
            return true;
        if (note.startsWith(QLatin1String("profile: ")))
            m_sessions.last().parameters.profile = note.mid(9);
        else if (note.startsWith(QLatin1String("device: ")))
            m_sessions.last().parameters.device = note.mid(8);
        else if (note.startsWith(QLatin1String("timeout: ")) && !m_sessions.last().exchanges.isEmpty() && !m_lastGaveUp)
            m_lastGaveUp = m_sessions.last().exchanges.last().gaveUpMs = std::max<qint64>(0, when - m_sentAt);
        return true;
    }

    void sent(int number, qint64 when, const QByteArray &bytes)
    {
        RecordedExchange exchange;
        exchange.traceLine = number;
        exchange.offsetMs = std::max<qint64>(0, when - m_start);
        QByteArray command = bytes;
        if (command.endsWith(QByteArray(1, Esc) + '\r'))
            command.chop(1);
        if (command.endsWith(Esc)) {
            command.chop(1);
            exchange.end = RecordedExchange::End::Esc;
        } else if (m_promptPending) {
            exchange.end = RecordedExchange::End::CtrlZ;
        }
        exchange.command = command;
        m_promptPending = false;
        m_sentAt = when;
        m_lastDelay = 0;
        m_lastGaveUp.reset();
        m_sessions.last().exchanges.append(exchange);
    }

    void received(int number, qint64 when, QByteArrayView text)
    {
        static const QByteArray discardedMark = "(discarded) ";
        RecordedLine line;
        line.traceLine = number;
        line.discarded = text.startsWith(discardedMark);
        if (line.discarded)
            text = text.sliced(discardedMark.size());
        line.bytes = TraceLog::bytesOf(text);
        // The prompt is "> " on the wire; an editor may have taken the blank off the trace.
        line.prompt = line.bytes == "> " || line.bytes == ">";
        if (line.prompt)
            line.bytes = "> ";
        const bool inExchange = !m_sessions.last().exchanges.isEmpty();
        const qint64 from = inExchange ? m_sentAt : m_start;
        // Clocks set back (NTP, a DST change) must not reorder what the modem said.
        line.delayMs = std::max<qint64>(m_lastDelay, when - from);
        m_lastDelay = line.delayMs;
        line.late = inExchange && m_lastGaveUp.has_value();
        if (line.prompt && !line.discarded)
            m_promptPending = true;
        (inExchange ? m_sessions.last().exchanges.last().replies : m_sessions.last().preamble).append(line);
    }

    QString m_name;
    QString &m_error;
    bool m_inSession = false;
    qint64 m_start = 0;
    qint64 m_sentAt = 0;
    qint64 m_lastDelay = 0;
    std::optional<qint64> m_lastGaveUp;
    bool m_promptPending = false;
};

} // namespace

std::optional<TraceRecording> TraceRecording::fromFile(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > MaxFileBytes) {
        error = QStringLiteral("%1: %2 bytes, too large for a Pellix trace").arg(path).arg(file.size());
        return std::nullopt;
    }
    return fromText(file.read(MaxFileBytes + 1), path, error);
}

std::optional<TraceRecording> TraceRecording::fromText(const QByteArray &text, const QString &name, QString &error)
{
    Reader reader(name, error);
    if (text.isEmpty()) {
        reader.fail(0, QStringLiteral("the file is empty"));
        return std::nullopt;
    }
    int number = 0;
    QStringList notes;
    for (qsizetype from = 0; from < text.size();) {
        ++number;
        const qsizetype end = text.indexOf('\n', from);
        if (end < 0) {
            // A record is whole or absent when it is written; a stump at the end is what a full
            // disk or a cut copy leaves, and what came before it is good.
            notes << QStringLiteral("%1, line %2: the file ends in the middle of this line (cut off?); the line is left out")
                         .arg(name).arg(number);
            break;
        }
        QByteArrayView line(text.constData() + from, end - from);
        from = end + 1;
        if (line.endsWith('\r'))
            line.chop(1); // a copy that went through a Windows mailer
        if (line.isEmpty())
            continue;
        if (!reader.readLine(number, line))
            return std::nullopt;
    }
    TraceRecording recording;
    if (!reader.finish(recording))
        return std::nullopt;
    recording.m_sessions = reader.m_sessions;
    recording.m_version = reader.m_version;
    recording.m_notes = notes;
    return recording;
}

} // namespace pellix::sim
