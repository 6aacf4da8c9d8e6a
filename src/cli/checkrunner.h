// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checkresult.h"
#include "checksteps.h"
#include "librarycheckedmodem.h"

#include <functional>
#include <memory>

namespace cli {

// Checks many modems side by side: a thread of its own for each, with its own event loop and
// connection. A modem that hangs fails its own steps when its time is up; the others finish in
// theirs. makeModem is called in the modem's thread.
class CheckRunner
{
public:
    using MakeModem = std::function<std::unique_ptr<CheckedModem>(const CheckTarget &)>;

    CheckRunner(CheckSettings settings, MakeModem makeModem);

    // The checks in the order of targets. progress (when set) hears each step as it ends, in the
    // calling thread, with the index of its modem.
    QList<ModemCheck> run(const QList<CheckTarget> &targets,
                          const std::function<void(int modem, const CheckStep &)> &progress = {});

    // The folder of the check's traces: the user's temporary folder, where Pellix.log is; problem
    // (when given) is why it cannot be used, empty when it can.
    static QString traceFolder(QString *problem = nullptr);
    // The trace file for a modem named name ("COM5", "/dev/pts/3", "virtual 1") of a command:
    // pellix-check-COM5.log, pellix-check-dev_pts_3.log, pellix-exporter-virtual_1.log.
    static QString tracePathFor(const QString &folder, const QString &name,
                                const QString &command = QStringLiteral("check"));

private:
    CheckSettings m_settings;
    MakeModem m_makeModem;
};

} // namespace cli
