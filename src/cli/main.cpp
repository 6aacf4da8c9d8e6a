// SPDX-License-Identifier: GPL-3.0-or-later
#include "environment.h"
#include "modem/pellixgsmmodem.h"
#include "pellixcli.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // A reader that goes away (`pellix sms list --delete | head -1`) makes a write fail instead of
    // killing pellix, which then keeps on the SIM what it could not show.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellix"));
    // Unbuffered: a monitor's line is on the pipe when its event has happened.
    QFile out;
    QFile err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    cli::Environment environment;
    environment.out = &out;
    environment.err = &err;
    environment.progress = ::isatty(STDERR_FILENO) == 1;
    environment.makeModem = cli::makeLibraryModem;
    // The bytes as given: QCoreApplication::arguments() would have turned a byte that is not UTF-8
    // into U+FFFD, which would then go out to the modem as text.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return cli::runPellix(arguments, environment);
}
