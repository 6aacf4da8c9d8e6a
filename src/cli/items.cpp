// SPDX-License-Identifier: GPL-3.0-or-later
#include "items.h"

namespace cli::items {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString oneLine(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\n')
            line += QLatin1String("\\n");
        else if (c == u'\r')
            line += QLatin1String("\\r");
        else if (c.unicode() < 0x20 && c != u'\t')
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

QString messageText(qint32 alphabet, const QString &text)
{
    return alphabet == AlphabetBinary ? hex(text.toLatin1()) : text;
}

QJsonValue time(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toString(Qt::ISODate)) : QJsonValue();
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(Qt::ISODate) : QStringLiteral("-");
}

QJsonObject message(const ReceivedMessage &m)
{
    return {
        {QLatin1String("location"), m.SimLocation},
        {QLatin1String("new"), m.IsNew},
        {QLatin1String("from"), m.Originator.Number},
        {QLatin1String("time"), time(m.Timestamp)},
        {QLatin1String("alphabet"), m.Alphabet},
        {QLatin1String("class"), m.MessageClass},
        {QLatin1String("udh"), hex(m.Udh)},
        {QLatin1String("text"), messageText(m.Alphabet, m.Text)},
        {QLatin1String("serviceCenter"), m.ServiceCenter},
    };
}

QString messageLine(const ReceivedMessage &m)
{
    const QString udh = m.Udh.isEmpty() ? QString() : QStringLiteral("[%1]").arg(hex(m.Udh));
    return QStringLiteral("%1 %2 from %3 at %4: %5%6")
        .arg(m.SimLocation)
        .arg(m.IsNew ? QStringLiteral("new") : QStringLiteral("read"), oneLine(m.Originator.Number), timeText(m.Timestamp),
             udh, oneLine(messageText(m.Alphabet, m.Text)));
}

QJsonObject report(const SmsStatusReport &r)
{
    return {
        {QLatin1String("location"), r.SimLocation},
        {QLatin1String("reference"), r.Reference},
        {QLatin1String("recipient"), r.Recipient.Number},
        {QLatin1String("status"), r.Status},
        {QLatin1String("statusText"), r.StatusText},
        {QLatin1String("time"), time(r.Timestamp)},
        {QLatin1String("discharged"), time(r.DischargeTime)},
    };
}

QString reportLine(const SmsStatusReport &r)
{
    return QStringLiteral("%1 report on %2 to %3: %4 (status %5) at %6")
        .arg(r.SimLocation)
        .arg(r.Reference)
        .arg(oneLine(r.Recipient.Number), r.StatusText)
        .arg(r.Status)
        .arg(timeText(r.DischargeTime));
}

QJsonObject entry(const PhonebookEntry &e)
{
    return {
        {QLatin1String("index"), e.Index},
        {QLatin1String("name"), e.Name},
        {QLatin1String("number"), e.Number},
    };
}

QString entryLine(const PhonebookEntry &e)
{
    return QStringLiteral("%1 %2 %3").arg(e.Index).arg(oneLine(e.Number), oneLine(e.Name));
}

QJsonValue dbm(qint16 rssi)
{
    if (rssi < 0 || rssi > 31)
        return QJsonValue();
    return rssi == 0 ? -113 : -113 + 2 * rssi;
}

QString signalLine(qint16 rssi, qint16 ber)
{
    const QJsonValue level = dbm(rssi);
    const QString dbmText = level.isNull() ? QStringLiteral("unknown") : QStringLiteral("%1 dBm").arg(level.toInt());
    return QStringLiteral("rssi %1 (%2), ber %3").arg(rssi).arg(dbmText).arg(ber);
}

QJsonObject signal(qint16 rssi, qint16 ber)
{
    return {
        {QLatin1String("rssi"), rssi},
        {QLatin1String("ber"), ber},
        {QLatin1String("dbm"), dbm(rssi)},
    };
}

} // namespace cli::items
