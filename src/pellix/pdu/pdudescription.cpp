// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdudescription_p.h"

#include "pduaddress_p.h"
#include "pduuserdata_p.h"
#include "smspdu_p.h"

namespace pellix::pdu {

using namespace detail;

namespace {

const char *alphabetName(int alphabet)
{
    switch (alphabet) {
    case Bit8: return "8-bit data";
    case Ucs2: return "UCS-2";
    default: return "GSM 7-bit";
    }
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

QList<PduField> describeBytes(const Bytes &bytes, bool hasSmsc)
{
    QList<PduField> fields;
    PduReader r(bytes.constData(), bytes.size(), &fields);
    PduReader probe(bytes.constData(), bytes.size());
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
    if (r.pos() < r.size())
        fields.append(PduField{QStringLiteral("Trailing"), toHex(r.data() + r.pos(), r.size() - r.pos()),
                               QStringLiteral("octets behind the user data, not part of the message")});
    return fields;
}

} // namespace

namespace detail {

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

QString timestampMeaning(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QStringLiteral("not a valid date and time");
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

const char *mtiName(int mti)
{
    static const char *const Names[4] = {"SMS-DELIVER", "SMS-SUBMIT", "SMS-STATUS-REPORT", "reserved"};
    return Names[mti & 3];
}

QString firstOctetMeaning(quint8 fo)
{
    const int mti = fo & 3;
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
    return bits;
}

void traceHeader(PduReader &r, qsizetype start, qsizetype size)
{
    const quint8 *h = r.data() + start;
    r.addField(PduField{QStringLiteral("UDH length"), toHex(h, 1), QStringLiteral("%1 octets of information elements").arg(h[0])});
    const QString fault = headerFault(h, size);
    qsizetype i = 1;
    while (i + 1 < size && size - i - 2 >= h[i + 1]) {
        const int length = h[i + 1];
        r.addField(PduField{QStringLiteral("UDH IE 0x%1").arg(octetHex(h[i])), toHex(h + i, 2 + length),
                                 ieMeaning(h[i], h + i + 2, length)});
        i += 2 + length;
    }
    if (!fault.isEmpty())
        r.addField(PduField{QStringLiteral("UDH fault"), toHex(h + i, size - i), fault});
}

} // namespace detail

QList<PduField> describePdu(const QByteArray &hex, bool hasSmsc)
{
    Bytes bytes;
    fromHex(hex, bytes);
    return describeBytes(bytes, hasSmsc);
}

} // namespace pellix::pdu
