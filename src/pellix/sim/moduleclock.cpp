// SPDX-License-Identifier: GPL-3.0-or-later
#include "moduleclock.h"

namespace pellix::sim {

namespace {

const QString TimeFormat = QStringLiteral("yy/MM/dd,hh:mm:ss");

} // namespace

QByteArray ModuleClock::read(const QDateTime &networkTime) const
{
    QDateTime now = networkTime.addSecs(m_offsetSecs);
    if (m_zoneSecs)
        now = now.toOffsetFromUtc(*m_zoneSecs);
    const int quarters = now.offsetFromUtc() / 900;
    return '"' + now.toString(TimeFormat).toLatin1() + (quarters < 0 ? '-' : '+')
        + QByteArray::number(qAbs(quarters)).rightJustified(2, '0') + '"';
}

bool ModuleClock::set(const QByteArray &text, const QDateTime &networkTime)
{
    if (text.size() != 20 || (text.at(17) != '+' && text.at(17) != '-'))
        return false;
    bool ok = false;
    const int quarters = text.mid(18).toInt(&ok);
    QDateTime set = QDateTime::fromString(QString::fromLatin1(text.left(17)), TimeFormat);
    if (!ok || !set.isValid() || quarters > 56)
        return false;
    // Two-digit years are this century's.
    set = QDateTime(set.date().addYears(set.date().year() < 2000 ? 100 : 0), set.time(), Qt::OffsetFromUTC,
                    (text.at(17) == '-' ? -quarters : quarters) * 900);
    m_offsetSecs = networkTime.secsTo(set);
    m_zoneSecs = set.offsetFromUtc();
    return true;
}

} // namespace pellix::sim
