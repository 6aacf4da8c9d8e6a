// SPDX-License-Identifier: GPL-3.0-or-later
#include "fieldoptions.h"
#include "ptywriter.h"
#include "replayserver.h"
#include "pdu/gsmalphabet.h"
#include "pdu/smspdu.h"
#include "sim/virtualmodem.h"
#include "sim/virtualnetwork.h"
#include "stopsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using pellix::sim::VirtualModem;

namespace {

void fail(const QString &text)
{
    std::fprintf(stderr, "pellix-modemsim: %s\n", qPrintable(text));
    std::exit(1);
}

// SIGINT, SIGTERM and SIGHUP end the event loop, so that the link is removed on the way out; they stay
// caught until it is.
class QuitOnSignals
{
public:
    QuitOnSignals()
    {
        QObject::connect(&m_stop, &cli::StopSignals::requested, &QCoreApplication::quit);
        // A reader that went away (the client's terminal, a closed stdout) is a failed write to
        // handle, not the end of the simulator with its link left behind.
        ::signal(SIGPIPE, SIG_IGN);
    }

private:
    cli::StopSignals m_stop{cli::StopSignals::Repeated::AskAgain};
};

// A line on stdin acts for the network: "ring <number>" calls the modem, "sms <number> <text>"
// delivers a message.
void networkCommand(VirtualModem &modem, const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    const int space = int(trimmed.indexOf(' '));
    const QByteArray verb = trimmed.left(space < 0 ? trimmed.size() : space).toLower();
    const QString rest = space < 0 ? QString() : QString::fromUtf8(trimmed.mid(space + 1)).trimmed();
    if (verb == "ring" && !rest.isEmpty()) {
        modem.incomingCall(rest.section(QLatin1Char(' '), 0, 0));
        return;
    }
    if (verb == "restart" && rest.isEmpty()) {
        modem.restart();
        return;
    }
    if (verb == "sms" && rest.contains(QLatin1Char(' '))) {
        pellix::pdu::DeliverPdu deliver;
        deliver.smsc = {QLatin1String(pellix::sim::VirtualNetwork::ServiceCentre), 0x91};
        const QString from = rest.section(QLatin1Char(' '), 0, 0);
        deliver.originator = {from, quint8(from.startsWith(QLatin1Char('+')) ? 0x91 : 0x81)};
        deliver.timestamp = modem.clock().now();
        deliver.text = rest.section(QLatin1Char(' '), 1);
        deliver.dcs.alphabet = pellix::pdu::gsm7Length(deliver.text) >= 0 ? pellix::pdu::Gsm7 : pellix::pdu::Ucs2;
        deliver.dcs.raw = deliver.dcs.alphabet == pellix::pdu::Ucs2 ? 0x08 : 0x00;
        try {
            modem.incomingMessage(pellix::pdu::encodeDeliver(deliver));
        } catch (const std::exception &error) {
            std::fprintf(stderr, "pellix-modemsim: %s\n", error.what());
        }
        return;
    }
    if (!trimmed.isEmpty())
        std::fprintf(stderr, "pellix-modemsim: stdin commands: \"ring <number>\", \"sms <number> <text>\", \"restart\"\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellix-modemsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELLIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The Pellix virtual GSM modem on a pseudo-terminal. Prints the terminal's path, then serves "
        "AT commands until interrupted. Lines on stdin: \"ring <number>\", \"sms <number> <text>\", \"restart\"."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the simulation (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption pinOption(QStringLiteral("pin"), QStringLiteral("The SIM asks for this PIN."),
                                       QStringLiteral("NNNN"));
    const QCommandLineOption noEchoOption(QStringLiteral("no-echo"), QStringLiteral("Start with echo off (ATE0)."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Trace commands, answers and network events on stderr."));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make PATH a symbolic link to the terminal."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption eofOption(QStringLiteral("exit-on-eof"), QStringLiteral("Stop when stdin reaches its end (with --replay too)."));
    parser.addOptions({seedOption, pinOption, noEchoOption, verboseOption, linkOption, eofOption});
    const FieldOptions fieldOptions;
    fieldOptions.addTo(parser);
    const ReplayOptions replayOptions;
    replayOptions.addTo(parser);
    // The exit statuses follow the options, where a reader of --help (and of the manual page made
    // from it) looks for them; QCommandLineParser has no place of its own for them.
    if (app.arguments().contains(QStringLiteral("--help")) || app.arguments().contains(QStringLiteral("-h"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs("\nExit statuses:\n"
                   "  0  stopped by SIGINT or SIGTERM, or by the end of stdin with --exit-on-eof\n"
                   "  1  an option or the trace was refused, or no pseudo-terminal could be made (why, on stderr)\n",
                   stdout);
        return 0;
    }
    parser.process(app);
    // It takes options alone: a file named without --replay would be ignored, and the simulation
    // served in place of the operator's recorded modem.
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\" (a trace is played with --replay FILE)")
                 .arg(parser.positionalArguments().constFirst()));

    // A recorded session instead of the simulation: read (and refused) before any terminal exists.
    QString replayError;
    const std::optional<ReplaySetup> replay = replayOptions.read(parser, replayError);
    if (!replayError.isEmpty())
        fail(replayError);

    pellix::sim::VirtualModemOptions options;
    bool ok = false;
    options.seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok)
        fail(QStringLiteral("--seed needs a whole number"));
    options.pin = parser.value(pinOption);
    for (QChar c : options.pin)
        if (!c.isDigit())
            fail(QStringLiteral("--pin takes digits only"));
    options.echo = !parser.isSet(noEchoOption);
    QString fieldError;
    const std::optional<pellix::sim::FieldBehaviour> field = fieldOptions.read(parser, fieldError);
    if (!field)
        fail(fieldError);
    options.field = *field;

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        fail(QStringLiteral("no pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    const char *slaveName = ::ptsname(master);
    if (!slaveName)
        fail(QStringLiteral("ptsname failed"));
    const QByteArray slavePath(slaveName);
    // The slave stays open here too: the terminal keeps its raw settings, and the master never
    // sees a hang-up between one client and the next.
    const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        fail(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(slavePath)));
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    const QString link = parser.value(linkOption);
    if (!link.isEmpty()) {
        const QFileInfo existing(link);
        if (existing.isSymLink())
            QFile::remove(link);
        else if (existing.exists())
            fail(QStringLiteral("%1 exists and is not a symbolic link").arg(link));
        if (::symlink(slavePath.constData(), QFile::encodeName(link).constData()) != 0)
            fail(QStringLiteral("cannot create %1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno))));
    }

    std::printf("%s\n", slavePath.constData());
    std::fflush(stdout);
    // The link goes with the terminal it names.
    const auto finish = [&](int result) {
        if (!link.isEmpty() && QFileInfo(link).isSymLink())
            QFile::remove(link);
        ::close(slave);
        ::close(master);
        return result;
    };

    const bool exitOnEof = parser.isSet(eofOption);
    if (replay) {
        const QuitOnSignals quit;
        // A replay takes no network commands, but a script that ends the simulator by closing its
        // stdin ends a replay the same way.
        QSocketNotifier stdinReader(STDIN_FILENO, QSocketNotifier::Read);
        stdinReader.setEnabled(exitOnEof);
        QObject::connect(&stdinReader, &QSocketNotifier::activated, [&] {
            char buffer[1024];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                stdinReader.setEnabled(false);
                QCoreApplication::quit();
            }
        });
        return finish(serveReplay(master, *replay, parser.isSet(verboseOption)));
    }

    VirtualModem modem(options);
    if (parser.isSet(verboseOption)) {
        modem.setTrace([](VirtualModem::TraceKind kind, const QByteArray &text) {
            const char *tag = kind == VirtualModem::TraceKind::Command ? "<< "
                : kind == VirtualModem::TraceKind::Data               ? "<< pdu "
                : kind == VirtualModem::TraceKind::Response           ? ">> "
                                                                       : "-- ";
            std::fprintf(stderr, "%s%s\n", tag, text.constData());
        });
    }

    PtyWriter writer(master, options.field.lineSpeed);
    auto deliverOutput = [&] {
        if (modem.hasOutput())
            writer.send(modem.takeOutput());
    };

    // With --lose-routed the modem must know when nobody reads. The tool keeps the terminal open
    // itself, so no hang-up says a client has gone: what it wrote and nobody took for a second
    // does. The next client's first bytes open the line again.
    bool lineOpen = true;
    int unreadTicks = 0;
    QTimer readerCheck;
    readerCheck.setInterval(500);
    QObject::connect(&readerCheck, &QTimer::timeout, [&] {
        int unread = 0;
        if (::ioctl(slave, FIONREAD, &unread) != 0 || unread == 0) {
            unreadTicks = 0;
            return;
        }
        if (++unreadTicks >= 2 && lineOpen) {
            lineOpen = false;
            modem.lineClosed();
        }
    });
    if (options.field.loseRoutedMessages)
        readerCheck.start();

    QSocketNotifier reader(master, QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        if (!lineOpen) {
            lineOpen = true;
            unreadTicks = 0;
            modem.lineOpened();
        }
        readClient(master, [&](const QByteArray &bytes) { modem.feed(bytes); });
        deliverOutput();
    });

    // Network events run on the real clock.
    QTimer clockTimer;
    clockTimer.setInterval(20);
    QObject::connect(&clockTimer, &QTimer::timeout, [&] {
        modem.poll();
        deliverOutput();
    });
    clockTimer.start();

    QByteArray stdinLine;
    QSocketNotifier stdinReader(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReader, &QSocketNotifier::activated, [&] {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinReader.setEnabled(false);
            if (exitOnEof)
                QCoreApplication::quit();
            return;
        }
        stdinLine += QByteArray(buffer, n);
        int end;
        while ((end = int(stdinLine.indexOf('\n'))) >= 0) {
            networkCommand(modem, stdinLine.left(end));
            stdinLine.remove(0, end + 1);
        }
        if (stdinLine.size() > 4096)
            stdinLine.clear();
        deliverOutput();
    });

    const QuitOnSignals quit;
    return finish(QCoreApplication::exec());
}
