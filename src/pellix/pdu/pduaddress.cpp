// SPDX-License-Identifier: GPL-3.0-or-later
#include "pduaddress_p.h"

#include "gsmalphabet.h"
#include "gsmalphabet_p.h"
#include "pdudescription_p.h"
#include "pellixerror.h"

namespace pellix::pdu {

using namespace detail;

namespace {

constexpr int MaxAddressDigits = 20;    // TS 23.040 9.1.2.5: address value of at most 10 octets
constexpr int MaxSmscOctets = 11;       // TS 24.011 8.2.5.1: TOA and 10 octets of digits

constexpr char16_t BcdDigit[16] = {u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7',
                                   u'8', u'9', u'*', u'#', u'a', u'b', u'c', 0};

bool isAlphanumericToa(quint8 toa)
{
    return (toa & 0x70) == 0x50;
}

QString addressValue(quint8 toa, const quint8 *p, int semiOctets, int octets)
{
    QString s;
    if (isAlphanumericToa(toa)) {
        // TS 23.040 9.1.2.5: GSM 7-bit packed, the length counting the semi-octets in use.
        quint8 septets[24];
        qsizetype n = detail::unpackInto(p, octets, semiOctets * 4 / 7, 0, septets);
        // Senders that count whole octets leave 7 padding bits at the end when the septets end
        // one short of an octet boundary: zero bits (read as '@') or a CR (TS 23.038 6.1.2.3.1).
        if (n > 0 && n * 7 == qsizetype(octets) * 8 && (septets[n - 1] == 0x00 || septets[n - 1] == 0x0D))
            --n;
        detail::decodeGsm7Into(septets, n, s);
        return s;
    }
    const bool international = (toa & 0x70) == 0x10;
    s.reserve(semiOctets + 1);
    if (international)
        s.append(QLatin1Char('+'));
    for (int i = 0; i < semiOctets; ++i) {
        const quint8 nibble = (i & 1) ? p[i / 2] >> 4 : p[i / 2] & 0x0F;
        if (nibble != 0x0F)   // filler of an odd count (and tolerated where it should not be)
            s.append(QChar(BcdDigit[nibble]));
    }
    return s;
}

// A dialling number as the API takes it: an optional leading '+', then digits, '*' and '#'.
struct Digits
{
    bool international = false;
    int count = 0;
    quint8 nibble[MaxAddressDigits];
};

Digits parseNumber(const QString &number, const char *role)
{
    Digits d;
    if (number.isEmpty())
        raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("the %1 number is empty").arg(QLatin1String(role)));
    qsizetype i = 0;
    if (number.at(0) == QLatin1Char('+')) {
        d.international = true;
        i = 1;
    }
    const qsizetype digits = number.size() - i;
    if (digits == 0)
        raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("the %1 number '+' has no digits").arg(QLatin1String(role)));
    if (digits > MaxAddressDigits)
        raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("the %1 number '%2' has %3 digits; an address holds at most %4")
                                                 .arg(QLatin1String(role), number).arg(digits).arg(MaxAddressDigits));
    for (; i < number.size(); ++i) {
        const char16_t c = number.at(i).unicode();
        quint8 v;
        if (c >= u'0' && c <= u'9')
            v = quint8(c - u'0');
        else if (c == u'*')
            v = 0x0A;
        else if (c == u'#')
            v = 0x0B;
        else
            raise(ErrorCode::InvalidPhoneNumber,
                  QStringLiteral("the %1 number '%2' holds %3; only digits, '*' and '#' after an optional leading '+' are allowed")
                      .arg(QLatin1String(role), number, detail::describeCharacter(number, i)));
        d.nibble[d.count++] = v;
    }
    return d;
}

void writeBcd(PduWriter &w, const Digits &d)
{
    for (int i = 0; i < d.count; i += 2)
        w.put(quint8(d.nibble[i] | ((i + 1 < d.count ? d.nibble[i + 1] : 0x0F) << 4)), "the address digits");
}

} // namespace

