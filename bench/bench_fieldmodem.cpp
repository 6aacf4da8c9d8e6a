// SPDX-License-Identifier: GPL-3.0-or-later
// The library's modem on the virtual modem as field modems behave (protocol notes 7), on the real
// clock: the command lines of a Connect on a healthy modem, the time from a restart's last boot
// line to the next message sent, and a listing of 120 messages of 160 characters at 9600 baud.
#include "modem/pellixgsmmodem.h"
#include "pdu/smspdu.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pellix;

namespace {

std::unique_ptr<PellixGsmModem> modemOn(const std::shared_ptr<sim::VirtualModem> &virtualModem)
{
    auto modem = std::make_unique<PellixGsmModem>([virtualModem](qint32, const ModemProfile &, qint16, qint32) {
        return std::make_unique<sim::VirtualModemTransport>(virtualModem);
    });
    modem->setTracePath(QString());
    modem->setConnectOptionA(true);
    modem->setConnectOptionB(true);
    return modem;
}

// Command lines of one Connect, as the modem counts them.
int connectLines(qint32 receiveMode)
{
    auto virtualModem = std::make_shared<sim::VirtualModem>();
    int lines = 0;
    virtualModem->setTrace([&lines](sim::VirtualModem::TraceKind kind, const QByteArray &) {
        lines += kind == sim::VirtualModem::TraceKind::Command;
    });
    auto modem = modemOn(virtualModem);
    modem->Connect(-1, 0, QString(), receiveMode, 60, 0);
    const int counted = lines;
    modem->Disconnect();
    return counted;
}

// Command lines of one SendMessage on a connected healthy modem, and its median time on the
// virtual modem: PDU mode is confirmed before every message.
void sendCost()
{
    auto virtualModem = std::make_shared<sim::VirtualModem>();
    int lines = 0;
    virtualModem->setTrace([&lines](sim::VirtualModem::TraceKind kind, const QByteArray &) {
        lines += kind == sim::VirtualModem::TraceKind::Command;
    });
    auto modem = modemOn(virtualModem);
    modem->Connect(-1, 0, QString(), 0, 60, 0);
    SmsMessage message;
    message.Recipient.Number = QStringLiteral("+3955512345");
    message.Text = QString(160, QLatin1Char('x'));
    std::vector<double> times;
    int linesPerSend = 0;
    QElapsedTimer clock;
    for (int i = 0; i < 200; ++i) {
        const int before = lines;
        clock.start();
        modem->SendMessage(message);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        linesPerSend = lines - before;
    }
    std::sort(times.begin(), times.end());
    std::printf("SendMessage, healthy modem                %2d command lines, median %.3f ms\n", linesPerSend,
                times[times.size() / 2]);
}

// From the moment the restarted modem has said its last boot line (or, saying none, is up again)
// until SendMessage returns with a reference; the restart comes while the connection is idle, and
// whatever notices it first (the idle channel or the send) sets the modem up again.
std::vector<double> restartToSend(const QList<QByteArray> &bootLines, int runs)
{
    sim::VirtualModemOptions options;
    options.field.storedTextMode = true;
    options.field.restartLines = bootLines;
    options.field.restartSilenceMs = 300;
    auto virtualModem = std::make_shared<sim::VirtualModem>(options);
    QElapsedTimer clock;
    clock.start();
    qint64 lastBootLineNs = 0;
    virtualModem->setTrace([&](sim::VirtualModem::TraceKind kind, const QByteArray &text) {
        const bool up = kind == sim::VirtualModem::TraceKind::Network && text.startsWith("restarted with the stored profile");
        const bool bootLine = kind == sim::VirtualModem::TraceKind::Response && !bootLines.isEmpty() && text == bootLines.last();
        if (up || bootLine)
            lastBootLineNs = clock.nsecsElapsed();
    });
    auto modem = modemOn(virtualModem);
    modem->Connect(-1, 0, QString(), 2, 60, 0);
    SmsMessage message;
    message.Recipient.Number = QStringLiteral("+3955512345");
    message.Text = QStringLiteral("after the restart");
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        virtualModem->restart();
        while (virtualModem->restarting())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (;;) {
            try {
                modem->SendMessage(message);
                break;
            } catch (const RaisedError &error) {
                std::fprintf(stderr, "send failed (%s), trying again\n", qPrintable(error.description()));
                QCoreApplication::processEvents();
            }
        }
        times.push_back(double(clock.nsecsElapsed() - lastBootLineNs) / 1e6);
        if (modem->Status() != GsmModem::Connected) {
            std::fprintf(stderr, "the modem is not connected after the restart\n");
            std::exit(1);
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    std::printf("Connect, healthy modem, receive mode 0     %2d command lines (target <= 10)\n", connectLines(0));
    std::printf("Connect, healthy modem, receive mode 2     %2d command lines (target <= 10)\n", connectLines(2));
    sendCost();

    const struct
    {
        const char *what;
        QList<QByteArray> lines;
    } kinds[] = {
        {"RDY ... SMS Ready", {"RDY", "+CFUN: 1", "+CPIN: READY", "Call Ready", "SMS Ready", "PB DONE"}},
        {"^SYSSTART", {"^SYSSTART"}},
        {"nothing said (echo tells)", {}},
    };
    for (const auto &kind : kinds) {
        const std::vector<double> t = restartToSend(kind.lines, 20);
        std::printf("Restart (%-26s) to message sent: median %7.1f ms   slowest %7.1f ms\n", kind.what,
                    t[t.size() / 2], t.back());
    }

    // 120 messages of 160 characters at 9600 baud (960 bytes a second): about 45 s of answer,
    // beyond the profile's 30 s listing deadline.
    sim::VirtualModemOptions options;
    options.field.lineSpeed = 960;
    auto virtualModem = std::make_shared<sim::VirtualModem>(options);
    sim::MessageStore &sim = virtualModem->sim().sm();
    sim.items().clear();
    virtualModem->sim().me().items().clear();
    sim.setCapacity(200);
    for (int i = 0; i < 120; ++i) {
        pdu::DeliverPdu deliver;
        deliver.smsc = pdu::Address{QString::fromLatin1(sim::VirtualNetwork::ServiceCentre), 0x91};
        deliver.originator = pdu::Address{QStringLiteral("+39555%1").arg(i, 4, 10, QLatin1Char('0')), 0x91};
        deliver.timestamp = virtualModem->clock().now();
        deliver.text = QString(160, QLatin1Char('a' + i % 26));
        const QByteArray hex = pdu::encodeDeliver(deliver);
        sim.add(sim::StoredMessage{sim::MessageStat::RecRead, hex, sim::tpduLengthOf(hex)});
    }
    auto modem = modemOn(virtualModem);
    modem->Connect(-1, 0, QString(), 0, 60, 0);
    QElapsedTimer timer;
    timer.start();
    try {
        const qsizetype listed = modem->ReadMessages(0, false).size();
        std::printf("Listing 120 messages of 160 characters at 9600 baud: %lld listed in %.1f s\n",
                    static_cast<long long>(listed), double(timer.elapsed()) / 1000);
    } catch (const RaisedError &error) {
        std::printf("Listing 120 messages at 9600 baud FAILED after %.1f s: %s\n", double(timer.elapsed()) / 1000,
                    qPrintable(error.description()));
        return 1;
    }
    return 0;
}
