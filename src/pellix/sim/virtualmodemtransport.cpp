// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodemtransport.h"

#include "virtualmodem.h"

#include <QThread>

namespace pellix::sim {
namespace {

// Often enough that a ring or a returning message reaches an idle console without a visible
// delay, rarely enough to cost nothing.
constexpr int IdlePollMs = 20;
// Longest sleep inside waitForBytes between looks at the clock.
constexpr qint64 WaitStepMs = 2;

} // namespace

VirtualModemTransport::VirtualModemTransport(std::shared_ptr<VirtualModem> modem, QObject *parent)
    : ByteTransport(parent)
    , m_modem(std::move(modem))
{
    m_idleTimer.setInterval(IdlePollMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &VirtualModemTransport::pollNow);
    m_idleTimer.start();
    // Whatever a previous client left half-done or unread is not this connection's business.
    m_modem->lineOpened();
    m_modem->poll();
    m_modem->takeOutput();
}

VirtualModemTransport::~VirtualModemTransport()
{
    if (m_open)
        m_modem->lineClosed();
}

void VirtualModemTransport::pump()
{
    if (!m_open || m_fault == Fault::Silent)
        return;
    m_modem->poll();
    pace(m_modem->takeOutput());
    if (m_fault == Fault::Chatter) {
        ++m_noise;
        m_pending += m_noise % 2 ? "\r\n^RSSI:" + QByteArray::number(m_noise % 32) + "\r\n"
                                 : QByteArray("\r\n^BOOT:12345678,0,0,0,6\r\n");
    }
}

void VirtualModemTransport::pace(const QByteArray &said)
{
    const int bytesPerSecond = m_modem->field().lineSpeed;
    if (bytesPerSecond <= 0) {
        m_pending += said;
        return;
    }
    if (!said.isEmpty()) {
        // An idle line starts carrying at once; a busy one queues behind what it carries.
        if (m_onLine.isEmpty()) {
            m_lineBusy.start();
            m_lineCarried = 0;
        }
        m_onLine += said;
    }
    if (m_onLine.isEmpty())
        return;
    const qint64 carried = m_lineBusy.elapsed() * bytesPerSecond / 1000 - m_lineCarried;
    const qsizetype n = qsizetype(qBound<qint64>(0, carried, m_onLine.size()));
    m_pending += m_onLine.left(n);
    m_onLine.remove(0, n);
    m_lineCarried += n;
}

bool VirtualModemTransport::write(const QByteArray &bytes)
{
    if (!m_open) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the virtual modem connection is closed");
        return false;
    }
    if (m_fault == Fault::Silent)
        return true;
    m_modem->feed(bytes);
    return true;
}

QByteArray VirtualModemTransport::takeAvailable()
{
    pump();
    m_signalled = false;
    QByteArray out;
    out.swap(m_pending);
    return out;
}

bool VirtualModemTransport::waitForBytes(QDeadlineTimer deadline)
{
    while (m_open) {
        pump();
        if (!m_pending.isEmpty())
            return true;
        if (deadline.hasExpired())
            return false;
        const qint64 remaining = deadline.remainingTime();
        QThread::msleep(quint64(remaining < 0 ? WaitStepMs : qBound<qint64>(0, remaining, WaitStepMs)));
    }
    return false;
}

void VirtualModemTransport::close()
{
    if (m_open)
        m_modem->lineClosed();
    m_open = false;
    m_idleTimer.stop();
    m_pending.clear();
    m_onLine.clear();
}

void VirtualModemTransport::pause(int ms)
{
    m_modem->clock().wait(ms);
}

void VirtualModemTransport::setFault(Fault fault)
{
    m_fault = fault;
    if (fault != Fault::Unplugged || !m_open)
        return;
    m_open = false;
    m_modem->lineClosed();
    m_idleTimer.stop();
    m_pending.clear();
    m_error = QStringLiteral("the virtual modem was unplugged");
    Q_EMIT failed(m_error);
}

void VirtualModemTransport::pollNow()
{
    const qsizetype before = m_pending.size();
    pump();
    if (m_pending.size() > before && !m_signalled) {
        m_signalled = true;
        Q_EMIT bytesArrived();
    }
}

} // namespace pellix::sim
