// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracelog.h"

#include "hexdigits.h"
#include "tempfolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pellix {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// The trace writes its escapes in capitals: "<0a>" in a line is text, written as it stands.
int hexValue(char c)
{
    return c <= 'F' ? hexDigitValue(c) : -1;
}

// "<XX>" at `at`: the escape of one byte.
bool isEscapeAt(QByteArrayView text, qsizetype at)
{
    return at + 3 < text.size() && text.at(at) == '<' && hexValue(text.at(at + 1)) >= 0
        && hexValue(text.at(at + 2)) >= 0 && text.at(at + 3) == '>';
}

QByteArray stampNow()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

QByteArray TraceLog::versionNote()
{
    return "Pellix trace " + QByteArray::number(FormatVersion);
}

QString TraceLog::defaultPath()
{
    return TempFolder::path() + QStringLiteral("/Pellix.log");
}

TraceLog::TraceLog(const QString &path, qint64 maxBytes)
    : m_path(path)
    , m_maxBytes(maxBytes > 0 ? maxBytes : DefaultMaxBytes)
{
    openFile();
}

TraceLog::~TraceLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TraceLog::openFile()
{
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("no trace file");
        return false;
    }
    if (QFileInfo(m_path).absolutePath() == TempFolder::path()) {
        if (const QString why = TempFolder::prepare(); !why.isEmpty()) {
            closeFile(QStringLiteral("%1; no trace is written").arg(why));
            return false;
        }
    }
    const QByteArray path = QFile::encodeName(m_path);
    // O_NOFOLLOW: a symbolic link at the name is refused (ELOOP), never written through.
    // O_NONBLOCK: a FIFO planted there fails at once instead of blocking the console.
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int err = errno;
        closeFile(err == ELOOP ? QStringLiteral("%1 is a symbolic link; no trace is written").arg(m_path)
                               : QStringLiteral("%1: %2; no trace is written")
                                     .arg(m_path, QString::fromLocal8Bit(std::strerror(err))));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        ::close(fd);
        closeFile(QStringLiteral("%1 is not a plain file of this user; no trace is written").arg(m_path));
        return false;
    }
    // O_CREAT's mode holds only for a file it creates: one left by an older version, or created
    // under another umask, may be readable by others, and the trace holds numbers and messages.
    if ((st.st_mode & 0077) != 0 && ::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        const int err = errno;
        ::close(fd);
        closeFile(QStringLiteral("%1 cannot be made owner-only: %2; no trace is written")
                      .arg(m_path, QString::fromLocal8Bit(std::strerror(err))));
        return false;
    }
    m_fd = fd;
    m_size = st.st_size;
    m_rotateAgainAt = 0;
    m_error.clear();
    return true;
}

void TraceLog::closeFile(const QString &why)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_error = why;
    failed(why);
}

void TraceLog::failed(const QString &why)
{
    if (m_failureTold || !m_failure.isEmpty())
        return;
    m_failure = why;
    if (m_failureHandler) {
        m_failureTold = true;
        m_failureHandler(m_failure);
    }
}

void TraceLog::setFailureHandler(FailureHandler handler)
{
    m_failureHandler = std::move(handler);
    if (m_failureHandler && !m_failureTold && !m_failure.isEmpty()) {
        m_failureTold = true;
        m_failureHandler(m_failure);
    }
}

void TraceLog::rotate()
{
    const QByteArray path = QFile::encodeName(m_path);
    const QByteArray old = QFile::encodeName(m_path + QStringLiteral(".1"));
    // rename() replaces whatever is at Pellix.log.1 (a link there is replaced, not followed).
    if (::rename(path.constData(), old.constData()) != 0) {
        // The trace is what an operator sends when something went wrong: it keeps growing rather
        // than losing what it holds, and says so once. Another try after another maxBytes.
        const int err = errno;
        m_rotateAgainAt = m_size + m_maxBytes;
        if (!std::exchange(m_rotationFailed, true)) {
            const QString why = QStringLiteral("%1 cannot be renamed to %1.1 (%2); the trace grows past %3 bytes")
                                    .arg(m_path, QString::fromLocal8Bit(std::strerror(err))).arg(m_maxBytes);
            qWarning("Pellix trace: %s", qPrintable(why));
            m_rotationNote = "== " + printable(why.toUtf8());
        }
        return;
    }
    ::close(m_fd);
    m_fd = -1;
    openFile();
}

