// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atoutcome.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace pellix::sim {

// What the modem says to its client, framed as the client set it (V1/V0, Q1, S3/S4, +CMEE): the
// answers of commands, and the unsolicited codes, held while the client is typing so that they
// never split its echo, or buffered under +CNMI mode 0.
class ModemOutput
{
public:
    struct Framing
    {
        bool verbose = true;
        bool quiet = false;
        int cmee = 0;
        char s3 = '\r';
        char s4 = '\n';
        int cnmiMode = 0;
    };
    struct Links
    {
        std::function<Framing()> framing;
        // A command line, a prompt or a late answer has the line.
        std::function<bool()> linkBusy;
        // A restarting modem says nothing.
        std::function<bool()> muted;
        std::function<QByteArray(int percent)> vendorLines;
        std::function<bool()> tracing;
        std::function<void(const QByteArray &line)> trace;
    };

    explicit ModemOutput(Links links);

    // Bytes as they are, an echo or an answer released late: not traced again.
    void raw(const QByteArray &bytes) { m_bytes += bytes; }
    void raw(char c) { m_bytes += c; }
    // An answer's bytes, each line traced.
    void write(const QByteArray &bytes);
    QByteArray eol() const;
    void info(const QList<QByteArray> &lines);
    void final(const AtOutcome &outcome);
    void unsolicited(const QByteArray &line, const QByteArray &pduLine = QByteArray());
    // An SMS indication (+CMTI, +CDSI): buffered under +CNMI mode 0 (27.005 3.4.1).
    void indication(const QByteArray &line);
    // Leaving +CNMI mode 0: the buffered indications follow the OK, or are gone (<bfr> 1).
    void leaveBuffering(bool flush);
    void clearBuffered() { m_buffered.clear(); }
    void flushHeld();

    bool isEmpty() const { return m_bytes.isEmpty(); }
    qsizetype size() const { return m_bytes.size(); }
    QByteArray take();
    // What was said from position on, taken back.
    QByteArray cut(qsizetype position);
    // A restart: nothing of the old boot goes out any more.
    void clear();

private:
    QByteArray infoWithVendorLines(const QList<QByteArray> &info, const QByteArray &eol);

    Links m_links;
    QByteArray m_bytes;
    QList<QByteArray> m_held;          // unsolicited codes held while the client is typing
    QList<QByteArray> m_buffered;      // SMS indications buffered under +CNMI mode 0
};

} // namespace pellix::sim
