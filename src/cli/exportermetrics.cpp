// SPDX-License-Identifier: GPL-3.0-or-later
#include "exportermetrics.h"

#include <QMutexLocker>

namespace cli {
namespace {

using pellix::RegistrationState;

struct StateName
{
    RegistrationState state;
    const char *name;
};

constexpr StateName States[] = {
    {RegistrationState::Home, "home"},         {RegistrationState::Roaming, "roaming"},
    {RegistrationState::Searching, "searching"}, {RegistrationState::Denied, "denied"},
    {RegistrationState::NotRegistered, "not_registered"}, {RegistrationState::Unknown, "unknown"},
};

const char *const Verdicts[] = {"pass", "fail", "skip"};

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 3);
}

// One metric family: its HELP and TYPE, then its samples. A family with no sample is left out
// whole, so that a value the modem does not give is absent, not zero.
class Family
{
public:
    Family(const char *name, const char *type, const char *help)
        : m_name(QLatin1String(name))
        , m_type(QLatin1String(type))
        , m_help(QLatin1String(help))
    {
    }

    void sample(const QString &labels, const QString &value)
    {
        m_samples += m_name + (labels.isEmpty() ? QString() : QLatin1Char('{') + labels + QLatin1Char('}'))
            + QLatin1Char(' ') + value + QLatin1Char('\n');
    }

    void writeTo(QString &text) const
    {
        if (m_samples.isEmpty())
            return;
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n").arg(m_name, m_help, m_type) + m_samples;
    }

private:
    QString m_name;
    QString m_type;
    QString m_help;
    QString m_samples;
};

QString label(const char *name, const QString &value)
{
    return QLatin1String(name) + QStringLiteral("=\"") + escapeLabelValue(value) + QLatin1Char('"');
}

// A check step's name as a label value: "port answers AT" is port_answers_at, as a query names it.
QString stepLabel(const QString &name)
{
    QString text;
    for (const QChar c : name.toLower())
        text += c.isLetterOrNumber() ? c : QLatin1Char('_');
    return text;
}

} // namespace

void ModemMetrics::clearReadings()
{
    up = false;
    polling = false;
    rssi.reset();
    ber.reset();
    registration.reset();
    accessTechnology = -1;
    operatorName.clear();
    operatorNumeric.clear();
    storage.clear();
}

void ModemMetrics::countReport(int status)
{
    // 0x00..0x1F: the transaction is complete (delivered or replaced); 0x20..0x3F: the centre
    // still tries; from 0x40 it has given up.
    if (status < 0x20)
        ++delivered;
    else if (status < 0x40)
        ++pending;
    else
        ++failed;
}

int ExporterStore::add(const QString &port)
{
    QMutexLocker lock(&m_mutex);
    ModemMetrics modem;
    modem.port = port;
    m_modems << modem;
    return int(m_modems.size() - 1);
}

void ExporterStore::update(int modem, const std::function<void(ModemMetrics &)> &change)
{
    QMutexLocker lock(&m_mutex);
    change(m_modems[modem]);
}

QList<ModemMetrics> ExporterStore::snapshot() const
{
    QMutexLocker lock(&m_mutex);
    return m_modems;
}

QString escapeLabelValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            escaped += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else
            escaped += c;
    }
    return escaped;
}

QString accessTechnologyName(int accessTechnology)
{
    // 27.007 +COPS <AcT>.
    static const char *const Names[] = {"gsm",   "gsm_compact", "umts",      "edge",   "hsdpa",   "hsupa", "hspa",
                                        "lte",   "ec_gsm_iot",  "lte_nb_iot", "lte_5gcn", "nr_5gcn", "ng_ran", "lte_nr"};
    if (accessTechnology < 0)
        return QString();
    if (accessTechnology < int(std::size(Names)))
        return QLatin1String(Names[accessTechnology]);
    return QStringLiteral("act_%1").arg(accessTechnology);
}

