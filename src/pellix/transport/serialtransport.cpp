// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialtransport.h"

#include "comports.h"
#include "portholders.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "profiles/pellixini.h"

#include <QFileInfo>
#include <QScopedValueRollback>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pellix {
namespace {

bool isPseudoTerminalDevice(int fd)
{
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int majorNumber = major(st.st_rdev);
    // Unix98 pty slaves use majors 136..143 (/dev/pts/N); 3 is the legacy BSD ttyp* slave.
    return (majorNumber >= 136 && majorNumber <= 143) || majorNumber == 3;
}

QString missingDeviceHint(const QString &devicePath)
{
    if (devicePath.startsWith(QLatin1String("/dev/rfcomm")))
        return QStringLiteral("no such device; is the Bluetooth link bound (rfcomm bind)?");
    return QStringLiteral("no such device; is the modem plugged in?");
}

QString permissionText(const QString &devicePath)
{
    struct stat st {};
    const QByteArray path = QFile::encodeName(devicePath);
    if (::stat(path.constData(), &st) == 0 && (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP)) {
        if (const struct group *g = ::getgrgid(st.st_gid))
            return QStringLiteral("permission denied; add your user to the %1 group (then log in again)")
                .arg(QString::fromLocal8Bit(g->gr_name));
    }
    if (devicePath.startsWith(QLatin1String("/dev/tty")) || devicePath.startsWith(QLatin1String("/dev/rfcomm")))
        return QStringLiteral("permission denied; add your user to the dialout group (then log in again)");
    return QStringLiteral("permission denied; its mode (%1) does not let your user read and write it")
        .arg(QString::number(st.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0')));
}

} // namespace

SerialTransport::SerialTransport(QObject *parent)
    : ByteTransport(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

SerialTransport::~SerialTransport()
{
    m_port.close();
}

void SerialTransport::open(int comNumber, qint32 baudRate, const ModemProfile &profile, const PellixIni &ini)
{
    if (baudRate < 0)
        raise(ErrorCode::InvalidArgument, QStringLiteral("serial speed %1").arg(baudRate));
    const QString path = devicePathForCom(comNumber, ini);
    openDevice(path, portDisplayName(comNumber, path), baudRate == 0 ? profile.baudRate : baudRate,
               profile.slowWrite);
}

void SerialTransport::open(int comNumber, qint32 baudRate, const ModemProfile &profile)
{
    open(comNumber, baudRate, profile, PellixIni::loadDefault());
}

void SerialTransport::openDevice(const QString &devicePath, const QString &displayName, qint32 baudRate,
                                 bool slowWrite)
{
    close();
    if (baudRate <= 0)
        raise(ErrorCode::InvalidArgument, QStringLiteral("serial speed %1 for %2").arg(baudRate).arg(displayName));
    ++m_generation;
    m_failed = false;
    m_failureQueued = false;
    m_error.clear();
    m_leftover.clear();
    m_devicePath = devicePath;
    m_displayName = displayName;
    m_slowWrite = slowWrite;

    const QScopedValueRollback inCall(m_inCall, true);
    m_port.setPortName(devicePath);
    if (!m_port.open(QIODevice::ReadWrite))
        raiseOpenError(devicePath, displayName);
    m_port.clearError();
    // QSerialPort's lock file keeps out programs that honour lock files; TIOCEXCL makes the
    // kernel refuse every further open (EBUSY) until we close, whatever the other program is.
    ::ioctl(m_port.handle(), TIOCEXCL);
    m_pseudoTerminal = isPseudoTerminalDevice(int(m_port.handle()));
    applySettings(baudRate);
    // Whatever the modem said before we came (a previous session's answers) is not ours.
    m_port.clear(QSerialPort::Input);
    m_port.clearError();
}

void SerialTransport::applySettings(qint32 baudRate)
{
    QStringList refused;
    if (!m_port.setBaudRate(baudRate))
        refused << QStringLiteral("%1 baud").arg(baudRate);
    if (!m_port.setDataBits(QSerialPort::Data8))
        refused << QStringLiteral("8 data bits");
    if (!m_port.setParity(QSerialPort::NoParity))
        refused << QStringLiteral("no parity");
    if (!m_port.setStopBits(QSerialPort::OneStop))
        refused << QStringLiteral("1 stop bit");
    if (!m_port.setFlowControl(QSerialPort::NoFlowControl))
        refused << QStringLiteral("no flow control");
    m_baudRate = baudRate;
    if (refused.isEmpty())
        return;
    // A pseudo-terminal has no line: it may refuse a speed (a non-standard one needs an ioctl
    // that only UART drivers have) without that mattering to the bytes.
    if (m_pseudoTerminal) {
        m_port.clearError();
        return;
    }
    const QString why = m_port.errorString();
    m_port.close();
    raise(ErrorCode::PortCannotOpen, QStringLiteral("%1: the port refuses %2 (%3)")
                                         .arg(m_displayName, refused.join(QStringLiteral(", ")), why));
}

void SerialTransport::raiseOpenError(const QString &devicePath, const QString &displayName)
{
    const QString why = openProblem(devicePath);
    raise(ErrorCode::PortCannotOpen, QStringLiteral("%1: %2").arg(displayName.isEmpty() ? devicePath : displayName, why));
}

QString SerialTransport::openProblem(const QString &devicePath)
{
    const QSerialPort::SerialPortError qtError = m_port.error();
    const QString qtText = m_port.errorString();
    m_port.close();

    if (!QFileInfo::exists(devicePath))
        return missingDeviceHint(devicePath);

    // QSerialPort folds EACCES, EBUSY and a held lock file into one PermissionError; opening the
    // node ourselves tells them apart and gives the remedy that fits.
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int err = errno;
    if (fd >= 0) {
        const bool tty = ::isatty(fd);
        ::close(fd);
        if (!tty)
            return QStringLiteral("not a serial device");
        if (qtError == QSerialPort::PermissionError)
            return busyPortText(devicePath);
        return qtText;
    }
    switch (err) {
    case EACCES:
    case EPERM:
        return permissionText(devicePath);
    case EBUSY:
        return busyPortText(devicePath);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return missingDeviceHint(devicePath);
    case EIO:
        // A ttyS node whose UART is absent, or a pseudo-terminal whose other side is gone.
        return QStringLiteral("no device answers behind it (input/output error)");
    case ENOTTY:
        return QStringLiteral("not a serial device");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

bool SerialTransport::isOpen() const
{
    return m_port.isOpen() && !m_failed;
}

bool SerialTransport::write(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    const QScopedValueRollback inCall(m_inCall, true);

    auto drain = [this](qint64 count) {
        // Generous bound: the bytes at the line speed, plus a second for the driver.
        const qint64 lineMs = m_baudRate > 0 ? count * 10 * 1000 / m_baudRate : 0;
        const QDeadlineTimer deadline(1000 + lineMs);
        while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
            if (m_port.waitForBytesWritten(int(qMin<qint64>(deadline.remainingTime(), INT_MAX))))
                continue;
            const QSerialPort::SerialPortError e = m_port.error();
            if (e != QSerialPort::TimeoutError && checkGone(e))
                return false;
            m_port.clearError();
        }
        return true;
    };

    bool ok = true;
    if (m_slowWrite) {
        for (qsizetype i = 0; ok && i < bytes.size(); ++i) {
            ok = m_port.write(bytes.constData() + i, 1) == 1 && drain(1);
            if (ok && i + 1 < bytes.size())
                QThread::msleep(SlowWritePauseMs);
        }
    } else {
        ok = m_port.write(bytes) == bytes.size() && drain(bytes.size());
    }
    if (!ok && !m_failed && checkGone(m_port.error() == QSerialPort::NoError ? QSerialPort::WriteError : m_port.error()))
        ok = false;
    announceLeftovers();
    return ok && !m_failed;
}

QByteArray SerialTransport::takeAvailable()
{
    QByteArray bytes;
    bytes.swap(m_leftover);
    if (m_port.isOpen())
        bytes += m_port.readAll();
    return bytes;
}

bool SerialTransport::waitForBytes(QDeadlineTimer deadline)
{
    if (!m_leftover.isEmpty() || (m_port.isOpen() && m_port.bytesAvailable() > 0))
        return true;
    if (!isOpen())
        return false;

    const QScopedValueRollback inCall(m_inCall, true);
    bool available = false;
    for (;;) {
        const qint64 remaining = deadline.remainingTime(); // -1: forever
        const int ms = remaining < 0 ? -1 : int(qMin<qint64>(remaining, INT_MAX));
        const bool ready = m_port.waitForReadyRead(ms);
        if (m_port.bytesAvailable() > 0) {
            available = true;
            break;
        }
        if (!ready) {
            const QSerialPort::SerialPortError e = m_port.error();
            if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError) {
                if (checkGone(e)) {
                    available = !m_leftover.isEmpty();
                    break;
                }
                // A transient error: give the device a moment rather than spin on it.
                QThread::msleep(1);
            }
            m_port.clearError();
        }
        if (deadline.hasExpired())
            break;
    }
    announceLeftovers();
    return available;
}

void SerialTransport::close()
{
    m_port.close();
    m_leftover.clear();
}

QString SerialTransport::errorText() const
{
    return m_error;
}

void SerialTransport::onReadyRead()
{
    if (!m_inCall && isOpen() && m_port.bytesAvailable() > 0)
        Q_EMIT bytesArrived();
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    // Inside open(), write() and waitForBytes() the caller looks at the error when Qt returns.
    if (m_inCall || m_failed || !m_port.isOpen() || error == QSerialPort::NoError
        || error == QSerialPort::TimeoutError)
        return;
    if (!checkGone(error))
        m_port.clearError();
}

bool SerialTransport::checkGone(QSerialPort::SerialPortError error)
{
    if (m_failed)
        return true;
    bool gone = error == QSerialPort::ResourceError;
    if (!gone && m_port.isOpen()) {
        // A pseudo-terminal whose master closed reads as end of file, which QSerialPort reports
        // as a ReadError with a stale errno; the hang-up shows in poll().
        pollfd pfd{int(m_port.handle()), POLLIN, 0};
        gone = ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
    }
    if (gone)
        fail(QStringLiteral("%1: the device went away (unplugged, or closed by the other side)").arg(m_displayName));
    return gone;
}

void SerialTransport::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_error = reason;
    // What arrived before the end is still the modem's; keep it for takeAvailable().
    if (m_port.isOpen())
        m_leftover += m_port.readAll();
    if (m_failureQueued)
        return;
    m_failureQueued = true;
    // Closing the port and telling the owner happen from the event loop: here we may be inside
    // QSerialPort's own notification code or inside the AT channel's wait.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, reason]() {
            if (generation != m_generation)
                return;
            m_port.close();
            Q_EMIT failed(reason);
        },
        Qt::QueuedConnection);
}

void SerialTransport::announceLeftovers()
{
    // Bytes read into QSerialPort's buffer during a synchronous call raise no further notifier;
    // if the caller leaves them there, the idle path must still hear of them.
    if (m_leftoverCheckQueued)
        return;
    m_leftoverCheckQueued = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation]() {
            m_leftoverCheckQueued = false;
            if (generation == m_generation && !m_inCall && isOpen() && m_port.bytesAvailable() > 0)
                Q_EMIT bytesArrived();
        },
        Qt::QueuedConnection);
}

} // namespace pellix