namespace detail {

Address readSmsc(PduReader &r)
{
    const qsizetype start = r.pos();
    const quint8 length = r.octet("the SMSC length");
    Address a;
    if (length == 0) {
        a.typeOfAddress = 0;
        if (r.tracing())
            r.note(start, QStringLiteral("SMSC length"), QStringLiteral("0: none given, the centre set with +CSCA"));
        return a;
    }
    if (length > MaxSmscOctets)
        malformed(QStringLiteral("the SMSC length octet says %1 octets; an SMSC address has at most %2")
                      .arg(length).arg(MaxSmscOctets));
    r.need(length, "the SMSC address");
    if (r.tracing())
        r.note(start, QStringLiteral("SMSC length"), QStringLiteral("%1 octets follow").arg(length));
    const qsizetype toaAt = r.pos();
    a.typeOfAddress = r.octet("the SMSC type of address");
    if (r.tracing())
        r.note(toaAt, QStringLiteral("SMSC TOA"), toaMeaning(a.typeOfAddress));
    const qsizetype valueAt = r.pos();
    const quint8 *value = r.take(length - 1, "the SMSC address");
    a.number = addressValue(a.typeOfAddress, value, (length - 1) * 2, length - 1);
    if (r.tracing())
        r.note(valueAt, QStringLiteral("SMSC number"), a.number);
    return a;
}

Address readAddress(PduReader &r, const char *field, const char *name)
{
    const qsizetype start = r.pos();
    const quint8 semiOctets = r.octet(field);
    if (semiOctets > MaxAddressDigits)
        malformed(QStringLiteral("the %1 length octet says %2 semi-octets; an address has at most %3")
                      .arg(QLatin1String(name)).arg(semiOctets).arg(MaxAddressDigits));
    if (r.tracing())
        r.note(start, QStringLiteral("%1 length").arg(QLatin1String(name)),
               QStringLiteral("%1 semi-octets").arg(semiOctets));
    const qsizetype toaAt = r.pos();
    Address a;
    a.typeOfAddress = r.octet(field);
    if (r.tracing())
        r.note(toaAt, QStringLiteral("%1 TOA").arg(QLatin1String(name)), toaMeaning(a.typeOfAddress));
    const int octets = (semiOctets + 1) / 2;
    const qsizetype valueAt = r.pos();
    const quint8 *value = r.take(octets, field);
    a.number = addressValue(a.typeOfAddress, value, semiOctets, octets);
    if (r.tracing())
        r.note(valueAt, QStringLiteral("%1 number").arg(QLatin1String(name)),
               a.isAlphanumeric() ? QStringLiteral("\"%1\"").arg(a.number) : a.number);
    return a;
}

void writeSubmitSmsc(PduWriter &w, const QString &smsc)
{
    if (smsc.isEmpty()) {
        w.put(0x00, "the SMSC length");   // 27.005 3.3.1: the centre set with +CSCA
        return;
    }
    const Digits d = parseNumber(smsc, "SMSC");
    w.put(quint8(1 + (d.count + 1) / 2), "the SMSC length");
    w.put(d.international ? 0x91 : 0x81, "the SMSC type of address");
    writeBcd(w, d);
}

void writeDestination(PduWriter &w, const QString &number)
{
    const Digits d = parseNumber(number, "destination");
    w.put(quint8(d.count), "TP-DA");
    w.put(d.international ? 0x91 : 0x81, "TP-DA");
    writeBcd(w, d);
}

// Originator, recipient or SMSC of a PDU the virtual modem fabricates: numeric with the TOA
// following the '+', or alphanumeric when the TOA says so.
void writeAddress(PduWriter &w, const Address &a, bool smscField, const char *role)
{
    if (smscField && a.number.isEmpty()) {
        w.put(0x00, "the SMSC length");
        return;
    }
    if (a.isAlphanumeric()) {
        SeptetBuffer septets;
        const int length = gsm7Length(a.number);
        if (length <= 0 || length > 11)
            raise(ErrorCode::InvalidPhoneNumber,
                  QStringLiteral("the alphanumeric %1 '%2' must be 1..11 GSM 7-bit septets").arg(QLatin1String(role), a.number));
        detail::encodeGsm7Into(a.number, septets);
        quint8 packed[10];
        const int octets = detail::packInto(septets.constData(), septets.size(), 0, packed);
        // Useful semi-octets (TS 23.040 9.1.2.5), so that no padding septet can be read back.
        w.put(smscField ? quint8(1 + octets) : quint8((septets.size() * 7 + 3) / 4), role);
        w.put(quint8(0x80 | (a.typeOfAddress & 0x7F)), role);
        w.put(packed, octets, role);
        return;
    }
    const Digits d = parseNumber(a.number, role);
    quint8 toa = quint8(0x80 | (a.typeOfAddress & 0x7F));
    if (d.international)
        toa = quint8(0x90 | (toa & 0x0F));
    else if ((toa & 0x70) == 0x10)
        toa = quint8(0x80 | (toa & 0x0F));   // no '+': not international whatever the TOA said
    w.put(smscField ? quint8(1 + (d.count + 1) / 2) : quint8(d.count), role);
    w.put(toa, role);
    writeBcd(w, d);
}

} // namespace detail

} // namespace pellix::pdu
