// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a trace file, and whatever reads as one replayed to the same bytes as client
// input: an error message or sessions, never a crash.
#include "sim/tracerecording.h"
#include "sim/tracereplayer.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Random bytes rarely form a trace line: half the inputs get a valid head to reach the body.
    QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    if (size > 0 && data[0] & 1)
        text.prepend("2024-05-02 10:00:00.000 == connect: modem type -1 (x), port COM0\n"
                     "2024-05-02 10:00:00.001 -> AT\n2024-05-02 10:00:00.002 <- > \n");
    QString error;
    const auto recording = pellix::sim::TraceRecording::fromText(text, QStringLiteral("fuzz"), error);
    if (!recording) {
        if (error.isEmpty())
            __builtin_trap();
        return 0;
    }
    for (const auto &session : recording->sessions()) {
        pellix::sim::TraceReplayer replayer(session, 0);
        replayer.start(0);
        replayer.feed(text, 1);
        replayer.takeDue(1 << 30);
    }
    return 0;
}