bool TraceLog::writeRecord(const QByteArray &record)
{
    qsizetype written = 0;
    while (written < record.size()) {
        const ssize_t n = ::write(m_fd, record.constData() + written, size_t(record.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            written += n;
            continue;
        }
        m_lossReason = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
        if (written == 0)
            return false;
        // A full disk took part of the record: the stump goes, or the next record, written once
        // there is room again, would join it into a line that reads as neither. It can go only
        // while it is the end of the file (another program may have written behind it).
        const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
        struct stat st {};
        if (end < written || ::fstat(m_fd, &st) != 0 || st.st_size != end || ::ftruncate(m_fd, end - written) != 0)
            m_stumpLeft = true;
        return false;
    }
    return true;
}

void TraceLog::append(const char *direction, const QByteArray &text)
{
    if (m_fd < 0 && !m_sink)
        return;
    QByteArray record = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
    record += ' ';
    record += direction;
    record += ' ';
    record += text;
    record += '\n';
    if (m_sink)
        m_sink(record);
    if (m_fd < 0)
        return;

    // Another program (a second console) may have rotated the file under us: follow the name.
    struct stat mine {};
    struct stat named {};
    const QByteArray path = QFile::encodeName(m_path);
    if (::fstat(m_fd, &mine) == 0) {
        if (::lstat(path.constData(), &named) != 0 || !sameFile(mine, named)) {
            ::close(m_fd);
            m_fd = -1;
            if (!openFile())
                return;
        } else {
            m_size = mine.st_size;
        }
    }
    if (m_size > 0 && m_size + record.size() > qMax(m_maxBytes, m_rotateAgainAt)) {
        rotate();
        if (m_fd < 0)
            return;
        if (!m_rotationNote.isEmpty())
            record.prepend(stampNow() + ' ' + std::exchange(m_rotationNote, {}) + '\n');
    }
    if (m_lostRecords > 0) {
        record.prepend(stampNow() + " == "
                       + printable(QStringLiteral("%1 trace record(s) before this one could not be written (%2)")
                                       .arg(m_lostRecords).arg(m_lossReason).toUtf8())
                       + '\n');
    }
    // A reader of a rotated Pellix.log learns the format from its own first line.
    if (m_size == 0 && m_versionLine)
        record.prepend(stampNow() + " == " + versionNote() + '\n');
    // A stump that could not be taken back ends here, so that this record begins a line.
    if (m_stumpLeft)
        record.prepend('\n');
    if (!writeRecord(record)) {
        // A full disk costs trace records, never the connection; it is said once.
        ++m_lostRecords;
        failed(QStringLiteral("%1: %2; trace records are lost until it can be written again").arg(m_path, m_lossReason));
        return;
    }
    m_stumpLeft = false;
    m_lostRecords = 0;
    m_size += record.size();
}

void TraceLog::line(bool sent, const QByteArray &line)
{
    append(sent ? "->" : "<-", printable(masked(line)));
}

void TraceLog::discarded(const QByteArray &line)
{
    append("<-", "(discarded) " + printable(masked(line)));
}

void TraceLog::note(const QString &text)
{
    append("==", printable(text.toUtf8()));
}

QByteArray TraceLog::printable(const QByteArray &bytes, int maxBytes)
{
    QByteArray out;
    out.reserve(qMin<qsizetype>(bytes.size() * 2, maxBytes + 32));
    qsizetype i = 0;
    for (; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        const bool plain = c >= 0x20 && c < 0x7F && !(c == '<' && isEscapeAt(bytes, i));
        if (out.size() + (plain ? 1 : 4) > maxBytes)
            break;
        if (plain) {
            out += char(c);
        } else {
            out += '<';
            out += HexDigits[c >> 4];
            out += HexDigits[c & 0x0F];
            out += '>';
        }
    }
    if (i < bytes.size())
        out += " ...(" + QByteArray::number(bytes.size() - i) + " more bytes)";
    return out;
}

QByteArray TraceLog::bytesOf(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isEscapeAt(text, i)) {
            out += char(hexValue(text.at(i + 1)) << 4 | hexValue(text.at(i + 2)));
            i += 3;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace pellix
