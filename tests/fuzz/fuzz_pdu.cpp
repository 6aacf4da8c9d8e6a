// SPDX-License-Identifier: GPL-3.0-or-later
// Every decoder on arbitrary input: the bytes as PDU hex (with and without the SMSC field) and
// once as raw text. The library's own error is the only acceptable failure; a decoded message
// must also survive being encoded again.
#include "pdu/gsmalphabet.h"
#include "pdu/smspdu.h"
#include "raisederror.h"

#include <cstddef>
#include <cstdint>

using namespace pellix::pdu;

namespace {

template <typename F>
void guarded(F &&f)
{
    try {
        f();
    } catch (const RaisedError &) {
    }
}

void decodeAll(const QByteArray &text, bool hasSmsc)
{
    guarded([&] { pduType(text, hasSmsc); });
    guarded([&] { tpduLength(text); });
    guarded([&] { describePdu(text, hasSmsc); });
    guarded([&] {
        const SubmitPdu pdu = decodeSubmit(text, hasSmsc);
        concatenation(pdu.udh);
        guarded([&] { encodeSubmit(pdu); });
    });
    guarded([&] {
        const DeliverPdu pdu = decodeDeliver(text, hasSmsc);
        concatenation(pdu.udh);
        guarded([&] { encodeDeliver(pdu); });
    });
    guarded([&] {
        const StatusReportPdu pdu = decodeStatusReport(text, hasSmsc);
        guarded([&] { encodeStatusReport(pdu); });
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray hex = raw.toHex();
    decodeAll(hex, true);
    decodeAll(hex, false);
    decodeAll(raw, true);

    concatenation(raw);
    guarded([&] { validateUserDataHeader(raw); });
    decodeGsm7(raw);
    guarded([&] { unpackSeptets(raw, int(size), size > 0 ? data[0] % 8 : 0); });
    return 0;
}
