// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkrunner.h"

#include "tempfolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

namespace cli {
namespace {

// What a modem's thread has handed in so far; shared, so that a thread still running after the
// runner has given up on it writes into its own copy, never into freed memory.
struct Slot
{
    QMutex mutex;
    QList<CheckStep> steps;
    QList<CheckStep> unseen;
    QString identity;
    bool finished = false;
};

} // namespace

CheckRunner::CheckRunner(CheckSettings settings, MakeModem makeModem)
    : m_settings(std::move(settings))
    , m_makeModem(std::move(makeModem))
{
}

QString CheckRunner::traceFolder(QString *problem)
{
    // The folder of Pellix.log, made and checked as the library makes it (owner-only, no link):
    // the traces hold numbers and texts of the operator's.
    const QString why = TempFolder::prepare();
    if (problem)
        *problem = why;
    return TempFolder::path();
}

QString CheckRunner::tracePathFor(const QString &folder, const QString &name, const QString &command)
{
    QString file = name;
    for (QChar &c : file) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    while (file.startsWith(QLatin1Char('_')))
        file.remove(0, 1);
    return folder + QStringLiteral("/pellix-") + command + QLatin1Char('-') + file + QStringLiteral(".log");
}

QList<ModemCheck> CheckRunner::run(const QList<CheckTarget> &targets,
                                   const std::function<void(int, const CheckStep &)> &progress)
{
    const int deadlineMs = m_settings.deadlineMs();
    QList<std::shared_ptr<Slot>> slots;
    QList<QThread *> threads;
    for (const CheckTarget &target : targets) {
        auto slot = std::make_shared<Slot>();
        slots << slot;
        const CheckSettings settings = m_settings;
        const MakeModem make = m_makeModem;
        QThread *thread = QThread::create([slot, settings, make, target, deadlineMs] {
            const QDeadlineTimer deadline(deadlineMs);
            const auto publish = [&](const CheckStep &step) {
                QMutexLocker lock(&slot->mutex);
                slot->steps << step;
                slot->unseen << step;
            };
            std::unique_ptr<CheckedModem> modem = make(target);
            runCheckSteps(*modem, settings, deadline, [&](const CheckStep &step) {
                if (step.name == QLatin1String("identity") && step.verdict == CheckVerdict::Pass) {
                    QMutexLocker lock(&slot->mutex);
                    slot->identity = step.detail;
                }
                publish(step);
            });
            modem.reset();
            QMutexLocker lock(&slot->mutex);
            slot->finished = true;
        });
        threads << thread;
        thread->start();
    }

    const QDeadlineTimer giveUp(deadlineMs + m_settings.graceMs);
    const auto handOver = [&](int i) {
        QList<CheckStep> unseen;
        {
            QMutexLocker lock(&slots.at(i)->mutex);
            unseen.swap(slots.at(i)->unseen);
        }
        if (progress) {
            for (const CheckStep &step : std::as_const(unseen))
                progress(i, step);
        }
    };
    for (;;) {
        bool running = false;
        for (qsizetype i = 0; i < threads.size(); ++i) {
            handOver(int(i));
            running = running || !threads.at(i)->isFinished();
        }
        if (!running || giveUp.hasExpired())
            break;
        for (QThread *thread : std::as_const(threads)) {
            if (!thread->isFinished()) {
                thread->wait(QDeadlineTimer(50));
                break;
            }
        }
    }

    QList<ModemCheck> checks;
    const QStringList names = checkStepNames(m_settings);
    for (qsizetype i = 0; i < targets.size(); ++i) {
        ModemCheck check;
        check.port = targets.at(i).name;
        check.device = targets.at(i).request.devicePath;
        check.trace = targets.at(i).tracePath;
        bool finished = false;
        {
            QMutexLocker lock(&slots.at(i)->mutex);
            check.steps = slots.at(i)->steps;
            check.identity = slots.at(i)->identity;
            finished = slots.at(i)->finished;
        }
        // A thread stuck in a call that never returns is left to the end of the program: its
        // modem's steps that did not come fail here, and the others are not held back by it.
        for (qsizetype n = check.steps.size(); !finished && n < names.size(); ++n) {
            CheckStep step;
            step.name = names.at(n);
            step.verdict = CheckVerdict::Fail;
            step.reason = QStringLiteral("the modem did not finish within its time (%1 s)").arg((deadlineMs + m_settings.graceMs) / 1000);
            step.remedy = QStringLiteral("Power-cycle the modem and check it alone with --trace");
            check.steps << step;
        }
        checks << check;
        if (QThread *thread = threads.at(i); thread->isFinished())
            delete thread;
        else
            QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
    return checks;
}

} // namespace cli
