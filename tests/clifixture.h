// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// pellix in-process, on the virtual modem with a fixed seed and a manual clock: what each command
// prints and the exit status it gives, the JSON documents scripts read, usage errors that send
// nothing, and the events of monitor until a signal or a dropped link ends it.
#include "commandline.h"
#include "environment.h"
#include "exitstatus.h"
#include "modem/pellixgsmmodem.h"
#include "pellixcli.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace pellix;


// An SMS-DELIVER from +15550001, "hellohello" in the GSM alphabet.
const QByteArray DeliverPdu = "0004" "0891" "51550010" "0000" "62101010000000" "0A" "E8329BFD4697D9EC37";

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// What every part of these tests starts from and leaves behind.
class CliFixture : public QObject
{
    Q_OBJECT

protected:
    // Runs pellix; step (when set) is called at each step of a wait with the step's number, after
    // the clock has moved on by it.
    Run run(const QStringList &arguments, std::function<void(int)> step = {})
    {
        return run([&](cli::Environment &environment) { return cli::runPellix(arguments, environment); }, step);
    }

    Run run(const std::function<int(cli::Environment &)> &pellix, std::function<void(int)> step = {})
    {
        QBuffer out;
        QBuffer err;
        // A reader that has gone away: every write to stdout fails.
        out.open(m_outputGone ? QIODevice::ReadOnly : QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        cli::Environment environment;
        environment.out = &out;
        environment.err = &err;
        environment.makeModem = [this](const cli::ModemRequest &) {
            ++m_modemsMade;
            auto modem = std::make_unique<PellixGsmModem>(
                [this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
                    auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
                    m_transport = transport.get();
                    return transport;
                });
            modem->setTracePath(m_tracePath.isEmpty() ? m_dir.filePath(QStringLiteral("Pellix.log")) : m_tracePath);
            return modem;
        };
        environment.listPorts = [this] { return m_ports; };
        environment.probePort = [this](const SerialPortDescription &port, qint32) {
            ++m_probed;
            return m_probes.value(port.devicePath);
        };
        int steps = 0;
        environment.passTime = [&](int ms) {
            m_clock->advance(ms);
            if (m_transport)
                m_transport->pollNow();
            if (step)
                step(++steps);
        };
        Run result;
        result.status = pellix(environment);
        m_transport = nullptr;
        result.out = QString::fromUtf8(out.data());
        result.err = QString::fromUtf8(err.data());
        return result;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<sim::ManualClock> m_clock;
    std::shared_ptr<sim::VirtualModem> m_virtual;
    sim::VirtualModemTransport *m_transport = nullptr;
    // The machine of the ports command.
    QList<SerialPortDescription> m_ports;
    QHash<QString, PortProbeResult> m_probes;
    int m_probed = 0;
    int m_modemsMade = 0;
    bool m_outputGone = false;
    QString m_tracePath; // empty: Pellix.log in m_dir

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_clock = std::make_shared<sim::ManualClock>();
        sim::VirtualModemOptions options;
        options.seed = 11;
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
    }
};
