// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkrunner.h"
#include "commandline.h"
#include "commands.h"
#include "environment.h"
#include "exitstatus.h"
#include "exportermetrics.h"
#include "exporterpoller.h"
#include "exporterscanner.h"
#include "exporterserver.h"
#include "modemtargets.h"
#include "output.h"
#include "stopsignals.h"
#include "usageerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <atomic>
#include <memory>

#ifndef PELLIX_VERSION
#define PELLIX_VERSION "0"
#endif

namespace cli {
namespace {

constexpr int DefaultIntervalSeconds = 10;
constexpr int DefaultReopenAfter = 3;
const char DefaultListen[] = "127.0.0.1:9878";

// The pollers' lines to the operator, handed to this thread while it listens to them.
struct Relay
{
    QMutex mutex;
    QObject *target = nullptr;
};

QString htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray indexPage(const QList<ModemMetrics> &modems)
{
    QString rows;
    for (const ModemMetrics &modem : modems) {
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>\n")
                    .arg(htmlEscaped(modem.port), htmlEscaped(modem.imei), htmlEscaped(modem.model),
                         modem.up ? QStringLiteral("up") : QStringLiteral("down"));
    }
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>pellix exporter</title></head>\n"
                          "<body><h1>pellix exporter</h1>\n<p><a href=\"/metrics\">Metrics</a></p>\n"
                          "<table>\n<tr><th>Port</th><th>IMEI</th><th>Model</th><th>State</th></tr>\n%1</table>\n"
                          "</body></html>\n")
        .arg(rows)
        .toUtf8();
}

int exporter(Environment &environment, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("all"), QStringLiteral("listen"), QStringLiteral("interval"), QStringLiteral("check-every"),
                    QStringLiteral("forward-to"), QStringLiteral("reopen-after"), QStringLiteral("min-rssi"),
                    QStringLiteral("loopback"), QStringLiteral("own-number"), QStringLiteral("within")});
    line.requireWords(1, QStringLiteral("exporter takes no arguments"));
    if (line.has(QStringLiteral("trace")))
        throw UsageError(QStringLiteral("exporter writes each modem's AT trace to a file of its own beside Pellix.log, "
                                        "not to stderr: drop --trace"));
    if (line.has(QStringLiteral("json")))
        throw UsageError(QStringLiteral("exporter serves its values over HTTP (/metrics): drop --json"));
    if (line.modemOptions().isEmpty() && !line.has(QStringLiteral("all")))
        throw UsageError(QStringLiteral("give the modems with --port COMn, --device PATH or --type -1 (each may be repeated), or --all"));

    QHostAddress address;
    quint16 port = 0;
    QString why;
    const QString listen = line.has(QStringLiteral("listen")) ? line.value(QStringLiteral("listen")) : QLatin1String(DefaultListen);
    if (!ExporterServer::parseListen(listen, &address, &port, &why))
        throw UsageError(why);
    ExporterSettings settings;
    settings.intervalMs = line.integer(QStringLiteral("interval"), 1, 3600, DefaultIntervalSeconds) * 1000;
    settings.reopenAfter = line.integer(QStringLiteral("reopen-after"), 1, 1000, DefaultReopenAfter);
    settings.checkEverySeconds = line.integer(QStringLiteral("check-every"), 1, 7 * 86400, 0);
    settings.check = readCheckSettings(line);
    settings.loopback = line.has(QStringLiteral("loopback"));
    if ((settings.loopback || line.has(QStringLiteral("own-number")) || line.has(QStringLiteral("within")))
        && settings.checkEverySeconds == 0)
        throw UsageError(QStringLiteral("--loopback, --own-number and --within go with --check-every S: the loopback is a step of the check"));
    if ((line.has(QStringLiteral("own-number")) || line.has(QStringLiteral("within"))) && !settings.loopback)
        throw UsageError(QStringLiteral("--own-number and --within are the loopback's: give --loopback too"));
    if (line.has(QStringLiteral("forward-to"))) {
        settings.forwardFolder = line.value(QStringLiteral("forward-to"));
        const QFileInfo folder(settings.forwardFolder);
        if (settings.forwardFolder.isEmpty() || !folder.isDir() || !folder.isWritable())
            throw UsageError(QStringLiteral("--forward-to needs a folder that exists and may be written, not \"%1\"")
                                 .arg(settings.forwardFolder));
        settings.forwardFolder = folder.absoluteFilePath();
    }
    const bool all = line.has(QStringLiteral("all"));
    PortSurvey survey;
    QList<CheckTarget> targets = readModemTargets(environment, line, output, &survey);
    if (targets.isEmpty() && !all)
        throw UsageError(QStringLiteral("--type %1 needs --port COMn or --device PATH").arg(line.value(QStringLiteral("type"))));
    QString problem;
    const QString folder = CheckRunner::traceFolder(&problem);
    if (!problem.isEmpty())
        output.warning(QStringLiteral("the traces cannot be written: %1").arg(problem));
    const auto prepared = [problem, folder](CheckTarget target) {
        target.tracePath = problem.isEmpty() ? CheckRunner::tracePathFor(folder, target.name, QStringLiteral("exporter")) : QString();
        return target;
    };

    // Shared with the pollers: one still in a call when the program ends writes into memory
    // that is still there.
    const auto store = std::make_shared<ExporterStore>();
    const bool withChecks = settings.checkEverySeconds > 0;
    ExporterServer server({[store, withChecks] { return exposition(store->snapshot(), QStringLiteral(PELLIX_VERSION), withChecks); },
                           [store] { return indexPage(store->snapshot()); }});
    if (!server.listen(address, port, &why)) {
        output.failure(QStringLiteral("cannot listen on %1: %2").arg(listen, why));
        return ExitModemError;
    }
    // Signals first: a SIGTERM while the modems connect still ends in clean disconnects.
    StopSignals stop;
    output.raw(QStringLiteral("pellix exporter: serving http://%1:%2/metrics for %3 modem(s)\n")
                   .arg(address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                                                                             : address.toString())
                   .arg(server.port())
                   .arg(targets.size())
                   .toUtf8());
    if (all)
        output.raw(QStringLiteral("pellix exporter: %1; a modem plugged in later is watched when it answers AT\n")
                       .arg(targets.isEmpty() ? QStringLiteral("no port answers AT yet") : QStringLiteral("watching the serial ports"))
                       .toUtf8());

    const auto stopping = std::make_shared<std::atomic<bool>>(false);
    const auto relay = std::make_shared<Relay>();
    relay->target = &server;
    ExporterHooks hooks;
    hooks.makeModem = environment.makeModem;
    hooks.listPorts = environment.listPorts;
    hooks.probePort = environment.probePort;
    // Lines of the pollers go out in this thread, one whole line at a time.
    hooks.say = [relay, &output](const QString &text) {
        QMutexLocker lock(&relay->mutex);
        if (relay->target)
            QMetaObject::invokeMethod(relay->target, [&output, text] {
                output.raw((QStringLiteral("pellix exporter: ") + text + QLatin1Char('\n')).toUtf8());
            }, Qt::QueuedConnection);
    };
    // Started from this thread and from the port watcher's; read whole only once the watcher has
    // ended.
    QMutex threadsMutex;
    QList<QThread *> threads;
    const auto watch = [&, store, stopping, settings, hooks](const CheckTarget &target, const QString &imei) {
        const int index = store->add(target.name);
        if (!imei.isEmpty())
            store->update(index, [imei](ModemMetrics &m) { m.imei = imei; });
        QThread *thread = QThread::create([store, stopping, index, target, settings, hooks] {
            ExporterPoller poller(*store, index, target, settings, hooks);
            poller.run(*stopping);
        });
        QMutexLocker lock(&threadsMutex);
        threads << thread;
        thread->start();
    };
    for (const CheckTarget &target : std::as_const(targets))
        watch(prepared(target), QString());

    // --all keeps looking, in a thread of its own: a probe waits for a port, a scrape must not.
    QThread *watcher = nullptr;
    if (all) {
        watcher = QThread::create([&, stopping, store, hooks, survey, interval = settings.intervalMs] {
            ExporterScanner scanner(hooks.listPorts, hooks.probePort, survey.probeBaudRate);
            scanner.probedAlready(survey.probed);
            while (!*stopping) {
                for (QDeadlineTimer next(interval); !*stopping && !next.hasExpired();)
                    QThread::msleep(100);
                if (*stopping)
                    break;
                for (const FoundModem &found : scanner.look([store] { return store->snapshot(); })) {
                    if (*stopping)
                        break;
                    const CheckTarget target = prepared(targetForPort(survey, found.port));
                    hooks.say(QStringLiteral("%1 answers AT%2: watching it")
                                  .arg(target.name, found.imei.isEmpty() ? QString() : QStringLiteral(" (IMEI %1)").arg(found.imei)));
                    watch(target, found.imei);
                }
            }
        });
        watcher->start();
    }

    QEventLoop loop;
    QObject::connect(&stop, &StopSignals::requested, &loop, &QEventLoop::quit);
    if (!stop.stopRequested())
        loop.exec();

    *stopping = true;
    // Each poller ends its call in hand (each has its deadline), then disconnects; within the
    // time a service manager waits before it kills (the unit's TimeoutStopSec=60; systemd's
    // default is 90 s). Another signal ends at once.
    const QDeadlineTimer giveUp(45 * 1000);
    bool allEnded = true;
    // The watcher first: once it has ended, no poller is added to the list.
    if (watcher) {
        while (!watcher->wait(QDeadlineTimer(100)))
            QCoreApplication::processEvents();
        delete watcher;
    }
    for (QThread *thread : std::as_const(threads)) {
        while (!thread->wait(QDeadlineTimer(100))) {
            if (giveUp.hasExpired())
                break;
            QCoreApplication::processEvents();
        }
        if (thread->isFinished())
            delete thread;
        else
            allEnded = false;
    }
    {
        QMutexLocker lock(&relay->mutex);
        relay->target = nullptr;
    }
    if (!allEnded)
        output.warning(QStringLiteral("a modem did not end its call in time; its connection is left to the system"));
    return ExitSuccess;
}

} // namespace

