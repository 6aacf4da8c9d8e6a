// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdutime_p.h"

#include "pdudescription_p.h"
#include "pellixerror.h"

namespace pellix::pdu {

using namespace detail;

namespace {

int bcdPair(quint8 octet)
{
    const int lo = octet & 0x0F;
    const int hi = octet >> 4;
    return (lo > 9 || hi > 9) ? -1 : lo * 10 + hi;
}

// TS 23.040 9.2.3.11. A field that is not BCD or not a date gives an invalid QDateTime: the rest
// of the message is still worth reading. A zone octet that is not BCD or beyond the zones there
// are (±14 h; phones pad with FF) costs the zone only: the stamp is then the centre's wall clock,
// as local time.
QDateTime timestampFrom(const quint8 *p)
{
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = bcdPair(p[i]);
        if (v[i] < 0)
            return {};
    }
    const QDate date(v[0] < 90 ? 2000 + v[0] : 1900 + v[0], v[1], v[2]);
    const QTime time(v[3], v[4], v[5]);
    if (!date.isValid() || !time.isValid())
        return {};
    const int tzUnits = p[6] >> 4;
    const int quarters = (p[6] & 0x07) * 10 + tzUnits;
    if (tzUnits > 9 || quarters > 14 * 4)
        return QDateTime(date, time);
    const int offset = quarters * 15 * 60 * ((p[6] & 0x08) ? -1 : 1);
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

quint8 bcdOctet(int value)
{
    return quint8((value % 10) << 4 | (value / 10));
}

} // namespace

namespace detail {

QDateTime readTimestamp(PduReader &r, const char *field, const QString &name)
{
    const qsizetype start = r.pos();
    const quint8 *p = r.take(7, field);
    const QDateTime t = timestampFrom(p);
    if (r.tracing()) {
        const bool zoneLost = t.isValid() && t.timeSpec() == Qt::LocalTime;
        r.note(start, name, zoneLost ? QStringLiteral("%1, time zone octet %2 not valid").arg(timestampMeaning(t), octetHex(p[6]))
                                     : timestampMeaning(t));
    }
    return t;
}

void writeTimestamp(PduWriter &w, const QDateTime &t, const char *what)
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
    w.put(bcdOctet(date.year() % 100), what);
    w.put(bcdOctet(date.month()), what);
    w.put(bcdOctet(date.day()), what);
    w.put(bcdOctet(time.hour()), what);
    w.put(bcdOctet(time.minute()), what);
    w.put(bcdOctet(time.second()), what);
    const int q = quarters < 0 ? -quarters : quarters;
    w.put(quint8((q % 10) << 4 | (q / 10) | (quarters < 0 ? 0x08 : 0x00)), what);
}

void readValidity(PduReader &r, int format, SubmitPdu &pdu)
{
    const qsizetype at = r.pos();
    QString meaning;
    switch (format) {
    case 0:
        return;
    case 2: {
        const quint8 vp = r.octet("TP-VP (relative)");
        pdu.validityMinutes = relativeToMinutes(vp);
        if (r.tracing())
            meaning = QStringLiteral("relative, %1 minutes").arg(*pdu.validityMinutes);
        break;
    }
    case 3:
        pdu.validityUntil = timestampFrom(r.take(7, "TP-VP (absolute)"));
        if (r.tracing())
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
        if (r.tracing())
            meaning = pdu.validityMinutes ? QStringLiteral("enhanced, %1 minutes").arg(*pdu.validityMinutes)
                                          : QStringLiteral("enhanced, no period this codec reads");
        break;
    }
    }
    if (r.tracing())
        r.note(at, QStringLiteral("TP-VP"), meaning);
}

} // namespace detail

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

} // namespace pellix::pdu
