// SPDX-License-Identifier: GPL-3.0-or-later
// A flood of messages through `pellix monitor`: pellix-modemsim --flood N pushes N messages at
// once, without waiting for acknowledgements, as soon as pellix asks for new-message indications;
// routed (+CMT, each acknowledged afterwards with +CNMA) and, with --strict-cnmi, stored and
// indicated (+CMTI, each fetched with +CMGR). Checks that every message is reported, in order,
// once, and prints pellix's wall time, CPU time and peak memory (getrusage of the child).
//
//   bench_monitorflood [N]      (default 5000)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int LimitMs = 600000;

struct Outcome
{
    int reported = 0;
    int outOfOrder = 0;
    int repeated = 0;
    int foreign = 0;     // message lines that are not of the flood
    double wallS = 0;    // from start to the last flood message
    double cpuS = 0;
    long peakKb = 0;
    int status = -1;
};

// Runs pellix with stdout on a pipe, reads events until `count` flood messages came (or the
// limit), then ends it with SIGINT as an operator would.
Outcome runMonitor(const QByteArray &device, int count, const QString &tempDir)
{
    Outcome outcome;
    int out[2];
    if (::pipe(out) != 0)
        return outcome;
    const QByteArray program = QByteArrayLiteral(PELLIX_CLI);
    const QByteArray tmp = "TMPDIR=" + tempDir.toLocal8Bit();
    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::putenv(const_cast<char *>(tmp.constData()));
        ::execl(program.constData(), program.constData(), "--device", device.constData(), "--json", "monitor",
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    QByteArray buffer;
    int next = 1;
    QList<bool> seen(count + 1, false);
    while (outcome.reported < count && timer.elapsed() < LimitMs) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        buffer.append(chunk, n);
        qsizetype end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            const QJsonObject event = QJsonDocument::fromJson(buffer.left(end)).object();
            buffer.remove(0, end + 1);
            if (event.value(QLatin1String("event")).toString() != QLatin1String("message"))
                continue;
            const QString text = event.value(QLatin1String("message")).toObject().value(QLatin1String("text")).toString();
            bool ok = false;
            const int i = text.startsWith(QLatin1String("flood ")) ? text.mid(6).toInt(&ok) : 0;
            if (!ok || i < 1 || i > count) {
                ++outcome.foreign;
                continue;
            }
            if (seen[i])
                ++outcome.repeated;
            else
                ++outcome.reported;
            seen[i] = true;
            if (i != next)
                ++outcome.outOfOrder;
            next = i + 1;
            outcome.wallS = double(timer.nsecsElapsed()) / 1e9;
        }
    }
    ::kill(child, SIGINT);
    // What the monitor still writes while it disconnects is read, so that it never blocks.
    for (;;) {
        char chunk[65536];
        if (::read(out[0], chunk, sizeof chunk) <= 0)
            break;
    }
    ::close(out[0]);
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) == child) {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        outcome.cpuS = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        outcome.peakKb = usage.ru_maxrss;
    }
    return outcome;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    QTemporaryDir dir;
    std::printf("%d messages pushed at once through pellix monitor (pellix-modemsim --flood %d)\n", count, count);
    std::printf("%-32s %9s %9s %9s %9s %9s %9s %9s\n", "", "reported", "order", "repeated", "wall s", "cpu s",
                "peak MB", "exit");
    bool allGood = true;
    for (const bool stored : {false, true}) {
        QProcess simulator;
        QStringList arguments{QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--flood"), QString::number(count)};
        if (stored)
            arguments << QStringLiteral("--strict-cnmi");
        simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        simulator.setArguments(arguments);
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start();
        if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(5000)) {
            std::fprintf(stderr, "pellix-modemsim did not start\n");
            return 1;
        }
        const QByteArray device = simulator.readLine().trimmed();
        const Outcome o = runMonitor(device, count, dir.path());
        simulator.terminate();
        simulator.waitForFinished(5000);
        const bool good = o.reported == count && o.outOfOrder == 0 && o.repeated == 0 && o.status == 0;
        allGood = allGood && good;
        std::printf("%-32s %9d %9s %9d %9.2f %9.2f %9.1f %9d%s\n",
                    stored ? "stored, indicated (+CMTI)" : "routed (+CMT)", o.reported,
                    o.outOfOrder == 0 ? "kept" : qPrintable(QStringLiteral("%1 off").arg(o.outOfOrder)), o.repeated,
                    o.wallS, o.cpuS, double(o.peakKb) / 1024.0, o.status, good ? "" : "  FAILED");
        std::fflush(stdout);
    }
    return allGood ? 0 : 1;
}
