// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checksteps.h"
#include "environment.h"
#include "exportermetrics.h"
#include "librarycheckedmodem.h"

#include <QDateTime>
#include <QHash>
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
    void list();
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
    // The serial ports the last look for a modem that went away found (each probed once).
    QSet<QString> m_portsLookedAt;
    QString m_lastSaid;
    qint32 m_status = 0;
    int m_timeouts = 0;
    bool m_reopenDue = false;
    // A message to forward under the file name it always has (see forwardName).
    struct Pending
    {
        ReceivedMessage message;
        QString name;
        QString first;  // forwardName's; name differs for the same message again at a place
    };
    QList<Pending> m_toForward;
    // Not written (disk full, folder gone) or not deleted: still on the SIM, tried again at the
    // next interval.
    QList<Pending> m_retry;
    // Written but not deleted from the SIM: not written again even when a consumer has taken the
    // file away meanwhile. Across restarts the file's own name is the guard.
    QSet<QString> m_written;
    // Said once when forwarding starts failing and once when it works again: a full disk must
    // not write a line per message per interval.
    bool m_forwardFailing = false;
    // The forwardName of the message last deleted at each place: the same name read there again
    // in this run is a new message alike in every octet (a sender's burst of one alarm text), not
    // the deleted one, and is written under a name of its own.
    QHash<int, QString> m_deletedAt;
    // The listing of the stored messages failed (a restart in the middle, an error) or a poll
    // found messages stored that nothing waits for: listed again at the next interval.
    bool m_listingDue = false;
    // Messages on the read storage at the last poll, and the count a listing that found
    // nothing left there (status reports, what the listing cannot see): not listed again for it.
    int m_storedUsed = -1;
    int m_quietUsed = -1;
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

// The file name of a forwarded message, the same each time the message is read (after a kill, a
// failed delete, a reconnect): the service-centre time (UTC, so that names sort by it), the IMEI,
// the storage location and a hash of what the message says and who sent it.
QString forwardName(const QString &imei, const ReceivedMessage &message);

} // namespace cli
