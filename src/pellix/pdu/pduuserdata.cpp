// SPDX-License-Identifier: GPL-3.0-or-later
#include "pduuserdata_p.h"

#include "gsmalphabet.h"
#include "gsmalphabet_p.h"
#include "pdudescription_p.h"
#include "pellixerror.h"

#include <cstring>

namespace pellix::pdu {

using namespace detail;

namespace {

// Information elements whose length TS 23.040 9.2.3.24 fixes.
int fixedIeLength(quint8 iei)
{
    switch (iei) {
    case 0x00: return 3;
    case 0x08: return 4;
    case 0x04: return 2;
    case 0x05: return 4;
    case 0x24:
    case 0x25: return 1;
    default: return -1;
    }
}

QString ucs2Text(const quint8 *p, qsizetype octets)
{
    QString s(octets / 2 + (octets & 1), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(s.data());
    for (qsizetype i = 0; i + 1 < octets; i += 2)
        d[i / 2] = char16_t(p[i] << 8 | p[i + 1]);
    if (octets & 1)
        d[octets / 2] = u'\uFFFD';   // half a code unit: shown, not silently dropped
    return s;
}

void setHeader(UserDataOut &ud, const QByteArray &udh)
{
    validateUserDataHeader(udh);
    if (udh.size() > MaxUserDataOctets)
        raise(ErrorCode::PduTooLong, QStringLiteral("the user data header alone takes %1 octets; a message holds %2")
                                         .arg(udh.size()).arg(MaxUserDataOctets));
    std::memcpy(ud.octets, udh.constData(), size_t(udh.size()));
    ud.size = int(udh.size());
}

} // namespace

namespace detail {

QString headerFault(const quint8 *h, qsizetype size)
{
    if (size == 0)
        return {};
    if (h[0] != size - 1)
        return QStringLiteral("its length octet says %1 octets follow, but %2 do").arg(h[0]).arg(size - 1);
    qsizetype i = 1;
    while (i < size) {
        if (size - i < 2)
            return QStringLiteral("the information element at octet %1 (IEI 0x%2) has no length octet").arg(i).arg(octetHex(h[i]));
        const quint8 iei = h[i];
        const quint8 length = h[i + 1];
        if (size - i - 2 < length)
            return QStringLiteral("the information element at octet %1 (IEI 0x%2) says %3 octets of data, but %4 remain")
                .arg(i).arg(octetHex(iei)).arg(length).arg(size - i - 2);
        const int fixed = fixedIeLength(iei);
        if (fixed >= 0 && length != fixed)
            return QStringLiteral("the %1 element (IEI 0x%2) at octet %3 has %4 octets of data; it takes %5")
                .arg(QLatin1String(ieName(iei)), octetHex(iei)).arg(i).arg(length).arg(fixed);
        i += 2 + length;
    }
    return {};
}

UserDataIn readUserData(PduReader &r, const DataCoding &dcs, bool udhi)
{
    UserDataIn in;
    const qsizetype udlAt = r.pos();
    const quint8 udl = r.octet("TP-UDL");
    const bool septets = dcs.alphabet == Gsm7 && !dcs.compressed;
    if (septets && udl > MaxSeptets)
        malformed(QStringLiteral("TP-UDL %1 at octet %2 exceeds %3 septets").arg(udl).arg(udlAt).arg(MaxSeptets));
    if (!septets && udl > MaxUserDataOctets)
        malformed(QStringLiteral("TP-UDL %1 at octet %2 exceeds %3 octets").arg(udl).arg(udlAt).arg(MaxUserDataOctets));
    if (r.tracing())
        r.note(udlAt, QStringLiteral("TP-UDL"), QStringLiteral("%1 %2").arg(udl).arg(QLatin1String(septets ? "septets" : "octets")));
    const qsizetype octets = septets ? (udl * 7 + 7) / 8 : udl;
    const qsizetype udAt = r.pos();
    const quint8 *p = r.take(octets, "TP-UD");
    in.userData = QByteArray(reinterpret_cast<const char *>(p), octets);

    qsizetype headerOctets = 0;
    // Some centres set TP-UDHI on a message without user data: there is no header to read, and
    // the message is still an (empty) message.
    if (udhi && octets > 0) {
        headerOctets = p[0] + 1;
        if (headerOctets > octets)
            malformed(QStringLiteral("the user data header at octet %1 says %2 octets, but the user data holds %3")
                          .arg(udAt).arg(headerOctets).arg(octets));
        in.udh = QByteArray(reinterpret_cast<const char *>(p), headerOctets);
        if (r.tracing())
            traceHeader(r, udAt, headerOctets);
    }
    const quint8 *body = p + headerOctets;
    const qsizetype bodyOctets = octets - headerOctets;
    if (dcs.compressed) {
        // TS 23.042 compression is not implemented: the octets stay in userData.
    } else if (dcs.alphabet == Gsm7) {
        const qsizetype headerSeptets = (headerOctets * 8 + 6) / 7;
        if (headerSeptets > udl)
            malformed(QStringLiteral("the user data header at octet %1 takes %2 septets, more than TP-UDL %3")
                          .arg(udAt).arg(headerSeptets).arg(udl));
        const int fill = int(headerSeptets * 7 - headerOctets * 8);
        quint8 buffer[MaxSeptets];
        const qsizetype n = detail::unpackInto(body, bodyOctets, udl - headerSeptets, fill, buffer);
        detail::decodeGsm7Into(buffer, n, in.text);
    } else if (dcs.alphabet == Bit8) {
        in.text = QString::fromLatin1(reinterpret_cast<const char *>(body), bodyOctets);
    } else {
        in.text = ucs2Text(body, bodyOctets);
    }
    if (r.tracing()) {
        const QString meaning = dcs.compressed ? QStringLiteral("compressed (TS 23.042), not decoded")
                                               : QStringLiteral("\"%1\"").arg(in.text);
        r.addField(PduField{QStringLiteral("TP-UD"), toHex(body, bodyOctets), meaning});
    }
    return in;
}

void packGsm7(UserDataOut &ud, const QByteArray &udh, const quint8 *septets, qsizetype count)
{
    setHeader(ud, udh);
    const int headerOctets = int(udh.size());
    const int headerSeptets = (headerOctets * 8 + 6) / 7;
    const qsizetype udl = headerSeptets + count;
    if (udl > MaxSeptets) {
        if (headerOctets == 0)
            raise(ErrorCode::PduTooLong, QStringLiteral("the 7-bit text takes %1 septets; a message holds %2").arg(count).arg(MaxSeptets));
        raise(ErrorCode::PduTooLong, QStringLiteral("the 7-bit user data takes %1 septets (%2 for the header, %3 for the text); a message holds %4")
                                         .arg(udl).arg(headerSeptets).arg(count).arg(MaxSeptets));
    }
    ud.size = headerOctets + detail::packInto(septets, count, headerSeptets * 7 - headerOctets * 8, ud.octets + headerOctets);
    ud.udl = quint8(udl);
}

void buildUserData(UserDataOut &ud, int alphabet, const QString &text, const QByteArray &udh)
{
    if (alphabet == Gsm7) {
        SeptetBuffer septets;
        detail::encodeGsm7Into(text, septets);
        packGsm7(ud, udh, septets.constData(), septets.size());
        return;
    }
    setHeader(ud, udh);
    const qsizetype units = text.size();
    const qsizetype dataOctets = alphabet == Bit8 ? units : 2 * units;
    const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
    for (qsizetype i = 0; i < units; ++i) {
        if (alphabet == Bit8 && u[i] > 0xFF)
            raise(ErrorCode::TextNotRepresentable,
                  QStringLiteral("the 8-bit text holds %1; it takes one octet (U+0000..U+00FF) per character")
                      .arg(detail::describeCharacter(text, i)));
        if (alphabet == Ucs2 && QChar::isSurrogate(u[i])) {
            const bool paired = QChar::isHighSurrogate(u[i]) ? (i + 1 < units && QChar::isLowSurrogate(u[i + 1]))
                                                             : (i > 0 && QChar::isHighSurrogate(u[i - 1]));
            if (!paired)
                raise(ErrorCode::TextNotRepresentable,
                      QStringLiteral("the text holds an unpaired surrogate %1").arg(detail::describeCharacter(text, i)));
        }
    }
    const qsizetype total = ud.size + dataOctets;
    if (total > MaxUserDataOctets) {
        const QString what = alphabet == Bit8 ? QStringLiteral("%1 octets of data").arg(units)
                                              : QStringLiteral("%1 UCS-2 code units of text").arg(units);
        raise(ErrorCode::PduTooLong, QStringLiteral("the user data takes %1 octets (%2 for the header, %3); a message holds %4")
                                         .arg(total).arg(ud.size).arg(what).arg(MaxUserDataOctets));
    }
    quint8 *d = ud.octets + ud.size;
    if (alphabet == Bit8) {
        for (qsizetype i = 0; i < units; ++i)
            d[i] = quint8(u[i]);
    } else {
        for (qsizetype i = 0; i < units; ++i) {
            d[2 * i] = quint8(u[i] >> 8);
            d[2 * i + 1] = quint8(u[i]);
        }
    }
    ud.size = int(total);
    ud.udl = quint8(total);
}

} // namespace detail

void validateUserDataHeader(const QByteArray &udh)
{
    const QString fault = headerFault(reinterpret_cast<const quint8 *>(udh.constData()), udh.size());
    if (!fault.isEmpty())
        raise(ErrorCode::InvalidUserDataHeader, QStringLiteral("the header %1: %2").arg(QString::fromLatin1(udh.toHex().toUpper()), fault));
}

std::optional<Concatenation> concatenation(const QByteArray &udh)
{
    const auto *h = reinterpret_cast<const quint8 *>(udh.constData());
    const qsizetype size = udh.size();
    if (size == 0 || h[0] + 1 > size)
        return std::nullopt;
    const qsizetype end = h[0] + 1;
    std::optional<Concatenation> found;
    qsizetype i = 1;
    while (i + 1 < end && end - i - 2 >= h[i + 1]) {
        const quint8 iei = h[i];
        const quint8 length = h[i + 1];
        const quint8 *d = h + i + 2;
        Concatenation c;
        bool isConcat = false;
        if (iei == 0x00 && length == 3) {
            c.reference = d[0];
            c.total = d[1];
            c.sequence = d[2];
            isConcat = true;
        } else if (iei == 0x08 && length == 4) {
            c.reference = d[0] << 8 | d[1];
            c.total = d[2];
            c.sequence = d[3];
            c.reference16 = true;
            isConcat = true;
        }
        // TS 23.040 9.2.3.24.1: an element with no parts or a part number out of range is
        // ignored; when one repeats, the last one counts.
        if (isConcat && c.total > 0 && c.sequence > 0 && c.sequence <= c.total)
            found = c;
        i += 2 + length;
    }
    return found;
}

} // namespace pellix::pdu
