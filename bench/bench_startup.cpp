// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the console: from the exec of a fresh process to the main window's first paint
// (target 300 ms), and the resident memory once the window is up (target 80 MB). The window is
// built exactly as the Vendrel executable builds it: real platform services, the library's modem
// and utilities, settings from an empty per-user store in a temporary XDG_CONFIG_HOME.
//
//   bench_startup [runs]              measure (default 10 runs), printing the figures
//   bench_startup --screenshot FILE   show the window, save its image to FILE (PNG) and quit
#include "appfacts.h"
#include "frmvendrel.h"
#include "connection/modemfactory.h"
#include "modem/pellixutilities.h"
#include "qtdesktop.h"
#include "qtdialogs.h"
#include "qtsettingsstore.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Notes the end of the first paint of the window.
class FirstPaint : public QObject
{
public:
    std::function<void()> onPainted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && onPainted) {
            auto done = std::move(onPainted);
            onPainted = nullptr;
            // After the paint event has been handled and the backing store flushed.
            QTimer::singleShot(0, this, done);
        }
        return QObject::eventFilter(watched, event);
    }
};

int child(int argc, char **argv, const char *screenshot)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pellix"));
    QCoreApplication::setApplicationName(QStringLiteral("Vendrel"));

    ConsoleServices services;
    services.dialogs = std::make_unique<QtDialogs>();
    services.desktop = std::make_unique<QtDesktop>();
    services.settingsStore = std::make_unique<QtSettingsStore>();
    services.utilities = std::make_unique<pellix::PellixUtilities>();
    services.facts = AppFacts::current();
    // The shipped executable's section, whatever this program is called.
    services.facts.exeBaseName = QStringLiteral("Vendrel");
    services.createModem = [] { return pellix::createGsmModem(); };
    VendrelConsole console(std::move(services));

    FirstPaint watcher;
    console.view().installEventFilter(&watcher);
    watcher.onPainted = [&] {
        const qint64 shown = monotonicNs();
        if (screenshot) {
            // Let the deferred work of the first show settle before taking the picture.
            QTimer::singleShot(300, &app, [&] {
                const bool saved = console.view().grab().save(QString::fromLocal8Bit(screenshot), "PNG");
                std::fprintf(stderr, saved ? "saved %s\n" : "could not save %s\n", screenshot);
                app.exit(saved ? 0 : 1);
            });
            return;
        }
        // Memory once the window is up and idle for a moment.
        QTimer::singleShot(200, &app, [&app, shown] {
            std::printf("%lld %ld\n", static_cast<long long>(shown), residentKb());
            std::fflush(stdout);
            app.exit(0);
        });
    };
    console.show();
    // Ends without closing the window, so no settings are written.
    return app.exec();
}

struct Run
{
    double ms;
    long rssKb;
};

bool measureOnce(const char *self, Run &run)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    const qint64 started = monotonicNs();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(self, self, "--child", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    long long shown = 0;
    long rss = 0;
    if (std::sscanf(text.c_str(), "%lld %ld", &shown, &rss) != 2)
        return false;
    run.ms = double(shown - started) / 1e6;
    run.rssKb = rss;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0)
        return child(1, argv, nullptr);
    if (argc >= 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        return child(1, argv, argv[2]);
    }

    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    char resolved[4096];
    const ssize_t len = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (len <= 0)
        return 1;
    resolved[len] = '\0';

    std::vector<Run> results;
    for (int i = 0; i < runs; ++i) {
        Run run{};
        if (!measureOnce(resolved, run)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        results.push_back(run);
    }
    std::vector<double> times;
    std::vector<long> memory;
    for (const Run &r : results) {
        times.push_back(r.ms);
        memory.push_back(r.rssKb);
    }
    std::sort(times.begin(), times.end());
    std::sort(memory.begin(), memory.end());
    const QByteArray platform = qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? qgetenv("QT_QPA_PLATFORM") : QByteArray("default");
    std::printf("platform %s, %d runs\n", platform.constData(), runs);
    std::printf("start to main window painted: median %.1f ms, min %.1f ms, max %.1f ms (target 300 ms)\n",
                times[times.size() / 2], times.front(), times.back());
    std::printf("resident memory after start: median %.1f MB, max %.1f MB (target 80 MB)\n",
                double(memory[memory.size() / 2]) / 1024.0, double(memory.back()) / 1024.0);
    return 0;
}
