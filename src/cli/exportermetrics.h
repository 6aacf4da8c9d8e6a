// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checkresult.h"
#include "modem/modemfacts.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <functional>
#include <optional>

namespace cli {

// What the exporter knows of one modem: the values of its last poll and the counters since the
// exporter started. Counters only grow; a lost connection clears the values that would be stale.
struct ModemMetrics
{
    QString port;                 // "COM5", "/dev/ttyUSB0", "virtual 1"
    QString imei;
    QString model;
    bool up = false;
    bool polling = false;         // a poll is waiting for the modem's answer now
    std::optional<int> rssi;      // 27.007 +CSQ 0..31; none when 99
    std::optional<int> ber;       // 0..7; none when 99
    std::optional<pellix::RegistrationState> registration;
    int accessTechnology = -1;
    QString operatorName;
    QString operatorNumeric;
    quint64 received = 0;
    quint64 sent = 0;
    quint64 sendFailures = 0;
    quint64 delivered = 0;
    quint64 pending = 0;
    quint64 failed = 0;
    quint64 connectionLosses = 0;
    quint64 restarts = 0;
    quint64 reopens = 0;
    quint64 forwardFailures = 0;  // failed attempts: a message that keeps failing counts every interval
    QList<pellix::StorageUse> storage; // +CPMS? of the last poll, in its order
    qint64 lastPollMs = 0;        // ms since the epoch; 0: no poll has succeeded yet
    QList<CheckStep> check;       // the verdicts of the last check, empty before the first
    qint64 checkMs = 0;

    // The values a poll reads: gone with the connection.
    void clearReadings();
    // Counts a status report by its TP-ST (23.040 9.2.3.15): delivered, still tried, or failed.
    void countReport(int status);
};

// The metrics of every modem, written by the pollers and read by the scrapes under one mutex,
// held only to copy: a scrape never waits for a modem.
class ExporterStore
{
public:
    int add(const QString &port);
    void update(int modem, const std::function<void(ModemMetrics &)> &change);
    QList<ModemMetrics> snapshot() const;

private:
    mutable QMutex m_mutex;
    QList<ModemMetrics> m_modems;
};

// The Prometheus text format (version 0.0.4) of the modems: a HELP and a TYPE line per metric,
// samples labelled imei, port and model. withChecks: the check verdicts are published.
QByteArray exposition(const QList<ModemMetrics> &modems, const QString &version, bool withChecks);

// A label value as the text format writes it between quotes: \ " and line feed escaped.
QString escapeLabelValue(const QString &value);

// The label value of a 27.007 <AcT> ("gsm", "umts", "lte", ...); empty when unknown.
QString accessTechnologyName(int accessTechnology);

} // namespace cli
