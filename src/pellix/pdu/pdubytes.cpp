// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdubytes_p.h"

#include "hexdigits.h"
#include "pellixerror.h"

#include <array>
#include <cstring>

namespace pellix::pdu::detail {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

} // namespace

void malformed(const QString &detail)
{
    raise(ErrorCode::MalformedPdu, detail);
}

void fromHex(const QByteArray &hex, Bytes &out)
{
    const qsizetype n = hex.size();
    if (n == 0)
        malformed(QStringLiteral("the PDU is empty"));
    const auto *src = reinterpret_cast<const quint8 *>(hex.constData());
    out.resize(n / 2);
    for (qsizetype i = 0; i + 1 < n; i += 2) {
        const int hi = HexDigitValues[src[i]];
        const int lo = HexDigitValues[src[i + 1]];
        if ((hi | lo) < 0) {
            const qsizetype at = hi < 0 ? i : i + 1;
            const quint8 c = src[at];
            const QString shown = (c >= 0x20 && c < 0x7F) ? QStringLiteral("'%1'").arg(QLatin1Char(char(c)))
                                                          : QStringLiteral("byte 0x%1").arg(c, 2, 16, QLatin1Char('0'));
            malformed(QStringLiteral("%1 at position %2 of the hex text is not a hex digit").arg(shown).arg(at + 1));
        }
        out[i / 2] = quint8(hi << 4 | lo);
    }
    if (n % 2)
        malformed(QStringLiteral("odd number of hex digits (%1): a PDU is whole octets").arg(n));
}

void appendHex(QByteArray &out, const quint8 *p, qsizetype n)
{
    const qsizetype start = out.size();
    out.resize(start + 2 * n);
    char *d = out.data() + start;
    for (qsizetype i = 0; i < n; ++i) {
        d[2 * i] = HexDigits[p[i] >> 4];
        d[2 * i + 1] = HexDigits[p[i] & 0x0F];
    }
}

QByteArray toHex(const quint8 *p, qsizetype n)
{
    QByteArray out;
    appendHex(out, p, n);
    return out;
}

QString octetHex(quint8 v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

PduReader::PduReader(const quint8 *data, qsizetype size, QList<PduField> *trace)
    : m_data(data)
    , m_size(size)
    , m_trace(trace)
{
}

void PduReader::need(qsizetype n, const char *what) const
{
    if (m_size - m_pos < n) {
        malformed(QStringLiteral("truncated: %1 needs %2 octet%3 at octet %4, but %5 remain%6")
                      .arg(QLatin1String(what))
                      .arg(n)
                      .arg(n == 1 ? QLatin1String() : QLatin1String("s"))
                      .arg(m_pos)
                      .arg(m_size - m_pos)
                      .arg(m_size - m_pos == 1 ? QLatin1String("s") : QLatin1String()));
    }
}

quint8 PduReader::octet(const char *what)
{
    need(1, what);
    return m_data[m_pos++];
}

const quint8 *PduReader::take(qsizetype n, const char *what)
{
    need(n, what);
    const quint8 *p = m_data + m_pos;
    m_pos += n;
    return p;
}

void PduReader::note(qsizetype from, const QString &name, const QString &meaning) const
{
    m_trace->append(PduField{name, toHex(m_data + from, m_pos - from), meaning});
}

void PduReader::addField(PduField field) const
{
    m_trace->append(std::move(field));
}

void PduWriter::makeRoom(qsizetype count, const char *what) const
{
    if (count < 0 || count > Capacity - m_size) {
        raise(ErrorCode::PduTooLong, QStringLiteral("overflow: %1 needs %2 octet%3 at octet %4, but %5 of %6 remain")
                                         .arg(QLatin1String(what))
                                         .arg(count)
                                         .arg(count == 1 ? QLatin1String() : QLatin1String("s"))
                                         .arg(m_size)
                                         .arg(Capacity - m_size)
                                         .arg(Capacity));
    }
}

void PduWriter::put(quint8 octet, const char *what)
{
    makeRoom(1, what);
    m_buffer[m_size++] = octet;
}

void PduWriter::put(const quint8 *octets, qsizetype count, const char *what)
{
    makeRoom(count, what);
    if (count > 0)
        std::memcpy(m_buffer + m_size, octets, size_t(count));
    m_size += int(count);
}

QByteArray PduWriter::hex() const
{
    QByteArray hex;
    hex.reserve(2 * m_size);
    appendHex(hex, m_buffer, m_size);
    return hex;
}

} // namespace pellix::pdu::detail
