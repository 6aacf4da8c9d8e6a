// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

#include <cstdio>
#include <memory>
#include <vector>

// pellix-modemsim processes for the benches that watch many modems at once, each on a
// pseudo-terminal of its own with its own seed; SIGTERM ends them with the farm.
struct ModemSimFarm
{
    std::vector<std::unique_ptr<QProcess>> simulators;
    QList<QByteArray> devices;  // the pseudo-terminal each one printed, in start order

    ~ModemSimFarm()
    {
        for (auto &sim : simulators)
            sim->terminate();
        for (auto &sim : simulators)
            sim->waitForFinished(5000);
    }

    // false, said on stderr, when one did not come up within 10 s.
    bool start(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto sim = std::make_unique<QProcess>();
            sim->setProgram(QStringLiteral(PELLIX_MODEMSIM));
            sim->setArguments({QStringLiteral("--seed"), QString::number(i + 1)});
            sim->start();
            if (!sim->waitForReadyRead(10000)) {
                std::fprintf(stderr, "pellix-modemsim %d did not start\n", i + 1);
                return false;
            }
            devices << sim->readLine().trimmed();
            simulators.push_back(std::move(sim));
        }
        return true;
    }
};
