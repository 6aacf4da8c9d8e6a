// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdu.h"
#include "smspdu_p.h"

#include "gsmalphabet_p.h"
#include "pduaddress_p.h"
#include "pdudatacoding_p.h"
#include "pdudescription_p.h"
#include "pdutime_p.h"
#include "pduuserdata_p.h"
#include "pellixerror.h"

#include <QVarLengthArray>

namespace pellix::pdu {

using namespace detail;

namespace {

// The PDU up to and including the first octet; checks that the message type is the one wanted.
struct Start
{
    Address smsc;
    quint8 firstOctet = 0;
};

Start readStart(PduReader &r, bool hasSmsc, int wantedMti)
{
    Start s;
    if (hasSmsc)
        s.smsc = readSmsc(r);
    const qsizetype at = r.pos();
    s.firstOctet = r.octet("the first octet (TP-MTI)");
    const int mti = s.firstOctet & 3;
    if (wantedMti >= 0 && mti != wantedMti)
        malformed(QStringLiteral("not an %1: TP-MTI at octet %2 is %3 (%4)")
                      .arg(QLatin1String(mtiName(wantedMti))).arg(at).arg(mti).arg(QLatin1String(mtiName(mti))));
    if (r.tracing())
        r.note(at, QStringLiteral("First octet"), firstOctetMeaning(s.firstOctet));
    return s;
}

quint8 readReference(PduReader &r)
{
    const qsizetype at = r.pos();
    const quint8 mr = r.octet("TP-MR");
    if (r.tracing())
        r.note(at, QStringLiteral("TP-MR"), QString::number(mr));
    return mr;
}

// An SMS-DELIVER or SMS-STATUS-REPORT keeps the user data as carried besides its meaning.
template <typename Pdu>
void keepUserData(Pdu &pdu, UserDataIn &&ud)
{
    pdu.udh = std::move(ud.udh);
    pdu.userData = std::move(ud.userData);
    pdu.text = std::move(ud.text);
}

// TP-PI and the fields it announces (TS 23.040 9.2.2.3); false when the TP-PI sets reserved bits,
// which a receiver ignores (TS 23.040 9.2.3.27), and with them what the octet would announce.
bool readReportTail(PduReader &r, StatusReportPdu &pdu, bool udhi)
{
    const qsizetype piAt = r.pos();
    const quint8 pi = r.octet("TP-PI");
    if (pi & 0x78)
        return false;
    // Bit 7 announces a further TP-PI octet; none is defined, so they are skipped.
    quint8 more = pi;
    while (more & 0x80)
        more = r.octet("TP-PI");
    if (r.tracing())
        r.note(piAt, QStringLiteral("TP-PI"), QStringLiteral("TP-PID %1, TP-DCS %2, TP-UDL %3")
                                                  .arg(QLatin1String((pi & 1) ? "present" : "absent"),
                                                       QLatin1String((pi & 2) ? "present" : "absent"),
                                                       QLatin1String((pi & 4) ? "present" : "absent")));
    if (pi & 0x01)
        pdu.protocolId = readPid(r);
    if (pi & 0x02)
        pdu.dcs = readDcs(r);
    if (pi & 0x04)
        keepUserData(pdu, readUserData(r, pdu.dcs, udhi));
    return true;
}

// One PDU of the hex form, read by `read` from its first octet.
template <typename Read>
auto decodeHex(const QByteArray &hex, bool hasSmsc, Read read)
{
    Bytes bytes;
    fromHex(hex, bytes);
    PduReader r(bytes.constData(), bytes.size());
    return read(r, hasSmsc);
}

EncodedPdu assembleSubmit(const SubmitPdu &pdu, quint8 dcs, const UserDataOut &ud)
{
    PduWriter w;
    writeSubmitSmsc(w, pdu.smsc);
    const int tpduStart = w.size();
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
    w.put(fo, "the first octet");
    w.put(pdu.messageReference, "TP-MR");
    writeDestination(w, pdu.destination);
    w.put(pdu.protocolId, "TP-PID");
    w.put(dcs, "TP-DCS");
    if (vpf == 2)
        w.put(vp, "TP-VP");
    else if (vpf == 3)
        writeTimestamp(w, pdu.validityUntil, "absolute validity");
    w.put(ud.udl, "TP-UDL");
    w.put(ud.octets, ud.size, "TP-UD");

    EncodedPdu out;
    out.hex = w.hex();
    out.tpduLength = w.size() - tpduStart;
    out.userData = QByteArray(reinterpret_cast<const char *>(ud.octets), ud.size);
    return out;
}

} // namespace

namespace detail {

SubmitPdu readSubmit(PduReader &r, bool hasSmsc)
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

DeliverPdu readDeliver(PduReader &r, bool hasSmsc)
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

StatusReportPdu readStatusReport(PduReader &r, bool hasSmsc)
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
    const qsizetype stAt = r.pos();
    pdu.status = r.octet("TP-ST");
    pdu.statusText = statusText(pdu.status);
    if (r.tracing())
        r.note(stAt, QStringLiteral("TP-ST"), pdu.statusText);
    if (r.pos() == r.size())
        return pdu;   // TS 23.040 9.2.2.3: TP-PI and what it announces are optional
    // Phones store reports padded to the SIM record (FF), cut short, or with a tail that
    // contradicts itself. The report is its mandatory part: a tail that does not read is
    // dropped, never the report.
    const qsizetype tailAt = r.pos();
    const qsizetype traced = r.traceSize();
    PduReader tail = r;
    QString ignored;
    try {
        if (readReportTail(tail, pdu, fo & 0x40))
            r = tail;
        else
            ignored = QStringLiteral("TP-PI %1 sets reserved bits (padding, TS 23.040 9.2.3.27)").arg(octetHex(r.data()[tailAt]));
    } catch (const RaisedError &error) {
        if (error.number() != libraryErrorNumber(quint16(ErrorCode::MalformedPdu)))
            throw;
        ignored = error.description();
    }
    if (!ignored.isEmpty()) {
        pdu.protocolId = 0;
        pdu.dcs = DataCoding();
        pdu.udh.clear();
        pdu.userData.clear();
        pdu.text.clear();
        r.dropTraceFrom(traced);
        r.take(r.size() - tailAt, "the optional part");
        if (r.tracing())
            r.note(tailAt, QStringLiteral("Optional part"), QStringLiteral("ignored: %1").arg(ignored));
    }
    return pdu;
}

} // namespace detail

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

