// SPDX-License-Identifier: GPL-3.0-or-later
// `pellix check` on pellix-modemsim pseudo-terminals: one modem, 16 at once, 64 at once. Prints
// the wall time of each run (16 should stay within 1.5 times one: the modems are checked side by
// side), the verdicts, and pellix's peak memory (wait4 of the child), per modem beyond the first.
//
//   bench_check [WITHIN]      (--within of the loopback in seconds, default 30)
#include "modemsimfarm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The virtual modem's own number: its loopback comes back to it.
const char *const OwnNumber = "+3934811111111";

struct Outcome
{
    double wallS = 0;
    long peakKb = 0;
    int status = -1;
    int passed = 0;
    int modems = 0;
    QString failures;
};

Outcome runCheck(const QList<QByteArray> &devices, const QString &within, const QString &tempDir)
{
    Outcome outcome;
    // --min-rssi 0: the virtual modems' signal wanders below the default now and then, which is
    // a verdict, not a cost.
    QList<QByteArray> arguments{QByteArrayLiteral(PELLIX_CLI), "--json", "check", "--min-rssi", "0", "--own-number", OwnNumber,
                                "--within", within.toLatin1()};
    for (const QByteArray &device : devices)
        arguments << "--device" << device;
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QString outPath = tempDir + QStringLiteral("/check.json");
    const QByteArray tmp = "TMPDIR=" + tempDir.toLocal8Bit();
    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(outPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::putenv(const_cast<char *>(tmp.constData()));
        ::execv(argv.front(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    outcome.wallS = double(timer.nsecsElapsed()) / 1e9;
    outcome.peakKb = usage.ru_maxrss;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile file(outPath);
    file.open(QIODevice::ReadOnly);
    const QJsonArray modems = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("modems")).toArray();
    outcome.modems = int(modems.size());
    for (const QJsonValue &modem : modems) {
        if (modem[QLatin1String("verdict")].toString() == QLatin1String("PASS")) {
            ++outcome.passed;
            continue;
        }
        for (const QJsonValue &step : modem[QLatin1String("steps")].toArray()) {
            if (step[QLatin1String("verdict")].toString() == QLatin1String("FAIL") && outcome.failures.isEmpty())
                outcome.failures = step[QLatin1String("name")].toString() + QStringLiteral(": ") + step[QLatin1String("reason")].toString();
        }
    }
    return outcome;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString within = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("30");
    QTemporaryDir dir;
    ModemSimFarm farm;
    if (!farm.start(64))
        return 1;
    const QList<QByteArray> &devices = farm.devices;
    Outcome one;
    for (const int count : {1, 16, 64}) {
        const Outcome outcome = runCheck(devices.first(count), within, dir.path());
        if (count == 1)
            one = outcome;
        std::printf("pellix check on %2d modem(s): %6.2f s wall (%.2fx one), exit %d, %d of %d passed, peak %ld KiB",
                    count, outcome.wallS, outcome.wallS / one.wallS, outcome.status, outcome.passed, outcome.modems,
                    outcome.peakKb);
        if (count > 1)
            std::printf(", %.0f KiB per modem beyond the first", double(outcome.peakKb - one.peakKb) / (count - 1));
        std::printf("\n");
        if (!outcome.failures.isEmpty())
            std::printf("  first failure: %s\n", qPrintable(outcome.failures));
        std::fflush(stdout);
    }
    return 0;
}
