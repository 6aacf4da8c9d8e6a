// SPDX-License-Identifier: GPL-3.0-or-later
// `pellix exporter` on pellix-modemsim pseudo-terminals. First the scrape latency with 1, 16 and
// 64 modems polled every second (a connection, GET /metrics, the answer to its end; median, p99
// and worst of 200 scrapes), then the exporter's CPU and memory while it watches --modems modems
// at a 10 s interval for --minutes, scraped every 15 s as a Prometheus server would.
//
//   bench_exporter [--minutes M] [--modems N] [--scrapes N]     (defaults 10, 16, 200)
#include "modemsimfarm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// One scrape over a fresh connection; the answer's bytes, or -1 when it failed.
qint64 scrape(quint16 port, QByteArray *body = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    static const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::write(fd, request, sizeof request - 1) != qint64(sizeof request - 1)) {
        ::close(fd);
        return -1;
    }
    QByteArray answer;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        answer.append(buffer, got);
    }
    ::close(fd);
    if (!answer.startsWith("HTTP/1.1 200") && !answer.startsWith("HTTP/1.0 200"))
        return -1;
    if (body)
        *body = answer;
    return answer.size();
}

quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct Exporter
{
    QProcess process;
    quint16 port = 0;
};

// Starts the exporter on the devices and waits until a scrape shows every modem up (or a minute).
std::unique_ptr<Exporter> startExporter(const QList<QByteArray> &devices, int interval, const QString &tempDir, int *up)
{
    auto exporter = std::make_unique<Exporter>();
    exporter->port = freePort();
    QStringList arguments{QStringLiteral("exporter"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(exporter->port),
                          QStringLiteral("--interval"), QString::number(interval)};
    for (const QByteArray &device : devices)
        arguments << QStringLiteral("--device") << QString::fromLocal8Bit(device);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    exporter->process.setProcessEnvironment(environment);
    exporter->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    exporter->process.start(QStringLiteral(PELLIX_CLI), arguments);
    if (!exporter->process.waitForStarted(5000))
        return nullptr;
    QElapsedTimer clock;
    clock.start();
    *up = 0;
    while (clock.elapsed() < 60000 && exporter->process.state() == QProcess::Running) {
        QByteArray body;
        if (scrape(exporter->port, &body) > 0) {
            *up = 0;
            for (const QByteArray &line : body.split('\n'))
                *up += line.startsWith("pellix_modem_up{") && line.endsWith(" 1");
            if (*up == devices.size())
                break;
        }
        QThread::msleep(250);
    }
    return exporter;
}

// SIGTERM, as systemd stops it; the seconds until it has closed every modem and its exit status.
double stop(Exporter &exporter, int *status)
{
    QElapsedTimer clock;
    clock.start();
    exporter.process.terminate();
    if (!exporter.process.waitForFinished(60000)) {
        exporter.process.kill();
        exporter.process.waitForFinished();
    }
    *status = exporter.process.exitStatus() == QProcess::NormalExit ? exporter.process.exitCode() : -1;
    return double(clock.elapsed()) / 1000;
}

// utime + stime in clock ticks and the resident set in KiB, from /proc.
bool usage(qint64 pid, double *cpuS, long *rssKb)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
        return false;
    // The fields after the command's name, which may hold blanks: utime and stime are 14 and 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return false;
    *cpuS = double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
    for (const QByteArray &entry : status.readAll().split('\n')) {
        if (entry.startsWith("VmRSS:"))
            *rssKb = entry.mid(6).trimmed().split(' ').first().toLong();
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    double minutes = 10;
    int watched = 16;
    int scrapes = 200;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--minutes"))
            minutes = arguments.at(i + 1).toDouble();
        else if (arguments.at(i) == QLatin1String("--modems"))
            watched = std::clamp(arguments.at(i + 1).toInt(), 1, 64);
        else if (arguments.at(i) == QLatin1String("--scrapes"))
            scrapes = std::max(1, arguments.at(i + 1).toInt());
        else {
            std::fprintf(stderr, "usage: bench_exporter [--minutes M] [--modems N] [--scrapes N]\n");
            return 2;
        }
    }
    QTemporaryDir dir;
    ModemSimFarm farm;
    if (!farm.start(64))
        return 1;
    const QList<QByteArray> &devices = farm.devices;

    for (const int count : {1, 16, 64}) {
        int up = 0;
        QElapsedTimer ready;
        ready.start();
        const auto exporter = startExporter(devices.first(count), 1, dir.path(), &up);
        if (!exporter) {
            std::fprintf(stderr, "%s did not start\n", PELLIX_CLI);
            return 1;
        }
        const double readyS = double(ready.elapsed()) / 1000;
        std::vector<double> ms;
        int failed = 0;
        qint64 bytes = 0;
        for (int i = 0; i < scrapes; ++i) {
            QElapsedTimer clock;
            clock.start();
            const qint64 got = scrape(exporter->port);
            const double took = double(clock.nsecsElapsed()) / 1e6;
            if (got < 0)
                ++failed;
            else {
                ms.push_back(took);
                bytes = got;
            }
            // Spread over the poll cycles, so that scrapes meet polls in flight.
            QThread::msleep(10);
        }
        std::sort(ms.begin(), ms.end());
        const auto at = [&ms](double share) { return ms.empty() ? 0.0 : ms.at(std::min(ms.size() - 1, size_t(share * double(ms.size())))); };
        int status = 0;
        const double stopS = stop(*exporter, &status);
        std::printf("%2d modem(s), --interval 1: %d of %d up after %.1f s; %d scrapes of %lld bytes: median %.2f ms, p99 %.2f ms, "
                    "worst %.2f ms, %d failed; SIGTERM to exit %.2f s, status %d\n",
                    count, up, count, readyS, scrapes, static_cast<long long>(bytes), at(0.5), at(0.99), ms.empty() ? 0.0 : ms.back(),
                    failed, stopS, status);
        std::fflush(stdout);
    }

    if (minutes > 0) {
        int up = 0;
        const auto exporter = startExporter(devices.first(watched), 10, dir.path(), &up);
        if (!exporter)
            return 1;
        const qint64 pid = exporter->process.processId();
        double cpuStart = 0;
        long rssStart = 0;
        usage(pid, &cpuStart, &rssStart);
        long rssMax = rssStart;
        long rssEnd = rssStart;
        double cpuEnd = cpuStart;
        int scraped = 0;
        int failed = 0;
        QElapsedTimer clock;
        clock.start();
        const qint64 length = qint64(minutes * 60000);
        while (clock.elapsed() < length && exporter->process.state() == QProcess::Running) {
            QThread::msleep(15000);
            (scrape(exporter->port) > 0 ? scraped : failed)++;
            usage(pid, &cpuEnd, &rssEnd);
            rssMax = std::max(rssMax, rssEnd);
        }
        const double wallS = double(clock.elapsed()) / 1000;
        int status = 0;
        const double stopS = stop(*exporter, &status);
        std::printf("%d modem(s), --interval 10, %.1f min: CPU %.2f s (%.3f%% of one core); resident %ld KiB at the start, "
                    "%ld KiB at the end, %ld KiB at most; %d scrapes, %d failed; SIGTERM to exit %.2f s, status %d\n",
                    watched, wallS / 60, cpuEnd - cpuStart, 100 * (cpuEnd - cpuStart) / wallS, rssStart, rssEnd, rssMax, scraped, failed,
                    stopS, status);
    }
    return 0;
}
