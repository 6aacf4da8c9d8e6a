// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/tracerecording.h"

#include <QCommandLineOption>
#include <QString>

#include <optional>

class QCommandLineParser;

// What --replay asks for: one session of a trace and the pace of its replay.
struct ReplaySetup
{
    pellix::sim::RecordedSession session;
    int sessionNumber = 0;   // 1-based
    int sessionCount = 0;
    double speed = 1.0;      // 0: as fast as possible
};

// --replay FILE [--speed N | --as-fast-as-possible] [--session N]
class ReplayOptions
{
public:
    ReplayOptions();
    void addTo(QCommandLineParser &parser) const;
    // Nullopt without --replay; nullopt and `error` for an unreadable trace, a session it does
    // not have or a speed that is not one.
    std::optional<ReplaySetup> read(const QCommandLineParser &parser, QString &error) const;

private:
    QCommandLineOption m_replay;
    QCommandLineOption m_speed;
    QCommandLineOption m_fast;
    QCommandLineOption m_session;
};

// Serves the recorded modem on the pseudo-terminal's master side until interrupted; mismatches
// go to stderr.
int serveReplay(int master, const ReplaySetup &setup, bool verbose);
