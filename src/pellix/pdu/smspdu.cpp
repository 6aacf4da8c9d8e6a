// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdu.h"

#include "gsmalphabet.h"
#include "gsmalphabet_p.h"
#include "pellixerror.h"

#include <QVarLengthArray>

#include <cstring>

namespace pellix::pdu {
namespace {

using detail::SeptetBuffer;

// A PDU in binary form; the longest TPDU (a status report with every optional field) is 174
// octets and the SMSC field 12, so one message stays on the stack.
using Bytes = QVarLengthArray<quint8, 256>;

constexpr int MaxUserDataOctets = 140;  // TS 23.040 9.2.3.24
constexpr int MaxSeptets = 160;
constexpr int MaxAddressDigits = 20;    // TS 23.040 9.1.2.5: address value of at most 10 octets
constexpr int MaxSmscOctets = 11;       // TS 24.011 8.2.5.1: TOA and 10 octets of digits

[[noreturn]] void malformed(const QString &detail)
{
    raise(ErrorCode::MalformedPdu, detail);
}

// ----------------------------------------------------------------------------------------- hex

struct HexTable
{
    signed char value[256] = {};
    constexpr HexTable()
    {
        for (auto &v : value)
            v = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = char(i);
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = char(10 + i);
            value['a' + i] = char(10 + i);
        }
    }
};
constexpr HexTable Hex;
constexpr char HexDigits[] = "0123456789ABCDEF";

void fromHex(const QByteArray &hex, Bytes &out)
{
    const qsizetype n = hex.size();
    if (n == 0)
        malformed(QStringLiteral("the PDU is empty"));
    const auto *src = reinterpret_cast<const quint8 *>(hex.constData());
    out.resize(n / 2);
    for (qsizetype i = 0; i + 1 < n; i += 2) {
        const int hi = Hex.value[src[i]];
        const int lo = Hex.value[src[i + 1]];
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

// ------------------------------------------------------------------------------ reader, writer

// Reads the binary PDU front to back; every read is checked against the end, and a failed
// check names the field and the octet offset where it was cut short. With a trace it also
// records each field for describePdu().
struct Reader
{
    const quint8 *data;
    qsizetype size;
    qsizetype pos = 0;
    QList<PduField> *trace = nullptr;

    void need(qsizetype n, const char *what) const
    {
        if (size - pos < n) {
            malformed(QStringLiteral("truncated: %1 needs %2 octet%3 at octet %4, but %5 remain%6")
                          .arg(QLatin1String(what))
                          .arg(n)
                          .arg(n == 1 ? QLatin1String() : QLatin1String("s"))
                          .arg(pos)
                          .arg(size - pos)
                          .arg(size - pos == 1 ? QLatin1String("s") : QLatin1String()));
        }
    }
    quint8 octet(const char *what)
    {
        need(1, what);
        return data[pos++];
    }
    const quint8 *take(qsizetype n, const char *what)
    {
        need(n, what);
        const quint8 *p = data + pos;
        pos += n;
        return p;
    }
    void note(qsizetype from, const QString &name, const QString &meaning) const
    {
        trace->append(PduField{name, toHex(data + from, pos - from), meaning});
    }
};

struct Writer
{
    quint8 buf[256];
    int pos = 0;
    void put(quint8 b) { buf[pos++] = b; }
    void put(const quint8 *p, int n)
    {
        std::memcpy(buf + pos, p, size_t(n));
        pos += n;
    }
};

// ----------------------------------------------------------------------------------- addresses

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

QString toaMeaning(quint8 toa)
{
    static const char *const Types[8] = {"unknown", "international", "national", "network specific",
                                         "subscriber", "alphanumeric (GSM 7-bit)", "abbreviated", "reserved"};
    static const char *const Plans[16] = {"unknown", "ISDN/telephone (E.164)", "reserved", "data (X.121)",
                                          "telex", "SC specific 5", "SC specific 6", "reserved",
                                          "national", "private", "ERMES", "reserved", "reserved",
                                          "reserved", "reserved", "reserved"};
    return QStringLiteral("type of number: %1, numbering plan: %2")
        .arg(QLatin1String(Types[(toa >> 4) & 7]), QLatin1String(Plans[toa & 0x0F]));
}

Address readSmsc(Reader &r)
{
    const qsizetype start = r.pos;
    const quint8 length = r.octet("the SMSC length");
    Address a;
    if (length == 0) {
        a.typeOfAddress = 0;
        if (r.trace)
            r.note(start, QStringLiteral("SMSC length"), QStringLiteral("0: none given, the centre set with +CSCA"));
        return a;
    }
    if (length > MaxSmscOctets)
        malformed(QStringLiteral("the SMSC length octet says %1 octets; an SMSC address has at most %2")
                      .arg(length).arg(MaxSmscOctets));
    r.need(length, "the SMSC address");
    if (r.trace)
        r.note(start, QStringLiteral("SMSC length"), QStringLiteral("%1 octets follow").arg(length));
    const qsizetype toaAt = r.pos;
    a.typeOfAddress = r.octet("the SMSC type of address");
    if (r.trace)
        r.note(toaAt, QStringLiteral("SMSC TOA"), toaMeaning(a.typeOfAddress));
    const qsizetype valueAt = r.pos;
    const quint8 *value = r.take(length - 1, "the SMSC address");
    a.number = addressValue(a.typeOfAddress, value, (length - 1) * 2, length - 1);
    if (r.trace)
        r.note(valueAt, QStringLiteral("SMSC number"), a.number);
    return a;
}

Address readAddress(Reader &r, const char *field, const char *name)
{
    const qsizetype start = r.pos;
    const quint8 semiOctets = r.octet(field);
    if (semiOctets > MaxAddressDigits)
        malformed(QStringLiteral("the %1 length octet says %2 semi-octets; an address has at most %3")
                      .arg(QLatin1String(name)).arg(semiOctets).arg(MaxAddressDigits));
    if (r.trace)
        r.note(start, QStringLiteral("%1 length").arg(QLatin1String(name)),
               QStringLiteral("%1 semi-octets").arg(semiOctets));
    const qsizetype toaAt = r.pos;
    Address a;
    a.typeOfAddress = r.octet(field);
    if (r.trace)
        r.note(toaAt, QStringLiteral("%1 TOA").arg(QLatin1String(name)), toaMeaning(a.typeOfAddress));
    const int octets = (semiOctets + 1) / 2;
    const qsizetype valueAt = r.pos;
    const quint8 *value = r.take(octets, field);
    a.number = addressValue(a.typeOfAddress, value, semiOctets, octets);
    if (r.trace)
        r.note(valueAt, QStringLiteral("%1 number").arg(QLatin1String(name)),
               a.isAlphanumeric() ? QStringLiteral("\"%1\"").arg(a.number) : a.number);
    return a;
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

void writeBcd(Writer &w, const Digits &d)
{
    for (int i = 0; i < d.count; i += 2)
        w.put(quint8(d.nibble[i] | ((i + 1 < d.count ? d.nibble[i + 1] : 0x0F) << 4)));
}

void writeSubmitSmsc(Writer &w, const QString &smsc)
{
    if (smsc.isEmpty()) {
        w.put(0x00);   // 27.005 3.3.1: the centre set with +CSCA
        return;
    }
    const Digits d = parseNumber(smsc, "SMSC");
    w.put(quint8(1 + (d.count + 1) / 2));
    w.put(d.international ? 0x91 : 0x81);
    writeBcd(w, d);
}

void writeDestination(Writer &w, const QString &number)
{
    const Digits d = parseNumber(number, "destination");
    w.put(quint8(d.count));
    w.put(d.international ? 0x91 : 0x81);
    writeBcd(w, d);
}

// Originator, recipient or SMSC of a PDU the virtual modem fabricates: numeric with the TOA
// following the '+', or alphanumeric when the TOA says so.
void writeAddress(Writer &w, const Address &a, bool smscField, const char *role)
{
    if (smscField && a.number.isEmpty()) {
        w.put(0x00);
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
        w.put(smscField ? quint8(1 + octets) : quint8((septets.size() * 7 + 3) / 4));
        w.put(quint8(0x80 | (a.typeOfAddress & 0x7F)));
        w.put(packed, octets);
        return;
    }
    const Digits d = parseNumber(a.number, role);
    quint8 toa = quint8(0x80 | (a.typeOfAddress & 0x7F));
    if (d.international)
        toa = quint8(0x90 | (toa & 0x0F));
    else if ((toa & 0x70) == 0x10)
        toa = quint8(0x80 | (toa & 0x0F));   // no '+': not international whatever the TOA said
    w.put(smscField ? quint8(1 + (d.count + 1) / 2) : quint8(d.count));
    w.put(toa);
    writeBcd(w, d);
}

// ---------------------------------------------------------------------------------- timestamps

inline int bcdPair(quint8 octet)
{
    const int lo = octet & 0x0F;
    const int hi = octet >> 4;
    return (lo > 9 || hi > 9) ? -1 : lo * 10 + hi;
}

// TS 23.040 9.2.3.11. A field that is not BCD or not a date gives an invalid QDateTime: the rest
// of the message is still worth reading.
QDateTime timestampFrom(const quint8 *p)
{
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = bcdPair(p[i]);
        if (v[i] < 0)
            return {};
    }
    const int tzUnits = p[6] >> 4;
    if (tzUnits > 9)
        return {};
    const int quarters = (p[6] & 0x07) * 10 + tzUnits;
    const int offset = quarters * 15 * 60 * ((p[6] & 0x08) ? -1 : 1);
    const QDate date(v[0] < 90 ? 2000 + v[0] : 1900 + v[0], v[1], v[2]);
    const QTime time(v[3], v[4], v[5]);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

QString timestampMeaning(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QStringLiteral("not a valid date and time");
}

QDateTime readTimestamp(Reader &r, const char *field, const QString &name)
{
    const qsizetype start = r.pos;
    const QDateTime t = timestampFrom(r.take(7, field));
    if (r.trace)
        r.note(start, name, timestampMeaning(t));
    return t;
}

inline quint8 bcdOctet(int value)
{
    return quint8((value % 10) << 4 | (value / 10));
}

void writeTimestamp(Writer &w, const QDateTime &t, const char *what)
{
    if (!t.isValid())
        raise(ErrorCode::InvalidArgument, QStringLiteral("the %1 is not a valid date and time").arg(QLatin1String(what)));
    const QDate date = t.date();
    const QTime time = t.time();
    if (date.year() < 1990 || date.year() > 2089)
        raise(ErrorCode::InvalidArgument,
              QStringLiteral("the %1 year %2 is outside 1990..2089, which two digits can carry").arg(QLatin1String(what)).arg(date.year()));
    const int quarters = qRound(t.offsetFromUtc() / 900.0);
    if (quarters < -79 || quarters > 79)
        raise(ErrorCode::InvalidArgument, QStringLiteral("the %1 time zone is out of range").arg(QLatin1String(what)));
    w.put(bcdOctet(date.year() % 100));
    w.put(bcdOctet(date.month()));
    w.put(bcdOctet(date.day()));
    w.put(bcdOctet(time.hour()));
    w.put(bcdOctet(time.minute()));
    w.put(bcdOctet(time.second()));
    const int q = quarters < 0 ? -quarters : quarters;
    w.put(quint8((q % 10) << 4 | (q / 10) | (quarters < 0 ? 0x08 : 0x00)));
}

// ------------------------------------------------------------------------------------ DCS, PID

const char *alphabetName(int alphabet)
{
    switch (alphabet) {
    case Bit8: return "8-bit data";
    case Ucs2: return "UCS-2";
    default: return "GSM 7-bit";
    }
}

QString dcsMeaning(const DataCoding &c)
{
    static const char *const Classes[4] = {"class 0 (flash)", "class 1 (ME specific)", "class 2 (SIM specific)",
                                           "class 3 (TE specific)"};
    static const char *const Kinds[4] = {"voicemail", "fax", "e-mail", "other"};
    QString group;
    const int g = c.raw >> 4;
    if (g <= 3)
        group = QStringLiteral("general data coding");
    else if (g <= 7)
        group = QStringLiteral("automatic deletion");
    else if (g <= 0xB)
        group = QStringLiteral("reserved group, read as GSM 7-bit");
    else if (g <= 0xE)
        group = QStringLiteral("message waiting indication, %1").arg(QLatin1String(g == 0xC ? "discard message" : "store message"));
    else
        group = QStringLiteral("data coding/message class");
    QString s = QStringLiteral("%1: %2").arg(group, QLatin1String(alphabetName(c.alphabet)));
    if (c.compressed)
        s += QStringLiteral(", compressed");
    s += c.messageClass >= 0 ? QStringLiteral(", %1").arg(QLatin1String(Classes[c.messageClass])) : QStringLiteral(", no class");
    if (c.messageWaiting)
        s += QStringLiteral(", %1 indication %2").arg(QLatin1String(Kinds[c.messageWaitingKind]),
                                                       QLatin1String(c.messageWaitingActive ? "set" : "cleared"));
    return s;
}

QString pidMeaning(quint8 pid)
{
    if (pid == 0x00)
        return QStringLiteral("plain short message");
    if ((pid & 0xE0) == 0x20)
        return QStringLiteral("telematic interworking, device 0x%1").arg(octetHex(pid & 0x1F));
    if (pid == 0x40)
        return QStringLiteral("short message type 0 (acknowledged, not stored)");
    if (pid >= 0x41 && pid <= 0x47)
        return QStringLiteral("replace short message type %1").arg(pid - 0x40);
    switch (pid) {
    case 0x5E: return QStringLiteral("version 6 message");
    case 0x5F: return QStringLiteral("return call message");
    case 0x7C: return QStringLiteral("ANSI-136 R-DATA");
    case 0x7D: return QStringLiteral("ME data download");
    case 0x7E: return QStringLiteral("ME de-personalization");
    case 0x7F: return QStringLiteral("(U)SIM data download");
    default: break;
    }
    return (pid & 0xC0) == 0xC0 ? QStringLiteral("SC specific") : QStringLiteral("reserved");
}

quint8 readPid(Reader &r)
{
    const qsizetype start = r.pos;
    const quint8 pid = r.octet("TP-PID");
    if (r.trace)
        r.note(start, QStringLiteral("TP-PID"), pidMeaning(pid));
    return pid;
}

DataCoding readDcs(Reader &r)
{
    const qsizetype start = r.pos;
    const DataCoding c = decodeDataCoding(r.octet("TP-DCS"));
    if (r.trace)
        r.note(start, QStringLiteral("TP-DCS"), dcsMeaning(c));
    return c;
}

// --------------------------------------------------------------------------- user data header

const char *ieName(quint8 iei)
{
    switch (iei) {
    case 0x00: return "concatenated message, 8-bit reference";
    case 0x01: return "special SMS message indication";
    case 0x04: return "application port, 8-bit";
    case 0x05: return "application port, 16-bit";
    case 0x06: return "SMSC control parameters";
    case 0x07: return "UDH source indicator";
    case 0x08: return "concatenated message, 16-bit reference";
    case 0x09: return "wireless control message protocol";
    case 0x0A: return "text formatting";
    case 0x16: return "compression control";
    case 0x20: return "RFC 822 e-mail header";
    case 0x22: return "reply address";
    case 0x23: return "enhanced voice mail information";
    case 0x24: return "national language single shift (not applied)";
    case 0x25: return "national language locking shift (not applied)";
    default: break;
    }
    if (iei >= 0x0B && iei <= 0x1F)
        return "EMS object";
    if (iei >= 0x70 && iei <= 0x7F)
        return "SIM toolkit security header";
    if (iei >= 0x80 && iei <= 0x9F)
        return "SME to SME specific";
    if (iei >= 0xC0 && iei <= 0xDF)
        return "SC specific";
    return "reserved";
}

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

// The structural fault of a header (its length octet included), or an empty text.
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

QString ieMeaning(quint8 iei, const quint8 *d, int length)
{
    QString s = QLatin1String(ieName(iei));
    if (iei == 0x00 && length == 3)
        s += QStringLiteral(": reference %1, part %2 of %3").arg(d[0]).arg(d[2]).arg(d[1]);
    else if (iei == 0x08 && length == 4)
        s += QStringLiteral(": reference %1, part %2 of %3").arg(d[0] << 8 | d[1]).arg(d[3]).arg(d[2]);
    else if (iei == 0x04 && length == 2)
        s += QStringLiteral(": destination port %1, source port %2").arg(d[0]).arg(d[1]);
    else if (iei == 0x05 && length == 4)
        s += QStringLiteral(": destination port %1, source port %2").arg(d[0] << 8 | d[1]).arg(d[2] << 8 | d[3]);
    return s;
}

void traceHeader(Reader &r, qsizetype start, qsizetype size)
{
    const quint8 *h = r.data + start;
    r.trace->append(PduField{QStringLiteral("UDH length"), toHex(h, 1), QStringLiteral("%1 octets of information elements").arg(h[0])});
    const QString fault = headerFault(h, size);
    qsizetype i = 1;
    while (i + 1 < size && size - i - 2 >= h[i + 1]) {
        const int length = h[i + 1];
        r.trace->append(PduField{QStringLiteral("UDH IE 0x%1").arg(octetHex(h[i])), toHex(h + i, 2 + length),
                                 ieMeaning(h[i], h + i + 2, length)});
        i += 2 + length;
    }
    if (!fault.isEmpty())
        r.trace->append(PduField{QStringLiteral("UDH fault"), toHex(h + i, size - i), fault});
}

// ----------------------------------------------------------------------------------- user data

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

struct UserDataIn
{
    QByteArray udh;
    QByteArray userData;
    QString text;
};

// TP-UDL and TP-UD (TS 23.040 9.2.3.16, 9.2.3.24): the length counts septets for uncompressed
// 7-bit text, octets otherwise, header and fill bits included.
UserDataIn readUserData(Reader &r, const DataCoding &dcs, bool udhi)
{
    UserDataIn in;
    const qsizetype udlAt = r.pos;
    const quint8 udl = r.octet("TP-UDL");
    const bool septets = dcs.alphabet == Gsm7 && !dcs.compressed;
    if (septets && udl > MaxSeptets)
        malformed(QStringLiteral("TP-UDL %1 at octet %2 exceeds %3 septets").arg(udl).arg(udlAt).arg(MaxSeptets));
    if (!septets && udl > MaxUserDataOctets)
        malformed(QStringLiteral("TP-UDL %1 at octet %2 exceeds %3 octets").arg(udl).arg(udlAt).arg(MaxUserDataOctets));
    if (r.trace)
        r.note(udlAt, QStringLiteral("TP-UDL"), QStringLiteral("%1 %2").arg(udl).arg(QLatin1String(septets ? "septets" : "octets")));
    const qsizetype octets = septets ? (udl * 7 + 7) / 8 : udl;
    const qsizetype udAt = r.pos;
    const quint8 *p = r.take(octets, "TP-UD");
    in.userData = QByteArray(reinterpret_cast<const char *>(p), octets);

    qsizetype headerOctets = 0;
    if (udhi) {
        if (octets == 0)
            malformed(QStringLiteral("TP-UDHI is set but the user data at octet %1 is empty").arg(udAt));
        headerOctets = p[0] + 1;
        if (headerOctets > octets)
            malformed(QStringLiteral("the user data header at octet %1 says %2 octets, but the user data holds %3")
                          .arg(udAt).arg(headerOctets).arg(octets));
        in.udh = QByteArray(reinterpret_cast<const char *>(p), headerOctets);
        if (r.trace)
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
    if (r.trace) {
        const QString meaning = dcs.compressed ? QStringLiteral("compressed (TS 23.042), not decoded")
                                               : QStringLiteral("\"%1\"").arg(in.text);
        r.trace->append(PduField{QStringLiteral("TP-UD"), toHex(body, bodyOctets), meaning});
    }
    return in;
}

struct UserDataOut
{
    quint8 udl = 0;
    int size = 0;
    quint8 octets[MaxUserDataOctets];
};

void setHeader(UserDataOut &ud, const QByteArray &udh)
{
    validateUserDataHeader(udh);
    if (udh.size() > MaxUserDataOctets)
        raise(ErrorCode::PduTooLong, QStringLiteral("the user data header alone takes %1 octets; a message holds %2")
                                         .arg(udh.size()).arg(MaxUserDataOctets));
    std::memcpy(ud.octets, udh.constData(), size_t(udh.size()));
    ud.size = int(udh.size());
}

// Header, fill bits up to the next septet boundary (TS 23.040 9.2.3.24), packed septets.
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

void checkAlphabet(int alphabet)
{
    if (alphabet != Gsm7 && alphabet != Bit8 && alphabet != Ucs2)
        raise(ErrorCode::InvalidAlphabet, QStringLiteral("alphabet %1; the codes are 7, 8 and 16").arg(alphabet));
}

// ------------------------------------------------------------------------------ first octet

const char *mtiName(int mti)
{
    static const char *const Names[4] = {"SMS-DELIVER", "SMS-SUBMIT", "SMS-STATUS-REPORT", "reserved"};
    return Names[mti & 3];
}

// The PDU up to and including the first octet; checks that the message type is the one wanted.
struct Start
{
    Address smsc;
    quint8 firstOctet = 0;
};

Start readStart(Reader &r, bool hasSmsc, int wantedMti)
{
    Start s;
    if (hasSmsc)
        s.smsc = readSmsc(r);
    const qsizetype at = r.pos;
    s.firstOctet = r.octet("the first octet (TP-MTI)");
    const int mti = s.firstOctet & 3;
    if (wantedMti >= 0 && mti != wantedMti)
        malformed(QStringLiteral("not an %1: TP-MTI at octet %2 is %3 (%4)")
                      .arg(QLatin1String(mtiName(wantedMti))).arg(at).arg(mti).arg(QLatin1String(mtiName(mti))));
    if (r.trace) {
        const quint8 fo = s.firstOctet;
        QString bits = QStringLiteral("TP-MTI %1 %2").arg(mti).arg(QLatin1String(mtiName(mti)));
        auto bit = [&](const char *name, int mask, const char *on, const char *off) {
            bits += QStringLiteral(", %1 %2 (%3)").arg(QLatin1String(name)).arg((fo & mask) ? 1 : 0).arg(QLatin1String((fo & mask) ? on : off));
        };
        if (mti == 1) {
            bit("TP-RD", 0x04, "reject duplicates", "accept duplicates");
            static const char *const Formats[4] = {"none", "enhanced", "relative", "absolute"};
            bits += QStringLiteral(", TP-VPF %1 (%2)").arg((fo >> 3) & 3).arg(QLatin1String(Formats[(fo >> 3) & 3]));
            bit("TP-SRR", 0x20, "status report requested", "no status report");
        } else {
            bit("TP-MMS", 0x04, "no more messages", "more messages waiting");
            if (mti == 0)
                bit("TP-SRI", 0x20, "status report will be returned", "no status report");
            else
                bit("TP-SRQ", 0x20, "report of an SMS-COMMAND", "report of an SMS-SUBMIT");
        }
        bit("TP-UDHI", 0x40, "user data header", "no header");
        if (mti != 2)
            bit("TP-RP", 0x80, "reply path", "no reply path");
        r.note(at, QStringLiteral("First octet"), bits);
    }
    return s;
}

quint8 readReference(Reader &r)
{
    const qsizetype at = r.pos;
    const quint8 mr = r.octet("TP-MR");
    if (r.trace)
        r.note(at, QStringLiteral("TP-MR"), QString::number(mr));
    return mr;
}

// ------------------------------------------------------------------------------------ decoders

void readValidity(Reader &r, int format, SubmitPdu &pdu)
{
    const qsizetype at = r.pos;
    QString meaning;
    switch (format) {
    case 0:
        return;
    case 2: {
        const quint8 vp = r.octet("TP-VP (relative)");
        pdu.validityMinutes = relativeToMinutes(vp);
        if (r.trace)
            meaning = QStringLiteral("relative, %1 minutes").arg(*pdu.validityMinutes);
        break;
    }
    case 3:
        pdu.validityUntil = timestampFrom(r.take(7, "TP-VP (absolute)"));
        if (r.trace)
            meaning = QStringLiteral("absolute, until %1").arg(timestampMeaning(pdu.validityUntil));
        break;
    default: {
        // TS 23.040 9.2.3.12.3, enhanced format: a functionality octet, then the period.
        const quint8 *p = r.take(7, "TP-VP (enhanced)");
        switch (p[0] & 0x07) {
        case 1:
            pdu.validityMinutes = relativeToMinutes(p[1]);
            break;
        case 2:
            pdu.validityMinutes = (p[1] + 59) / 60;
            break;
        case 3: {
            const int h = bcdPair(p[1]), m = bcdPair(p[2]), s = bcdPair(p[3]);
            if (h >= 0 && m >= 0 && s >= 0)
                pdu.validityMinutes = h * 60 + m + (s > 0 ? 1 : 0);
            break;
        }
        default:
            break;
        }
        if (r.trace)
            meaning = pdu.validityMinutes ? QStringLiteral("enhanced, %1 minutes").arg(*pdu.validityMinutes)
                                          : QStringLiteral("enhanced, no period this codec reads");
        break;
    }
    }
    if (r.trace)
        r.note(at, QStringLiteral("TP-VP"), meaning);
}

// An SMS-DELIVER or SMS-STATUS-REPORT keeps the user data as carried besides its meaning.
template <typename Pdu>
void keepUserData(Pdu &pdu, UserDataIn &&ud)
{
    pdu.udh = std::move(ud.udh);
    pdu.userData = std::move(ud.userData);
    pdu.text = std::move(ud.text);
}

SubmitPdu readSubmit(Reader &r, bool hasSmsc)
{
    SubmitPdu pdu;
    const Start s = readStart(r, hasSmsc, 1);
    pdu.smsc = s.smsc.number;
    const quint8 fo = s.firstOctet;
    pdu.rejectDuplicates = fo & 0x04;
    pdu.statusReportRequest = fo & 0x20;
    pdu.replyPath = fo & 0x80;
    pdu.messageReference = readReference(r);
    pdu.destination = readAddress(r, "TP-DA", "TP-DA").number;
    pdu.protocolId = readPid(r);
    const DataCoding dcs = readDcs(r);
    pdu.alphabet = dcs.alphabet;
    pdu.messageClass = dcs.messageClass;
    readValidity(r, (fo >> 3) & 3, pdu);
    UserDataIn ud = readUserData(r, dcs, fo & 0x40);
    pdu.udh = std::move(ud.udh);
    pdu.text = std::move(ud.text);
    return pdu;
}

DeliverPdu readDeliver(Reader &r, bool hasSmsc)
{
    DeliverPdu pdu;
    const Start s = readStart(r, hasSmsc, 0);
    pdu.smsc = s.smsc;
    const quint8 fo = s.firstOctet;
    pdu.moreMessagesToSend = !(fo & 0x04);
    pdu.statusReportIndication = fo & 0x20;
    pdu.replyPath = fo & 0x80;
    pdu.originator = readAddress(r, "TP-OA", "TP-OA");
    pdu.protocolId = readPid(r);
    pdu.dcs = readDcs(r);
    pdu.timestamp = readTimestamp(r, "TP-SCTS", QStringLiteral("TP-SCTS"));
    keepUserData(pdu, readUserData(r, pdu.dcs, fo & 0x40));
    return pdu;
}

StatusReportPdu readStatusReport(Reader &r, bool hasSmsc)
{
    StatusReportPdu pdu;
    const Start s = readStart(r, hasSmsc, 2);
    pdu.smsc = s.smsc;
    const quint8 fo = s.firstOctet;
    pdu.moreMessagesToSend = !(fo & 0x04);
    pdu.fromCommand = fo & 0x20;
    pdu.messageReference = readReference(r);
    pdu.recipient = readAddress(r, "TP-RA", "TP-RA");
    pdu.timestamp = readTimestamp(r, "TP-SCTS", QStringLiteral("TP-SCTS"));
    pdu.dischargeTime = readTimestamp(r, "TP-DT", QStringLiteral("TP-DT"));
    const qsizetype stAt = r.pos;
    pdu.status = r.octet("TP-ST");
    pdu.statusText = statusText(pdu.status);
    if (r.trace)
        r.note(stAt, QStringLiteral("TP-ST"), pdu.statusText);
    if (r.pos == r.size)
        return pdu;   // TS 23.040 9.2.2.3: TP-PI and what it announces are optional
    const qsizetype piAt = r.pos;
    const quint8 pi = r.octet("TP-PI");
    // Bit 7 announces a further TP-PI octet; none is defined, so they are skipped.
    quint8 more = pi;
    while ((more & 0x80) && r.pos < r.size)
        more = r.octet("TP-PI");
    if (r.trace)
        r.note(piAt, QStringLiteral("TP-PI"), QStringLiteral("TP-PID %1, TP-DCS %2, TP-UDL %3")
                                                  .arg(QLatin1String((pi & 1) ? "present" : "absent"),
                                                       QLatin1String((pi & 2) ? "present" : "absent"),
                                                       QLatin1String((pi & 4) ? "present" : "absent")));
    if (pi & 0x01)
        pdu.protocolId = readPid(r);
    if (pi & 0x02)
        pdu.dcs = readDcs(r);
    if (pi & 0x04) {
        keepUserData(pdu, readUserData(r, pdu.dcs, fo & 0x40));
    }
    return pdu;
}

// One PDU of the hex form, read by `read` from its first octet.
template <typename Read>
auto decodeHex(const QByteArray &hex, bool hasSmsc, Read read)
{
    Bytes bytes;
    fromHex(hex, bytes);
    Reader r{bytes.constData(), bytes.size()};
    return read(r, hasSmsc);
}

QByteArray finishHex(const Writer &w)
{
    QByteArray hex;
    hex.reserve(2 * w.pos);
    appendHex(hex, w.buf, w.pos);
    return hex;
}

EncodedPdu assembleSubmit(const SubmitPdu &pdu, quint8 dcs, const UserDataOut &ud)
{
    Writer w;
    writeSubmitSmsc(w, pdu.smsc);
    const int tpduStart = w.pos;
    int vpf = 0;
    quint8 vp = 0;
    if (pdu.validityMinutes) {
        vpf = 2;
        vp = validityToRelative(*pdu.validityMinutes);
    } else if (pdu.validityUntil.isValid()) {
        vpf = 3;
    }
    quint8 fo = 0x01 | quint8(vpf << 3);
    if (pdu.rejectDuplicates)
        fo |= 0x04;
    if (pdu.statusReportRequest)
        fo |= 0x20;
    if (!pdu.udh.isEmpty())
        fo |= 0x40;
    if (pdu.replyPath)
        fo |= 0x80;
    w.put(fo);
    w.put(pdu.messageReference);
    writeDestination(w, pdu.destination);
    w.put(pdu.protocolId);
    w.put(dcs);
    if (vpf == 2)
        w.put(vp);
    else if (vpf == 3)
        writeTimestamp(w, pdu.validityUntil, "absolute validity");
    w.put(ud.udl);
    w.put(ud.octets, ud.size);

    EncodedPdu out;
    out.hex = finishHex(w);
    out.tpduLength = w.pos - tpduStart;
    out.userData = QByteArray(reinterpret_cast<const char *>(ud.octets), ud.size);
    return out;
}

QList<PduField> describeBytes(const Bytes &bytes, bool hasSmsc)
{
    QList<PduField> fields;
    Reader r{bytes.constData(), bytes.size(), 0, &fields};
    Reader probe{bytes.constData(), bytes.size()};
    if (hasSmsc)
        readSmsc(probe);
    const int mti = probe.octet("the first octet (TP-MTI)") & 3;
    switch (mti) {
    case 0: readDeliver(r, hasSmsc); break;
    case 1: readSubmit(r, hasSmsc); break;
    case 2: readStatusReport(r, hasSmsc); break;
    default:
        malformed(QStringLiteral("TP-MTI 3 is reserved: not a message this codec reads"));
    }
    if (r.pos < r.size)
        fields.append(PduField{QStringLiteral("Trailing"), toHex(r.data + r.pos, r.size - r.pos),
                               QStringLiteral("octets behind the user data, not part of the message")});
    return fields;
}

} // namespace

// ======================================================================================== API

DataCoding decodeDataCoding(quint8 dcs)
{
    DataCoding c;
    c.raw = dcs;
    const int group = dcs >> 4;
    if (group <= 0x7) {
        // 00xx general data coding, 01xx the same with automatic deletion (TS 23.038 4).
        c.compressed = dcs & 0x20;
        if (dcs & 0x10)
            c.messageClass = dcs & 0x03;
        static constexpr int Alphabets[4] = {Gsm7, Bit8, Ucs2, Gsm7};   // 11 reserved: 7-bit
        c.alphabet = Alphabets[(dcs >> 2) & 0x03];
    } else if (group <= 0xB) {
        c.alphabet = Gsm7;   // reserved groups: "assumed to be the GSM 7 bit default alphabet"
    } else if (group <= 0xE) {
        c.alphabet = group == 0xE ? Ucs2 : Gsm7;
        c.messageWaiting = true;
        c.messageWaitingActive = dcs & 0x08;
        c.messageWaitingKind = dcs & 0x03;
    } else {
        c.alphabet = (dcs & 0x04) ? Bit8 : Gsm7;
        c.messageClass = dcs & 0x03;
    }
    return c;
}

quint8 encodeDataCoding(int alphabet, int messageClass)
{
    checkAlphabet(alphabet);
    if (messageClass < -1 || messageClass > 3)
        raise(ErrorCode::InvalidMessageClass, QStringLiteral("message class %1; the classes are 0..3, -1 for none").arg(messageClass));
    if (messageClass < 0)
        return alphabet == Gsm7 ? 0x00 : alphabet == Bit8 ? 0x04 : 0x08;
    // Group 1111 for 7-bit and 8-bit as gammu writes it; UCS-2 exists only in the general group.
    return quint8((alphabet == Gsm7 ? 0xF0 : alphabet == Bit8 ? 0xF4 : 0x18) | messageClass);
}

void validateUserDataHeader(const QByteArray &udh)
{
    const QString fault = headerFault(reinterpret_cast<const quint8 *>(udh.constData()), udh.size());
    if (!fault.isEmpty())
        raise(ErrorCode::InvalidUserDataHeader, QStringLiteral("the header %1: %2").arg(QString::fromLatin1(udh.toHex().toUpper()), fault));
}

quint8 validityToRelative(int minutes)
{
    // TS 23.040 9.2.3.12.1: 5-minute steps to 12 h, 30-minute steps to 24 h, days to 30,
    // weeks to 63; a period between two steps takes the longer one.
    if (minutes < 0)
        raise(ErrorCode::InvalidValidity, QStringLiteral("%1 minutes; a validity period cannot be negative").arg(minutes));
    if (minutes <= 720)
        return quint8(minutes == 0 ? 0 : (minutes + 4) / 5 - 1);
    if (minutes <= 1440)
        return quint8(143 + (minutes - 720 + 29) / 30);
    if (minutes <= 30 * 1440)
        return quint8(166 + (minutes + 1439) / 1440);
    if (minutes >= 63 * 10080)
        return 255;
    return quint8(192 + (minutes + 10079) / 10080);
}

int relativeToMinutes(quint8 vp)
{
    if (vp <= 143)
        return (vp + 1) * 5;
    if (vp <= 167)
        return 720 + (vp - 143) * 30;
    if (vp <= 196)
        return (vp - 166) * 1440;
    return (vp - 192) * 10080;
}

QString statusText(quint8 status)
{
    // TS 23.040 9.2.3.15: four categories, each with named values, a reserved range and a
    // range the service centre defines.
    struct Category
    {
        const char *name;
        quint8 reservedFrom;
        quint8 specificFrom;
    };
    static constexpr Category Categories[4] = {
        {"transaction completed", 0x03, 0x10},
        {"temporary error, SC still trying", 0x26, 0x30},
        {"permanent error", 0x4A, 0x50},
        {"temporary error, SC not trying any more", 0x66, 0x70},
    };
    static const char *const Named[] = {
        "Short message received by the SME",
        "Short message forwarded by the SC to the SME but the SC is unable to confirm delivery",
        "Short message replaced by the SC",
    };
    static const char *const Temporary[] = {"Congestion", "SME busy", "No response from SME", "Service rejected",
                                            "Quality of service not available", "Error in SME"};
    static const char *const Permanent[] = {"Remote procedure error", "Incompatible destination",
                                            "Connection rejected by SME", "Not obtainable",
                                            "Quality of service not available", "No interworking available",
                                            "SM validity period expired", "SM deleted by originating SME",
                                            "SM deleted by SC administration", "SM does not exist"};
    if (status & 0x80)
        return QStringLiteral("Reserved");
    const Category &c = Categories[status >> 5];
    const int index = status & 0x1F;
    const QLatin1String category(c.name);
    if (status >= c.specificFrom)
        return QStringLiteral("SC specific (%1)").arg(category);
    if (status >= c.reservedFrom)
        return QStringLiteral("Reserved (%1)").arg(category);
    switch (status >> 5) {
    case 0: return QLatin1String(Named[index]);
    case 2: return QStringLiteral("%1 (%2)").arg(QLatin1String(Permanent[index]), category);
    default: return QStringLiteral("%1 (%2)").arg(QLatin1String(Temporary[index]), category);
    }
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

PduType pduType(const QByteArray &hex, bool hasSmsc)
{
    Bytes bytes;
    fromHex(hex, bytes);
    Reader r{bytes.constData(), bytes.size()};
    if (hasSmsc)
        readSmsc(r);
    const int mti = r.octet("the first octet (TP-MTI)") & 3;
    switch (mti) {
    case 0: return PduType::Deliver;
    case 1: return PduType::Submit;
    case 2: return PduType::StatusReport;
    default: break;
    }
    malformed(QStringLiteral("TP-MTI 3 is reserved: not a message this codec reads"));
}

int tpduLength(const QByteArray &hex)
{
    Bytes bytes;
    fromHex(hex, bytes);
    const quint8 smscLength = bytes[0];
    if (bytes.size() < 1 + smscLength + 1)
        malformed(QStringLiteral("truncated: the SMSC field says %1 octets and no TPDU follows").arg(smscLength));
    return int(bytes.size() - 1 - smscLength);
}

EncodedPdu encodeSubmit(const SubmitPdu &pdu)
{
    const quint8 dcs = encodeDataCoding(pdu.alphabet, pdu.messageClass);
    UserDataOut ud;
    buildUserData(ud, pdu.alphabet, pdu.text, pdu.udh);
    return assembleSubmit(pdu, dcs, ud);
}

SubmitPdu decodeSubmit(const QByteArray &hex, bool hasSmsc)
{
    return decodeHex(hex, hasSmsc, readSubmit);
}

DeliverPdu decodeDeliver(const QByteArray &hex, bool hasSmsc)
{
    return decodeHex(hex, hasSmsc, readDeliver);
}

StatusReportPdu decodeStatusReport(const QByteArray &hex, bool hasSmsc)
{
    return decodeHex(hex, hasSmsc, readStatusReport);
}

QByteArray encodeDeliver(const DeliverPdu &pdu)
{
    // The raw TP-DCS is kept when it agrees with the alphabet and class asked for (so that a
    // message-waiting or automatic-deletion coding survives), else built from them.
    checkAlphabet(pdu.dcs.alphabet);
    const DataCoding asRaw = decodeDataCoding(pdu.dcs.raw);
    const quint8 dcs = (asRaw.alphabet == pdu.dcs.alphabet && asRaw.messageClass == pdu.dcs.messageClass && !asRaw.compressed)
                           ? pdu.dcs.raw
                           : encodeDataCoding(pdu.dcs.alphabet, pdu.dcs.messageClass);
    UserDataOut ud;
    buildUserData(ud, pdu.dcs.alphabet, pdu.text, pdu.udh);

    Writer w;
    writeAddress(w, pdu.smsc, true, "SMSC");
    quint8 fo = 0x00;
    if (!pdu.moreMessagesToSend)
        fo |= 0x04;
    if (pdu.statusReportIndication)
        fo |= 0x20;
    if (!pdu.udh.isEmpty())
        fo |= 0x40;
    if (pdu.replyPath)
        fo |= 0x80;
    w.put(fo);
    writeAddress(w, pdu.originator, false, "originator");
    w.put(pdu.protocolId);
    w.put(dcs);
    writeTimestamp(w, pdu.timestamp, "service centre time stamp");
    w.put(ud.udl);
    w.put(ud.octets, ud.size);
    return finishHex(w);
}

QByteArray encodeStatusReport(const StatusReportPdu &pdu)
{
    Writer w;
    writeAddress(w, pdu.smsc, true, "SMSC");
    const bool withData = !pdu.text.isEmpty() || !pdu.udh.isEmpty();
    const bool withDcs = withData || pdu.dcs.raw != 0 || pdu.dcs.alphabet != Gsm7 || pdu.dcs.messageClass >= 0;
    quint8 fo = 0x02;
    if (!pdu.moreMessagesToSend)
        fo |= 0x04;
    if (pdu.fromCommand)
        fo |= 0x20;
    if (!pdu.udh.isEmpty())
        fo |= 0x40;
    w.put(fo);
    w.put(pdu.messageReference);
    writeAddress(w, pdu.recipient, false, "recipient");
    writeTimestamp(w, pdu.timestamp, "service centre time stamp");
    writeTimestamp(w, pdu.dischargeTime, "discharge time");
    w.put(pdu.status);
    if (pdu.protocolId == 0 && !withDcs)
        return finishHex(w);
    quint8 dcs = 0;
    UserDataOut ud;
    if (withDcs) {
        checkAlphabet(pdu.dcs.alphabet);
        const DataCoding asRaw = decodeDataCoding(pdu.dcs.raw);
        dcs = (asRaw.alphabet == pdu.dcs.alphabet && asRaw.messageClass == pdu.dcs.messageClass && !asRaw.compressed)
                  ? pdu.dcs.raw
                  : encodeDataCoding(pdu.dcs.alphabet, pdu.dcs.messageClass);
    }
    if (withData)
        buildUserData(ud, pdu.dcs.alphabet, pdu.text, pdu.udh);
    w.put(quint8((pdu.protocolId != 0 ? 0x01 : 0) | (withDcs ? 0x02 : 0) | (withData ? 0x04 : 0)));
    if (pdu.protocolId != 0)
        w.put(pdu.protocolId);
    if (withDcs)
        w.put(dcs);
    if (withData) {
        w.put(ud.udl);
        w.put(ud.octets, ud.size);
    }
    return finishHex(w);
}

QList<EncodedPdu> encodeLongSubmit(const SubmitPdu &base, quint8 concatReference)
{
    if (base.alphabet != Gsm7)
        raise(ErrorCode::InvalidAlphabet, QStringLiteral("long messages are split by septets: alphabet 7 only, not %1").arg(base.alphabet));
    if (!base.udh.isEmpty())
        raise(ErrorCode::InvalidUserDataHeader, QStringLiteral("a long message carries its own concatenation header; the given header must be empty"));
    const quint8 dcs = encodeDataCoding(base.alphabet, base.messageClass);
    SeptetBuffer septets;
    detail::encodeGsm7Into(base.text, septets);
    const qsizetype total = septets.size();
    QList<EncodedPdu> out;
    if (total <= MaxSeptets) {
        UserDataOut ud;
        packGsm7(ud, QByteArray(), septets.constData(), total);
        out.append(assembleSubmit(base, dcs, ud));
        return out;
    }
    // 153 septets per part behind the 6-octet header (7 septets with its fill bit), one fewer
    // where the 153rd would be the escape of a pair (TS 23.038 6.2.1.1: never split one).
    constexpr qsizetype PerPart = MaxSeptets - 7;
    QVarLengthArray<qsizetype, 64> cuts;
    qsizetype start = 0;
    while (start < total) {
        qsizetype end = qMin(start + PerPart, total);
        // The encoder writes 0x1B only as the first septet of a pair.
        if (end < total && septets[end - 1] == 0x1B)
            --end;
        cuts.append(end);
        start = end;
    }
    if (cuts.size() > 255)
        raise(ErrorCode::TooManyParts, QStringLiteral("the text takes %1 septets, %2 parts of at most %3; a concatenated message has at most 255")
                                           .arg(total).arg(cuts.size()).arg(PerPart));
    QByteArray header("\x05\x00\x03\x00\x00\x00", 6);
    header[3] = char(concatReference);
    header[4] = char(cuts.size());
    SubmitPdu part = base;
    start = 0;
    out.reserve(cuts.size());
    for (qsizetype i = 0; i < cuts.size(); ++i) {
        header[5] = char(i + 1);
        part.udh = header;
        UserDataOut ud;
        packGsm7(ud, header, septets.constData() + start, cuts[i] - start);
        out.append(assembleSubmit(part, dcs, ud));
        start = cuts[i];
    }
    return out;
}

QList<PduField> describePdu(const QByteArray &hex, bool hasSmsc)
{
    Bytes bytes;
    fromHex(hex, bytes);
    return describeBytes(bytes, hasSmsc);
}

} // namespace pellix::pdu
