// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checksteps.h"
#include "environment.h"
#include "exportermetrics.h"
#include "librarycheckedmodem.h"

#include <QDateTime>
#include <QSet>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace cli {

struct ExporterSettings
{
    int intervalMs = 10000;
    int reopenAfter = 3;          // consecutive timeouts before the port is closed and opened again
    int checkEverySeconds = 0;    // 0: no check
    // The check's loopback runs too: a message to the modem's own number each check, counted in
    // the sends; what comes back is counted as received and deleted, not forwarded.
    bool loopback = false;
    QString forwardFolder;        // empty: messages stay on the SIM
    CheckSettings check;
};

// What a poller takes from outside: the modem on a request, and the ports to search for a modem
// that came back on another one (empty: this machine's).
struct ExporterHooks
{
    std::function<std::unique_ptr<pellix::PellixGsmModem>(const ModemRequest &)> makeModem;
    std::function<QList<pellix::SerialPortDescription>()> listPorts;
    std::function<pellix::PortProbeResult(const pellix::SerialPortDescription &, qint32 baudRate)> probePort;
    // A line for the operator (stderr); called from the poller's thread.
    std::function<void(const QString &)> say;
};

// One modem watched for the exporter, in a thread of its own with the connection made there: it
// keeps the connection open, reads signal and network every interval into the store, counts the
// events, opens the port again when it is lost or the modem stops answering, and finds a modem
// that came back on another serial port by its IMEI.
class ExporterPoller
{
public:
    ExporterPoller(ExporterStore &store, int index, CheckTarget target, ExporterSettings settings, ExporterHooks hooks);
    ~ExporterPoller();

    // Until stop is set; then the connection is closed cleanly (the modem keeps storing).
    void run(const std::atomic<bool> &stop);

private:
    void open();
    void poll();
    void check();
    void forwardPending();
    void dropCounted();
    void takeIn(const QList<ReceivedMessage> &messages);
    void lost(const QString &why);
    void reopen();
    void close();
    bool findMoved();
    void wait(int ms, const std::atomic<bool> &stop);
    void watchEvents();
    void update(const std::function<void(ModemMetrics &)> &change) { m_store.update(m_index, change); }
    void sayOnce(const QString &line);

    ExporterStore &m_store;
    int m_index;
    CheckTarget m_target;
    ExporterSettings m_settings;
    ExporterHooks m_hooks;
    std::unique_ptr<LibraryCheckedModem> m_modem;
    QString m_imei;
    QString m_lastSaid;
    qint32 m_status = 0;
    int m_timeouts = 0;
    bool m_reopenDue = false;
    QList<ReceivedMessage> m_toForward;
    // Not written (disk full, folder gone): still on the SIM, tried again at the next interval.
    QList<ReceivedMessage> m_retry;
    // Written but not deleted from the SIM: never written a second time when read again.
    QSet<QString> m_written;
    // SIM locations the connection's first listing took in: a message indicated while it was
    // listed comes again as an event and is not taken in twice. Cleared after the first interval.
    QSet<int> m_listed;
    QDateTime m_nextCheck;
    // The texts of the last loopbacks sent, to know them when they come back (late ones too).
    QStringList m_loopbackTexts;
    // Storage locations of what is counted and not kept (status reports, the loopback's own
    // message back), deleted once no check runs.
    QList<qint16> m_counted;
};

// Writes a forwarded message's JSON into folder as name, whole or not at all (a temporary file
// synced and renamed, the folder synced); empty, or why it could not.
QString writeForwardFile(const QString &folder, const QString &name, const QByteArray &json);

} // namespace cli
