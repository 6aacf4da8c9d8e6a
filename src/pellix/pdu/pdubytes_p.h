// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "smspdu.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVarLengthArray>

// A PDU as octets, and the checked reading and writing of them that every field coder goes
// through, so that no field can read or write past either end.
namespace pellix::pdu::detail {

// A PDU in binary form; the longest TPDU (a status report with every optional field) is 174
// octets and the SMSC field 12, so one message stays on the stack.
using Bytes = QVarLengthArray<quint8, 256>;

// Raises MalformedPdu: input that does not decode.
[[noreturn]] void malformed(const QString &detail);

// The hex text of 27.005 PDU mode as octets; anything but whole hex octets is malformed.
void fromHex(const QByteArray &hex, Bytes &out);
void appendHex(QByteArray &out, const quint8 *p, qsizetype n);
QByteArray toHex(const quint8 *p, qsizetype n);
QString octetHex(quint8 v);

// Reads the binary PDU front to back; every read is checked against the end, and a failed
// check names the field and the octet offset where it was cut short. With a trace it also
// records each field for describePdu().
class PduReader
{
public:
    PduReader(const quint8 *data, qsizetype size, QList<PduField> *trace = nullptr);

    void need(qsizetype n, const char *what) const;
    quint8 octet(const char *what);
    const quint8 *take(qsizetype n, const char *what);

    const quint8 *data() const { return m_data; }
    qsizetype size() const { return m_size; }
    qsizetype pos() const { return m_pos; }

    bool tracing() const { return m_trace != nullptr; }
    // The octets from `from` up to the current position as one field of the trace.
    void note(qsizetype from, const QString &name, const QString &meaning) const;
    void addField(PduField field) const;
    // For a part read on trial: how many fields the trace holds, and back to that many.
    qsizetype traceSize() const { return m_trace ? m_trace->size() : 0; }
    void dropTraceFrom(qsizetype count) const
    {
        if (m_trace && count < m_trace->size())
            m_trace->resize(count);
    }

private:
    const quint8 *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    QList<PduField> *m_trace;
};

// Builds a PDU front to back in a buffer of fixed size. A field that would not fit raises
// PduTooLong naming the field and its octet offset, like the reader's checks, and nothing of
// it is written: no field can run past the buffer whatever its caller computed.
class PduWriter
{
public:
    // Room for the longest PDU the codec writes, a status report with every optional field
    // behind a full SMSC field, and to spare.
    static constexpr int Capacity = 256;

    void put(quint8 octet, const char *what);
    void put(const quint8 *octets, qsizetype count, const char *what);

    int size() const { return m_size; }
    QByteArray hex() const;

private:
    void makeRoom(qsizetype count, const char *what) const;

    quint8 m_buffer[Capacity];
    int m_size = 0;
};

} // namespace pellix::pdu::detail
