// SPDX-License-Identifier: GPL-3.0-or-later
// The library's modem on the in-process virtual modem: Connect to Status 2, SendMessage, and
// reading 30 stored messages. Prints the median and the slowest of many runs. The modem runs on a
// manual clock, so the pauses of Connect (the drain after ESC) cost no real time, as on a modem
// that answers at once.
#include "modem/pellixgsmmodem.h"
#include "pdu/smspdu.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pellix;

namespace {

struct Figures
{
    double medianMs;
    double worstMs;
};

template <typename F>
Figures measure(int runs, F &&f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

void print(const char *what, const Figures &f, double targetMs)
{
    std::printf("%-34s median %7.3f ms   slowest %7.3f ms   (target %g ms)\n", what, f.medianMs, f.worstMs, targetMs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    auto clock = std::make_shared<sim::ManualClock>();
    auto virtualModem = std::make_shared<sim::VirtualModem>(sim::VirtualModemOptions{}, clock);
    PellixGsmModem modem([&](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
        return std::make_unique<sim::VirtualModemTransport>(virtualModem);
    });
    modem.setTracePath(QString());  // the trace file is measured separately below
    modem.setConnectOptionA(true);
    modem.setConnectOptionB(true);

    // Connect recovers a modem left in a bad state and asks what it offers, in at most ten command
    // lines; on a healthy virtual modem all of it stays under a millisecond.
    print("Connect to Status 2", measure(200, [&] {
              modem.Connect(-1, 0, QString(), 0, 60, 0);
              modem.Disconnect();
          }), 1);
    // Receive mode 2 routes messages: Disconnect leaves the modem storing them again.
    print("Connect (receive mode 2), Disconnect", measure(200, [&] {
              modem.Connect(-1, 0, QString(), 2, 60, 0);
              modem.Disconnect();
          }), 1);

    modem.Connect(-1, 0, QString(), 0, 60, 0);
    SmsMessage message;
    message.Recipient.Number = QStringLiteral("+3955512345");
    message.Text = QString(160, QLatin1Char('x'));
    print("SendMessage (160 characters)", measure(500, [&] { modem.SendMessage(message); }), 5);

    // 30 messages on the SIM, brought by the network as real ones are.
    modem.DeleteAllMessages();
    auto fill = [&] {
        for (int i = 0; i < 30; ++i) {
            pdu::DeliverPdu deliver;
            deliver.smsc.number = QStringLiteral("+3934800000001");
            deliver.smsc.typeOfAddress = 0x91;
            deliver.originator.number = QStringLiteral("+39555%1").arg(i, 4, 10, QLatin1Char('0'));
            deliver.originator.typeOfAddress = 0x91;
            deliver.timestamp = clock->now();
            deliver.text = QStringLiteral("Stored message number %1 with some text to decode").arg(i);
            virtualModem->incomingMessage(encodeDeliver(deliver));
        }
    };
    fill();
    if (modem.ReadMessages(0, false).size() != 30) {
        std::fprintf(stderr, "the SIM does not hold 30 messages\n");
        return 1;
    }
    print("ReadMessages (30 stored)", measure(200, [&] { modem.ReadMessages(0, false); }), 20);

    modem.setTracePath(QDir::tempPath() + QStringLiteral("/Pellix-bench.log"));
    modem.Disconnect();
    print("Connect to Status 2, with trace", measure(100, [&] {
              modem.Connect(-1, 0, QString(), 0, 60, 0);
              modem.Disconnect();
          }), 1);
    modem.Connect(-1, 0, QString(), 0, 60, 0);
    print("ReadMessages (30 stored), with trace", measure(100, [&] { modem.ReadMessages(0, false); }), 20);
    QFile::remove(QDir::tempPath() + QStringLiteral("/Pellix-bench.log"));
    return 0;
}