QByteArray exposition(const QList<ModemMetrics> &modems, const QString &version, bool withChecks)
{
    Family up("pellix_modem_up", "gauge", "1 when the connection to the modem is open and the modem answers.");
    Family rssi("pellix_modem_signal_rssi", "gauge", "Received signal strength as +CSQ gives it (0..31).");
    Family dbm("pellix_modem_signal_dbm", "gauge", "Received signal strength in dBm.");
    Family ber("pellix_modem_signal_ber", "gauge", "Bit error rate class as +CSQ gives it (0..7).");
    Family registration("pellix_modem_registration_state", "gauge", "1 for the modem's current network registration state.");
    Family technology("pellix_modem_access_technology", "gauge", "1 for the radio access technology in use.");
    Family operatorInfo("pellix_modem_operator_info", "gauge", "The network operator the modem is on.");
    Family received("pellix_modem_sms_received_total", "counter",
                    "Messages received since the exporter started, each counted once when the exporter first takes it in "
                    "unread: arrivals while connected, and at every connection the unread messages waiting on the storage "
                    "(reading marks them read).");
    Family sent("pellix_modem_sms_sent_total", "counter", "Messages sent since the exporter started.");
    Family sendFailures("pellix_modem_sms_send_failures_total", "counter", "Messages that could not be sent.");
    Family reports("pellix_modem_status_reports_total", "counter", "Status reports received, by outcome.");
    Family losses("pellix_modem_connection_losses_total", "counter", "Times the connection to the modem was lost.");
    Family restarts("pellix_modem_restarts_total", "counter", "Restarts of the modem seen on an open connection.");
    Family reopens("pellix_modem_reopens_total", "counter", "Times the port was closed and opened again after the modem stopped answering.");
    Family forwardFailures("pellix_modem_forward_failures_total", "counter",
                           "Failed attempts to write a message to the forward folder; the message stays on the SIM and is "
                           "tried again every interval, each failed try counted.");
    Family storageUsed("pellix_modem_sms_storage_used", "gauge", "Messages held in the modem's message storage, as +CPMS gives it.");
    Family storageCapacity("pellix_modem_sms_storage_capacity", "gauge",
                           "Messages the modem's message storage can hold; a full one takes no new message.");
    Family polling("pellix_modem_poll_in_progress", "gauge", "1 while a poll waits for the modem's answer.");
    Family lastPoll("pellix_modem_last_poll_timestamp_seconds", "gauge", "Unix time of the last successful poll.");
    Family checkStep("pellix_modem_check_step", "gauge", "1 for the verdict of each step of the last check.");
    Family checkTime("pellix_modem_check_timestamp_seconds", "gauge", "Unix time of the last check.");

    for (const ModemMetrics &modem : modems) {
        const QString labels = label("imei", modem.imei) + QLatin1Char(',') + label("port", modem.port)
            + QLatin1Char(',') + label("model", modem.model);
        const auto with = [&](const QString &more) { return labels + QLatin1Char(',') + more; };
        up.sample(labels, modem.up ? QStringLiteral("1") : QStringLiteral("0"));
        if (modem.rssi) {
            rssi.sample(labels, QString::number(*modem.rssi));
            // 27.007 8.5: 0 is -113 dBm or less, 31 is -51 dBm or more, 2 dB a step.
            dbm.sample(labels, QString::number(-113 + 2 * *modem.rssi));
        }
        if (modem.ber)
            ber.sample(labels, QString::number(*modem.ber));
        if (modem.up) {
            const RegistrationState current = modem.registration.value_or(RegistrationState::Unknown);
            for (const StateName &state : States)
                registration.sample(with(label("state", QLatin1String(state.name))),
                                    state.state == current ? QStringLiteral("1") : QStringLiteral("0"));
        }
        if (const QString name = accessTechnologyName(modem.accessTechnology); !name.isEmpty())
            technology.sample(with(label("technology", name)), QStringLiteral("1"));
        if (!modem.operatorName.isEmpty() || !modem.operatorNumeric.isEmpty())
            operatorInfo.sample(with(label("operator", modem.operatorName) + QLatin1Char(',') + label("mccmnc", modem.operatorNumeric)),
                                QStringLiteral("1"));
        received.sample(labels, QString::number(modem.received));
        sent.sample(labels, QString::number(modem.sent));
        sendFailures.sample(labels, QString::number(modem.sendFailures));
        reports.sample(with(label("outcome", QStringLiteral("delivered"))), QString::number(modem.delivered));
        reports.sample(with(label("outcome", QStringLiteral("pending"))), QString::number(modem.pending));
        reports.sample(with(label("outcome", QStringLiteral("failed"))), QString::number(modem.failed));
        losses.sample(labels, QString::number(modem.connectionLosses));
        restarts.sample(labels, QString::number(modem.restarts));
        reopens.sample(labels, QString::number(modem.reopens));
        forwardFailures.sample(labels, QString::number(modem.forwardFailures));
        // +CPMS? names a storage once per role (read, write, receive): one sample per storage.
        QList<QByteArray> seen;
        for (const pellix::StorageUse &use : modem.storage) {
            if (use.storage.isEmpty() || seen.contains(use.storage))
                continue;
            seen << use.storage;
            const QString storageLabel = with(label("storage", QString::fromLatin1(use.storage)));
            storageUsed.sample(storageLabel, QString::number(use.used));
            storageCapacity.sample(storageLabel, QString::number(use.total));
        }
        polling.sample(labels, modem.polling ? QStringLiteral("1") : QStringLiteral("0"));
        if (modem.lastPollMs > 0)
            lastPoll.sample(labels, seconds(modem.lastPollMs));
        if (withChecks && modem.checkMs > 0) {
            for (const CheckStep &step : modem.check) {
                const int verdict = int(step.verdict);
                for (int v = 0; v < int(std::size(Verdicts)); ++v)
                    checkStep.sample(with(label("step", stepLabel(step.name)) + QLatin1Char(',') + label("verdict", QLatin1String(Verdicts[v]))),
                                     v == verdict ? QStringLiteral("1") : QStringLiteral("0"));
            }
            checkTime.sample(labels, seconds(modem.checkMs));
        }
    }

    Family build("pellix_exporter_build_info", "gauge", "The exporter's version.");
    build.sample(label("version", version), QStringLiteral("1"));
    Family count("pellix_exporter_modems", "gauge", "Modems the exporter is configured to watch.");
    count.sample(QString(), QString::number(modems.size()));

    QString text;
    for (const Family *family : {&up, &rssi, &dbm, &ber, &registration, &technology, &operatorInfo, &received, &sent,
                                 &sendFailures, &reports, &losses, &restarts, &reopens, &forwardFailures, &storageUsed,
                                 &storageCapacity, &polling, &lastPoll, &checkStep, &checkTime, &build, &count})
        family->writeTo(text);
    return text.toUtf8();
}

} // namespace cli
