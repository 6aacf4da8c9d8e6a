// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemtargets.h"

#include "commandline.h"
#include "output.h"
#include "transport/comports.h"
#include "usageerror.h"

namespace cli {
namespace {

CheckTarget portTarget(const pellix::SerialPortDescription &port)
{
    CheckTarget target;
    target.request.modemType = ModemRequest::StandardModemType;
    target.request.devicePath = port.devicePath;
    target.name = port.comNumber > 0 ? QStringLiteral("COM%1").arg(port.comNumber) : port.devicePath;
    return target;
}

} // namespace

CheckTarget targetForPort(const PortSurvey &survey, const pellix::SerialPortDescription &port)
{
    CheckTarget target = survey.settings;
    const CheckTarget found = portTarget(port);
    target.request.devicePath = found.request.devicePath;
    target.name = found.name;
    target.port = 0;
    return target;
}

QList<CheckTarget> readModemTargets(Environment &environment, const CommandLine &line, Output &output, PortSurvey *survey)
{
    // Its usage errors come before any port is probed.
    const CommandLine::Connection connection = line.connection();
    qint32 modemType = ModemRequest::StandardModemType;
    bool typeGiven = false;
    int virtualModems = 0;
    QList<CheckTarget> targets;
    const auto add = [&](CheckTarget target) {
        for (const CheckTarget &other : std::as_const(targets)) {
            if (other.name == target.name && (target.port != 0 || !target.request.devicePath.isEmpty()))
                throw UsageError(QStringLiteral("%1 is named twice: one connection per modem").arg(target.name));
        }
        targets << target;
    };
    for (const auto &[name, value] : line.modemOptions()) {
        CheckTarget target;
        if (name == QLatin1String("type")) {
            const int type = CommandLine::integerWord(value, -1, 32767, QStringLiteral("--type"));
            if (type == -1) {
                target.request.modemType = ModemRequest::VirtualModemType;
                target.name = QStringLiteral("virtual %1").arg(++virtualModems);
                add(target);
            } else if (typeGiven && type != modemType) {
                throw UsageError(QStringLiteral("give one --type for the ports (and --type -1 for each virtual modem)"));
            } else {
                modemType = type;
                typeGiven = true;
            }
            continue;
        }
        if (value.isEmpty())
            throw UsageError(QStringLiteral("--%1 needs a value").arg(name));
        // A port or device is a real modem: -1 (the request's default) would hand it to the virtual one.
        target.request.modemType = ModemRequest::StandardModemType;
        if (name == QLatin1String("port")) {
            QString digits = value;
            if (digits.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
                digits = digits.mid(3);
            target.port = qint16(CommandLine::integerWord(digits, 1, pellix::comports::LastOverride, QStringLiteral("--port")));
            target.name = QStringLiteral("COM%1").arg(target.port);
        } else {
            target.request.devicePath = value;
            target.name = value;
        }
        add(target);
    }
    if (line.has(QStringLiteral("all"))) {
        const qint32 baudRate = line.integer(QStringLiteral("baud"), 1, 4000000, pellix::DefaultProbeBaudRate);
        const QList<pellix::SerialPortDescription> found =
            environment.listPorts ? environment.listPorts() : pellix::describeSerialPorts();
        for (const pellix::SerialPortDescription &port : found) {
            output.progress(QStringLiteral("probing %1...").arg(port.devicePath));
            const pellix::PortProbeResult probe = environment.probePort
                ? environment.probePort(port, baudRate)
                : pellix::probePort(port, pellix::DefaultProbeDeadlineMs, baudRate);
            if (survey && probe.outcome != pellix::PortProbeResult::Outcome::Skipped)
                survey->probed << port;
            if (probe.outcome != pellix::PortProbeResult::Outcome::Answered)
                continue;
            bool named = false;
            for (const CheckTarget &other : std::as_const(targets))
                named = named || other.request.devicePath == port.devicePath || (port.comNumber > 0 && other.port == port.comNumber);
            if (named)
                continue;
            targets << portTarget(port);
        }
        if (survey)
            survey->probeBaudRate = baudRate;
    }
    const auto settle = [&](CheckTarget &target) {
        if (target.request.modemType != ModemRequest::VirtualModemType)
            target.request.modemType = modemType;
        target.request.baudRate = connection.baudRate;
        target.timeoutSeconds = connection.timeoutSeconds;
        target.pin = connection.pin;
        target.forcePin = connection.forcePin;
    };
    for (CheckTarget &target : targets)
        settle(target);
    if (survey) {
        survey->settings = portTarget({});
        settle(survey->settings);
    }
    return targets;
}

CheckSettings readCheckSettings(const CommandLine &line)
{
    CheckSettings settings;
    settings.minRssi = line.integer(QStringLiteral("min-rssi"), 0, 31, settings.minRssi);
    settings.withinSeconds = line.integer(QStringLiteral("within"), 1, 3600, settings.withinSeconds);
    if (line.has(QStringLiteral("own-number")))
        settings.ownNumber = CommandLine::recipientWord(line.value(QStringLiteral("own-number")), QStringLiteral("--own-number")).Number;
    if (line.has(QStringLiteral("ussd"))) {
        settings.ussdCode = line.value(QStringLiteral("ussd"));
        if (settings.ussdCode.isEmpty())
            throw UsageError(QStringLiteral("--ussd needs a code (*100#)"));
        CommandLine::dialStringWord(settings.ussdCode, QStringLiteral("--ussd"));
    }
    return settings;
}

} // namespace cli
