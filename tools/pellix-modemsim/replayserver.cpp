// SPDX-License-Identifier: GPL-3.0-or-later
#include "replayserver.h"

#include "ptywriter.h"
#include "sim/tracereplayer.h"
#include "sim/virtualclock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using pellix::sim::TraceRecording;
using pellix::sim::TraceReplayer;

namespace {

// Often enough that recorded delays keep their millisecond resolution within a few ms.
constexpr int ReleasePollMs = 5;

} // namespace

ReplayOptions::ReplayOptions()
    : m_replay(QStringLiteral("replay"),
               QStringLiteral("Play the modem of a recorded trace (Pellix.log) instead of the simulation."),
               QStringLiteral("FILE"))
    , m_speed(QStringLiteral("speed"), QStringLiteral("With --replay: N times as fast as recorded (default 1)."),
              QStringLiteral("N"))
    , m_fast(QStringLiteral("as-fast-as-possible"),
             QStringLiteral("With --replay: answer at once (late answers still come after the deadline they missed)."))
    , m_session(QStringLiteral("session"),
                QStringLiteral("With --replay: the Nth connection of the file, from 1 (default the last)."),
                QStringLiteral("N"))
{
}

void ReplayOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_replay, m_speed, m_fast, m_session});
}

std::optional<ReplaySetup> ReplayOptions::read(const QCommandLineParser &parser, QString &error) const
{
    if (!parser.isSet(m_replay)) {
        if (parser.isSet(m_speed) || parser.isSet(m_fast) || parser.isSet(m_session))
            error = QStringLiteral("--speed, --as-fast-as-possible and --session go with --replay FILE");
        return std::nullopt;
    }
    ReplaySetup setup;
    if (parser.isSet(m_speed) && parser.isSet(m_fast)) {
        error = QStringLiteral("--speed and --as-fast-as-possible exclude each other");
        return std::nullopt;
    }
    if (parser.isSet(m_speed)) {
        bool ok = false;
        setup.speed = parser.value(m_speed).toDouble(&ok);
        // A thousandth of the speed stretches a second's pause past a quarter of an hour; more
        // would overflow the replay's clock, and no one waits that long.
        if (!ok || !(setup.speed >= 0.001) || setup.speed > 1e6) {
            error = QStringLiteral("--speed needs a number from 0.001 to 1000000 (2: twice as fast)");
            return std::nullopt;
        }
    }
    if (parser.isSet(m_fast))
        setup.speed = 0;
    const auto recording = TraceRecording::fromFile(parser.value(m_replay), error);
    if (!recording)
        return std::nullopt;
    for (const QString &note : recording->notes())
        std::fprintf(stderr, "pellix-modemsim: %s\n", qPrintable(note));
    setup.sessionCount = int(recording->sessions().size());
    setup.sessionNumber = setup.sessionCount;
    if (parser.isSet(m_session)) {
        bool ok = false;
        setup.sessionNumber = parser.value(m_session).toInt(&ok);
        if (!ok || setup.sessionNumber < 1 || setup.sessionNumber > setup.sessionCount) {
            error = QStringLiteral("%1 holds sessions 1 to %2; --session %3 is not one of them")
                        .arg(parser.value(m_replay)).arg(setup.sessionCount).arg(parser.value(m_session));
            return std::nullopt;
        }
    }
    setup.session = recording->sessions().at(setup.sessionNumber - 1);
    return setup;
}

int serveReplay(int master, const ReplaySetup &setup, bool verbose)
{
    pellix::sim::RealClock clock;
    TraceReplayer replayer(setup.session, setup.speed);
    std::fprintf(stderr, "pellix-modemsim: replaying session %d of %d of %s (line %d: %s), %d commands\n",
                 setup.sessionNumber, setup.sessionCount, qPrintable(setup.session.file), setup.session.traceLine,
                 qPrintable(setup.session.connectNote), int(setup.session.exchanges.size()));
    replayer.setMismatchHandler([](const pellix::sim::ReplayMismatch &m) {
        std::fprintf(stderr, "pellix-modemsim: mismatch: %s\n", qPrintable(m.text()));
        std::fflush(stderr);
    });
    PtyWriter writer(master);
    bool endTold = false;
    const auto release = [&] {
        const QByteArray out = replayer.takeDue(clock.elapsedMs());
        if (!out.isEmpty()) {
            if (verbose)
                std::fprintf(stderr, ">> %s\n", qPrintable(out.trimmed().replace("\r\n", "\n>> ")));
            writer.send(out);
        }
        if (replayer.atEnd() && !replayer.nextDueMs() && !std::exchange(endTold, true))
            std::fprintf(stderr, "pellix-modemsim: the recording has ended; further commands get ERROR\n");
    };
    replayer.start(clock.elapsedMs());

    QSocketNotifier reader(master, QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        readClient(master, [&](const QByteArray &bytes) {
            if (verbose)
                std::fprintf(stderr, "<< %s\n", qPrintable(bytes.trimmed()));
            replayer.feed(bytes, clock.elapsedMs());
        });
        release();
    });
    QTimer timer;
    timer.setInterval(ReleasePollMs);
    QObject::connect(&timer, &QTimer::timeout, release);
    timer.start();
    return QCoreApplication::exec();
}