const CommandInfo ExporterCommand = {
    "exporter", "serve the modems' signal, network and counters to Prometheus (GET /metrics)",
    "pellix exporter [--listen ADDR:PORT] [--port COMn | --device PATH | --type -1]... [--all]\n"
    "                [--interval S] [--check-every S [--min-rssi N]\n"
    "                [--loopback [--own-number NUMBER] [--within S]]] [--forward-to DIR]\n"
    "                [--reopen-after N]\n"
    "  Keeps a connection to each modem named (repeat --port, --device or --type -1; or --all)\n"
    "  and serves their values in the Prometheus text format at http://ADDR:PORT/metrics\n"
    "  (default 127.0.0.1:9878; [::]:9878 or 0.0.0.0:9878 for every interface), with a page\n"
    "  naming the modems at /. A scrape is answered from memory and never\n"
    "  waits for a modem. Every --interval S (1..3600, default 10) each modem's signal (+CSQ) and\n"
    "  network are read. The modem stores every message before it is announced, so none is lost\n"
    "  while the exporter is down; a message is counted once, when the exporter first reads it\n"
    "  unread (as it arrives, and at each connection those waiting unread), and left on the SIM.\n"
    "  A lost connection is opened again every interval; a modem that came back on another\n"
    "  serial port is found by its IMEI. After --reopen-after N timeouts in a row (default 3) the\n"
    "  port is closed and opened again. --check-every S runs the steps of pellix check (the\n"
    "  signal step against --min-rssi, default 10) on each connection every S seconds. Its\n"
    "  loopback is skipped unless --loopback is given: then each check sends one SMS with a status\n"
    "  report to the modem's own number (--own-number, else the SIM's +CNUM; it costs an SMS) and\n"
    "  waits --within S (default 60) for both; sends count in _sms_sent_total and\n"
    "  _sms_send_failures_total (the exporter sends nothing else), the message that comes back\n"
    "  is counted as received and deleted from the SIM, never forwarded.\n"
    "  --forward-to DIR writes each message as a JSON file (whole, synced) and then deletes it\n"
    "  from the SIM (every stored message, read ones too; only unread ones count as received);\n"
    "  one that cannot be written stays on the SIM and is tried again every interval.\n"
    "  --all adds every serial port that answers AT, and serves even when none does yet: every\n"
    "  interval it looks at the ports again and probes each one that appeared; one that does not\n"
    "  answer (a modem still booting) again after 1, 2, 4, 8 and 16 intervals, then never, so\n"
    "  that a GPS or another device is not sent AT every interval. A modem that answers is watched\n"
    "  too, unless its IMEI is watched already: that modem came back on another port, and is\n"
    "  found there by its own connection. Ports the exporter holds are never probed.\n"
    "  Runs until SIGTERM, SIGHUP or Ctrl-C, then disconnects every modem (which keeps storing new\n"
    "  messages) and exits 0. Exit status 2 for a usage error, 3 when the address cannot be bound.\n"
    "  Metrics: pellix_modem_up, _signal_rssi, _signal_dbm, _signal_ber, _registration_state,\n"
    "  _access_technology, _operator_info, _sms_received_total, _sms_sent_total,\n"
    "  _sms_send_failures_total, _status_reports_total, _connection_losses_total, _restarts_total,\n"
    "  _reopens_total, _forward_failures_total, _sms_storage_used, _sms_storage_capacity,\n"
    "  _poll_in_progress, _last_poll_timestamp_seconds,\n"
    "  _check_step, _check_timestamp_seconds; pellix_exporter_build_info, pellix_exporter_modems.\n",
    nullptr,
    exporter,
};

} // namespace cli
