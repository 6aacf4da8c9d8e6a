// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pellix {

class ByteTransport;
struct SerialPortDescription;

// What one port said to a plain AT. A USB modem shows up as several ports, of which one or two
// take AT commands; the others carry data, diagnostics or GPS sentences.
struct PortProbeResult
{
    enum class Outcome {
        Answered, // a final code came back to AT: an AT command interpreter listens there
        NoAnswer, // silence, or something other than an AT answer, until the deadline
        Skipped,  // not opened: another program holds it, or it cannot be opened (see reason)
    };

    Outcome outcome = Outcome::NoAnswer;
    // Skipped: why ("in use by minicom (pid 4242)", "cannot open: permission denied; ...").
    // NoAnswer: what came instead ("silent", "37 bytes of other data: $GPGGA,..."). Answered: the
    // final code when it was not OK ("answers ERROR"), else empty.
    QString reason;
    // Answered with OK: +CGMI, +CGMM, +CGMR, +CGSN; each empty when the modem refused it or the
    // deadline came first.
    QString manufacturer;
    QString model;
    QString revision;
    QString imei;
};

inline constexpr int DefaultProbeDeadlineMs = 1000;
// USB modems take any speed; a serial modem set to autobaud follows the AT.
inline constexpr qint32 DefaultProbeBaudRate = 115200;

// Opens the port for a moment, for this program alone, and probes it. A port that another
// program holds is never opened: the probe skips it and says who holds it (or that the system
// refused it as busy, for holders of other users). The whole probe, opening included, ends
// within deadlineMs (plus the device's own close).
PortProbeResult probePort(const SerialPortDescription &port, int deadlineMs = DefaultProbeDeadlineMs,
                          qint32 baudRate = DefaultProbeBaudRate);

// The conversation alone, over a transport that is open: "AT" (once more if the first answer
// was not OK, as a line may hold a half-typed command), then the identity. Changes no setting of
// the modem (echo, result codes and message routing stay as the last program left them).
PortProbeResult probeTransport(ByteTransport &transport, int deadlineMs = DefaultProbeDeadlineMs);

// One line for the operator: "answers AT: Pellix PVM-1, revision PVM-1 2.6.0, IMEI 357920061482624",
// "no AT answer (silent)", "skipped: in use by minicom (pid 4242)".
QString describe(const PortProbeResult &result);

} // namespace pellix