PduType pduType(const QByteArray &hex, bool hasSmsc)
{
    Bytes bytes;
    fromHex(hex, bytes);
    PduReader r(bytes.constData(), bytes.size());
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
    const quint8 dcs = writtenDataCoding(pdu.dcs);
    UserDataOut ud;
    buildUserData(ud, pdu.dcs.alphabet, pdu.text, pdu.udh);

    PduWriter w;
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
    w.put(fo, "the first octet");
    writeAddress(w, pdu.originator, false, "originator");
    w.put(pdu.protocolId, "TP-PID");
    w.put(dcs, "TP-DCS");
    writeTimestamp(w, pdu.timestamp, "service centre time stamp");
    w.put(ud.udl, "TP-UDL");
    w.put(ud.octets, ud.size, "TP-UD");
    return w.hex();
}

QByteArray encodeStatusReport(const StatusReportPdu &pdu)
{
    PduWriter w;
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
    w.put(fo, "the first octet");
    w.put(pdu.messageReference, "TP-MR");
    writeAddress(w, pdu.recipient, false, "recipient");
    writeTimestamp(w, pdu.timestamp, "service centre time stamp");
    writeTimestamp(w, pdu.dischargeTime, "discharge time");
    w.put(pdu.status, "TP-ST");
    if (pdu.protocolId == 0 && !withDcs)
        return w.hex();
    const quint8 dcs = withDcs ? writtenDataCoding(pdu.dcs) : 0;
    UserDataOut ud;
    if (withData)
        buildUserData(ud, pdu.dcs.alphabet, pdu.text, pdu.udh);
    w.put(quint8((pdu.protocolId != 0 ? 0x01 : 0) | (withDcs ? 0x02 : 0) | (withData ? 0x04 : 0)), "TP-PI");
    if (pdu.protocolId != 0)
        w.put(pdu.protocolId, "TP-PID");
    if (withDcs)
        w.put(dcs, "TP-DCS");
    if (withData) {
        w.put(ud.udl, "TP-UDL");
        w.put(ud.octets, ud.size, "TP-UD");
    }
    return w.hex();
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

} // namespace pellix::pdu
