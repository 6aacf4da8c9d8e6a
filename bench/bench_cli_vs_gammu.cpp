// SPDX-License-Identifier: GPL-3.0-or-later
// The same session from the command line, with pellix and with gammu, against one pellix-modemsim
// on a pseudo-terminal: identify, read every message, read the phonebook. Each program starts
// afresh for each step, as a script calls it, so each figure includes opening the port and the
// program's own start-up. Prints both wall times and their ratio.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr char Gammu[] = "/usr/bin/gammu";
constexpr int ProcessLimitMs = 120000;
// Messages put on the SIM before reading, besides the ones the virtual SIM starts with.
constexpr int ExtraMessages = 20;

struct Step
{
    const char *name;
    QStringList pellix;
    QStringList gammu;
};

// Wall time of one run in ms; negative when the program failed.
double timedRun(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(ProcessLimitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed:\n%s\n", qPrintable(program), qPrintable(arguments.join(QLatin1Char(' '))),
                     process.readAll().constData());
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// The median of runs; negative when any run failed.
double median(const QString &program, const QStringList &arguments, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = timedRun(program, arguments);
        if (ms < 0)
            return ms;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!QFile::exists(QLatin1String(Gammu))) {
        std::printf("gammu is not installed (apt-get install gammu): nothing to compare with\n");
        return 0;
    }
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("modem"));
    QProcess simulator;
    simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
    simulator.setArguments({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--link"), link});
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start();
    QByteArray path;
    while (!path.contains('\n') && simulator.waitForReadyRead(10000))
        path += simulator.readAllStandardOutput();
    if (!path.startsWith("/dev/")) {
        std::fprintf(stderr, "pellix-modemsim did not start\n");
        return 1;
    }
    for (int i = 0; i < ExtraMessages; ++i)
        simulator.write("sms +4915112345678 Bench message number " + QByteArray::number(i) + '\n');

    const QString config = dir.filePath(QStringLiteral("gammurc"));
    QFile rc(config);
    if (!rc.open(QIODevice::WriteOnly))
        return 1;
    rc.write("[gammu]\ndevice = " + QFile::encodeName(link) + "\nconnection = at19200\n");
    rc.close();

    const QStringList device = {QStringLiteral("--device"), link};
    const QStringList gammu = {QStringLiteral("-c"), config};
    const std::vector<Step> steps = {
        {"identify", device + QStringList{QStringLiteral("identify")}, gammu + QStringList{QStringLiteral("identify")}},
        {"read all messages", device + QStringList{QStringLiteral("sms"), QStringLiteral("list"), QStringLiteral("--all")},
         gammu + QStringList{QStringLiteral("getallsms")}},
        {"read the phonebook", device + QStringList{QStringLiteral("phonebook"), QStringLiteral("list")},
         gammu + QStringList{QStringLiteral("getallmemory"), QStringLiteral("SM")}},
    };
    // Let the network deliver the extra messages before anything reads.
    QThread::msleep(1500);

    std::printf("%-20s %12s %12s %8s   (target: pellix under a tenth of gammu)\n", "step", "pellix", "gammu", "ratio");
    int failures = 0;
    for (const Step &step : steps) {
        const double pellix = median(QStringLiteral(PELLIX_CLI), step.pellix, 5);
        const double other = median(QLatin1String(Gammu), step.gammu, 1);
        if (pellix < 0 || other < 0) {
            ++failures;
            continue;
        }
        std::printf("%-20s %9.1f ms %9.1f ms %7.3f%s\n", step.name, pellix, other, pellix / other,
                    pellix * 10 < other ? "" : "   MISSED");
    }
    simulator.terminate();
    simulator.waitForFinished(5000);
    return failures ? 1 : 0;
}
