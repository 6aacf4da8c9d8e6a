// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellix {

// The result codes that end a command (V.250 5.7.1, TS 27.007 9.2, TS 27.005 3.2.5).
enum class FinalCode {
    Ok,
    Error,
    CmeError,
    CmsError,
    NoCarrier,
    Busy,
    NoAnswer,
    NoDialtone,
    CommandNotSupport,
};

// How the information lines of an answer are recognised.
enum class ResponseShape {
    None,            // no information lines expected; anything else is unsolicited
    Prefixed,        // lines starting with AtCommand::prefix
    PrefixedWithPdu, // each prefixed line is followed by one data line: +CMGL, +CMGR
    Bare,            // lines without prefix: +CGMI, +CGMM, +CGMR, +CGSN, ATI
};

struct AtCommand
{
    static constexpr int DefaultTimeoutMs = 5000;

    QByteArray line;   // without CR, e.g. "AT+CSQ"
    // Expected response prefix, e.g. "+CSQ:"; empty = none. Lines carrying it are the answer
    // whatever the shape, even when the same code also comes unsolicited (+CREG:, +CLIP:).
    QByteArray prefix;
    ResponseShape shape = ResponseShape::None;
    int timeoutMs = DefaultTimeoutMs;
    // Non-empty: wait for the "> " prompt, then send pdu + Ctrl-Z (TS 27.005 3.5.1 +CMGS/+CMGW).
    QByteArray pdu;
    // Some modems end +CPIN?/+CPMS? answers without OK (smstools3 modeminit.c, python-gsmmodem
    // fakemodems "missing OK"): when set, a prefixed line followed by a short silence is a
    // complete answer (final Ok, empty finalLine).
    bool finalMayBeMissing = false;
    // A listing (+CMGL, +CPBR of a range, +CPMS) on a slow line may take longer than any fixed
    // deadline while the modem is still sending: when set, timeoutMs is the longest silence
    // allowed (before the first line and between lines), and capMs bounds the whole answer.
    int capMs = 0;

    static AtCommand plain(const QByteArray &line, int timeoutMs = DefaultTimeoutMs);
    static AtCommand prefixed(const QByteArray &line, const QByteArray &prefix, int timeoutMs = DefaultTimeoutMs);
    static AtCommand withPdus(const QByteArray &line, const QByteArray &prefix, int timeoutMs = DefaultTimeoutMs);
    static AtCommand bare(const QByteArray &line, int timeoutMs = DefaultTimeoutMs);
    // +CMGS/+CMGW: the command line, then the PDU after the prompt.
    static AtCommand sendingPdu(const QByteArray &line, const QByteArray &pdu, const QByteArray &prefix,
                                int timeoutMs = DefaultTimeoutMs);
    // This command as a listing that ends by silence: timeoutMs of silence, capMs in all.
    AtCommand listing(int capMs) const;
};

struct AtResponse
{
    FinalCode final = FinalCode::Ok;
    // n of +CME/+CMS ERROR: n; verbose texts are mapped back through the 3GPP tables; -1 when
    // there is no number or the text is not in the tables.
    int errorCode = -1;
    // The information lines without their leading and trailing blanks; prefixed lines with
    // their prefix.
    QList<QByteArray> lines;
    QList<QByteArray> pdus;  // PrefixedWithPdu: the data line that followed lines[i] (empty if none came)
    QByteArray finalLine;

    bool ok() const { return final == FinalCode::Ok; }
};

// "OK", "ERROR", "+CME ERROR", ... as the modem spells them.
QString finalCodeName(FinalCode code);

} // namespace pellix
