// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checksteps.h"
#include "environment.h"

#include <functional>
#include <memory>

namespace pellix {
class PellixGsmModem;
}

namespace cli {

// Where and how one modem of a check is connected.
struct CheckTarget
{
    ModemRequest request;
    qint16 port = 0;              // --port's COM number, 0 for a device or the virtual modem
    QString pin;
    // Enter the PIN even on the SIM's last attempt (--force-pin).
    bool forcePin = false;
    int timeoutSeconds = 60;
    // "COM5", the device path, or "virtual 2" for the second virtual modem.
    QString name;
    // The AT trace of this modem alone.
    QString tracePath;
};

// The library's modem on one target, asked from the thread that made it: it waits in that
// thread's event loop, so that modems checked side by side hold none of each other back.
class LibraryCheckedModem final : public CheckedModem
{
public:
    LibraryCheckedModem(const CheckTarget &target, std::unique_ptr<pellix::PellixGsmModem> modem);
    ~LibraryCheckedModem() override;

    void connect() override;
    QString identity() override;
    pellix::SimFacts readSim() override;
    pellix::NetworkFacts readNetwork() override;
    int rssi() override;
    pellix::SmscFacts readSmsc() override;
    QList<pellix::StorageUse> readStorage() override;
    int phonebookSize() override;
    LoopbackResult loopback(const QString &number, int withinMs) override;
    pellix::UssdAnswer ussd(const QString &code, int timeoutMs) override;
    bool connectionLost() const override { return m_lost; }
    void close() override;

    // The connection itself, for a caller that keeps it open beyond a check.
    pellix::PellixGsmModem &library() { return *m_modem; }
    // Told of each loopback send as it ends, before the wait for its report and return: the text
    // (the message that comes back carries it) and whether the modem sent it.
    void setLoopbackSent(std::function<void(const QString &text, bool sent)> told) { m_loopbackSent = std::move(told); }

private:
    CheckTarget m_target;
    std::unique_ptr<pellix::PellixGsmModem> m_modem;
    bool m_open = false;
    bool m_closing = false;
    bool m_lost = false;
    std::function<void(const QString &, bool)> m_loopbackSent;
};

} // namespace cli
