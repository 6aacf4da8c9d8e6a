// SPDX-License-Identifier: GPL-3.0-or-later
#include "portprobe.h"

#include "at/atchannel.h"
#include "pellixerror.h"
#include "plainidentity.h"
#include "transport/comports.h"
#include "transport/portholders.h"
#include "transport/serialportdescription.h"
#include "transport/serialtransport.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>

namespace pellix {
namespace {

// Keeps what the port sent, so that a port that gave no AT answer can say what it gave instead.
class RecordingTransport : public ByteTransport
{
public:
    static constexpr qsizetype KeptBytes = 48;

    explicit RecordingTransport(ByteTransport &inner)
        : m_inner(inner)
    {
        connect(&inner, &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(&inner, &ByteTransport::failed, this, &ByteTransport::failed);
    }

    bool isOpen() const override { return m_inner.isOpen(); }
    bool write(const QByteArray &bytes) override { return m_inner.write(bytes); }
    QByteArray takeAvailable() override
    {
        const QByteArray bytes = m_inner.takeAvailable();
        m_total += bytes.size();
        m_kept += bytes.left(KeptBytes - m_kept.size());
        return bytes;
    }
    bool waitForBytes(QDeadlineTimer deadline) override { return m_inner.waitForBytes(deadline); }
    void close() override { m_inner.close(); }
    void pause(int ms) override { m_inner.pause(ms); }
    QString errorText() const override { return m_inner.errorText(); }

    qint64 total() const { return m_total; }
    const QByteArray &kept() const { return m_kept; }

private:
    ByteTransport &m_inner;
    QByteArray m_kept;
    qint64 m_total = 0;
};

bool isError(const RaisedError &error, ErrorCode code)
{
    return error.number() == libraryErrorNumber(quint16(code));
}

// What came instead of an answer, readable whatever it was: a GPS port's sentences show as
// text, a diagnostics port's binary as dots.
QString otherData(const RecordingTransport &recording, bool gone)
{
    QByteArray rest = recording.kept();
    // A port that only echoes (a loopback plug, a terminal's line discipline) is no modem either.
    const bool onlyEcho = rest.replace("AT", "").replace('\r', "").replace('\n', "").isEmpty();
    QString text;
    if (recording.total() == 0)
        text = QStringLiteral("silent");
    else if (onlyEcho && recording.total() <= recording.kept().size())
        text = QStringLiteral("it only echoed what was sent");
    else {
        QString preview;
        for (const char c : recording.kept()) {
            const uchar u = uchar(c);
            preview += (u >= 0x20 && u < 0x7f) ? QChar::fromLatin1(c) : (c == '\r' || c == '\n') ? QChar(u' ') : QChar(u'.');
        }
        preview = preview.simplified();
        if (recording.total() > recording.kept().size())
            preview += QStringLiteral("...");
        text = QStringLiteral("%1 bytes of other data: %2").arg(recording.total()).arg(preview);
    }
    if (gone)
        text += QStringLiteral("; then the device went away");
    return text;
}

int share(const QDeadlineTimer &deadline, int parts)
{
    return int(std::max<qint64>(1, deadline.remainingTime() / std::max(1, parts)));
}

} // namespace

PortProbeResult probeTransport(ByteTransport &transport, int deadlineMs)
{
    const QDeadlineTimer deadline(std::max(1, deadlineMs));
    RecordingTransport recording(transport);
    AtChannel channel(recording);
    PortProbeResult result;

    // A first AT may meet a half-typed command line left by the last program and earn an
    // ERROR; the second then starts clean.
    std::optional<AtResponse> answer;
    bool gone = false;
    for (int attempt = 0; attempt < 2 && !deadline.hasExpired() && !(answer && answer->ok()); ++attempt) {
        try {
            answer = channel.run(AtCommand::plain("AT", share(deadline, 1)));
        } catch (const RaisedError &error) {
            gone = isError(error, ErrorCode::ConnectionLost);
            break;
        }
    }
    if (!answer) {
        result.outcome = PortProbeResult::Outcome::NoAnswer;
        result.reason = otherData(recording, gone);
        return result;
    }
    result.outcome = PortProbeResult::Outcome::Answered;
    if (!answer->ok()) {
        result.reason = QStringLiteral("answers %1").arg(finalCodeName(answer->final));
        return result;
    }

    struct Identity
    {
        const char *command;
        QString PortProbeResult::*field;
    };
    static const std::array<Identity, 4> Identities{{
        {"AT+CGMI", &PortProbeResult::manufacturer},
        {"AT+CGMM", &PortProbeResult::model},
        {"AT+CGMR", &PortProbeResult::revision},
        {"AT+CGSN", &PortProbeResult::imei},
    }};
    for (std::size_t i = 0; i < Identities.size() && !deadline.hasExpired(); ++i) {
        const QByteArray command(Identities[i].command);
        try {
            // Each what is left, shared with the ones still to come: a slow first one must not
            // take the others' time.
            const AtResponse reply = channel.run(AtCommand::bare(command, share(deadline, int(Identities.size() - i))));
            // Some modems refuse +CGMR or +CGSN (ERROR, +CME ERROR); the rest still tells.
            if (reply.ok())
                result.*Identities[i].field = plainIdentity(reply.lines, command.mid(2) + ':');
        } catch (const RaisedError &) {
            // A timeout would cost the next command a resynchronising AT, and the deadline is
            // the operator's: what came so far is the answer.
            break;
        }
    }
    return result;
}

PortProbeResult probePort(const SerialPortDescription &port, int deadlineMs, qint32 baudRate)
{
    const QDeadlineTimer deadline(std::max(1, deadlineMs));
    PortProbeResult result;
    result.outcome = PortProbeResult::Outcome::Skipped;
    // A program in the middle of its own conversation (ModemManager, a terminal, a second
    // console) would take our AT for its answer, or lose its own: such a port is never opened.
    const QStringList holders = portClients(port.devicePath);
    if (!holders.isEmpty()) {
        result.reason = QStringLiteral("in use by %1").arg(holders.join(QStringLiteral(", ")));
        return result;
    }
    const QString name = port.comNumber > 0 ? portDisplayName(port.comNumber, port.devicePath) : port.devicePath;
    SerialTransport transport;
    try {
        transport.openDevice(port.devicePath, name, baudRate);
    } catch (const RaisedError &error) {
        // The lock file or TIOCEXCL of a holder we cannot see (another user's): held, not broken.
        const qsizetype busy = error.description().indexOf(QLatin1String(BusyPortLead));
        result.reason = busy >= 0 ? QStringLiteral("in use by another program (%1)").arg(error.description().mid(busy))
                                  : QStringLiteral("cannot open: %1").arg(error.description());
        return result;
    }
    result = probeTransport(transport, int(std::max<qint64>(1, deadline.remainingTime())));
    transport.close();
    return result;
}

QString describe(const PortProbeResult &result)
{
    switch (result.outcome) {
    case PortProbeResult::Outcome::Skipped:
        return QStringLiteral("skipped: ") + result.reason;
    case PortProbeResult::Outcome::NoAnswer:
        return QStringLiteral("no AT answer (%1)").arg(result.reason);
    case PortProbeResult::Outcome::Answered:
        break;
    }
    if (!result.reason.isEmpty())
        return QStringLiteral("answers AT (%1)").arg(result.reason);
    QStringList parts;
    const QString name = QStringList{result.manufacturer, result.model}.join(QLatin1Char(' ')).trimmed();
    if (!name.isEmpty())
        parts << name;
    if (!result.revision.isEmpty())
        parts << QStringLiteral("revision ") + result.revision;
    if (!result.imei.isEmpty())
        parts << QStringLiteral("IMEI ") + result.imei;
    return parts.isEmpty() ? QStringLiteral("answers AT") : QStringLiteral("answers AT: ") + parts.join(QStringLiteral(", "));
}

} // namespace pellix
