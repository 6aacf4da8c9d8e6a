// SPDX-License-Identifier: GPL-3.0-or-later
#include "cnmichoice.h"

#include <QByteArrayView>

namespace pellix {
namespace {

enum Parameter { Mode, Mt, Bm, Ds, Bfr, ParameterCount };

// "0-1,3" -> 0, 1, 3. Anything that is not a number or a range leaves the list empty (unknown).
QList<int> parseList(QByteArrayView text)
{
    QList<int> values;
    for (const QByteArray &item : text.toByteArray().split(',')) {
        const QByteArray part = item.trimmed();
        const qsizetype dash = part.indexOf('-');
        bool okLow = false;
        bool okHigh = false;
        const int low = (dash < 0 ? part : part.left(dash)).toInt(&okLow);
        const int high = dash < 0 ? low : part.mid(dash + 1).toInt(&okHigh);
        if (!okLow || (dash >= 0 && !okHigh) || high < low || high - low > 255)
            return {};
        for (int v = low; v <= high; ++v)
            values << v;
    }
    return values;
}

// The order in which each parameter's values are tried; the wanted value comes first.
QList<int> preferences(int parameter, CnmiPurpose purpose)
{
    switch (parameter) {
    case Mode:
        // 0 keeps every indication inside the modem: only as the last resort of a storing setting.
        return purpose == CnmiPurpose::Live ? QList<int>{2, 1, 3} : QList<int>{2, 1, 3, 0};
    case Mt:
        return purpose == CnmiPurpose::Live ? QList<int>{1, 2, 3, 0} : QList<int>{1, 0};
    case Bm:
        return {0};
    case Ds:
        if (purpose == CnmiPurpose::Live)
            return {2, 1, 0};
        // Where reports cannot be stored, a storing setting routes them rather than drops them
        // (the profiles' choice for receive mode 0), except when nobody will be there to read.
        return purpose == CnmiPurpose::Stored ? QList<int>{2, 1, 0} : QList<int>{2, 0};
    default:
        return {0, 1};
    }
}

} // namespace

TestRanges TestRanges::parse(const QByteArray &line, const QByteArray &prefix)
{
    TestRanges ranges;
    QByteArray text = line.trimmed();
    if (!text.startsWith(prefix))
        return ranges;
    text = text.mid(prefix.size()).trimmed();
    if (text.contains('(')) {
        // One group per parameter; an empty group "()" is a parameter the modem does not take.
        qsizetype at = 0;
        while ((at = text.indexOf('(', at)) >= 0) {
            const qsizetype end = text.indexOf(')', at);
            if (end < 0)
                return {};
            ranges.values << parseList(QByteArrayView(text).sliced(at + 1, end - at - 1));
            at = end + 1;
        }
    } else {
        // Some modems leave the parentheses out when each parameter is a single value or range.
        for (const QByteArray &item : text.split(','))
            ranges.values << parseList(item);
    }
    return ranges;
}

bool TestRanges::accepts(int parameter, int value) const
{
    if (parameter >= values.size() || values.at(parameter).isEmpty())
        return true;
    return values.at(parameter).contains(value);
}

CnmiValues cnmiValues(const QByteArray &setting)
{
    CnmiValues values;
    for (const QByteArray &item : setting.split(',')) {
        bool ok = false;
        const int v = item.trimmed().toInt(&ok);
        if (!ok)
            return {};
        values << v;
    }
    return values;
}

QByteArray cnmiText(const CnmiValues &values)
{
    QByteArrayList items;
    for (int v : values)
        items << QByteArray::number(v);
    return items.join(',');
}

bool cnmiRoutes(const CnmiValues &values)
{
    return (values.size() > Mt && (values.at(Mt) == 2 || values.at(Mt) == 3))
        || (values.size() > Ds && values.at(Ds) == 1);
}

CnmiValues closestCnmi(const CnmiValues &wanted, const TestRanges &support, CnmiPurpose purpose, bool acknowledged)
{
    CnmiValues values = wanted;
    if (purpose == CnmiPurpose::Closing) {
        // <mt> and <ds> must be given for the setting to say anything about storing.
        static const CnmiValues defaults{2, 1, 0, 2};
        for (qsizetype i = values.size(); i < defaults.size(); ++i)
            values << defaults.at(i);
        values[Mt] = 1;
        values[Ds] = 2;
    } else if (purpose == CnmiPurpose::Live && !acknowledged) {
        // Unacknowledged routing loses what reaches a closed port: store and indicate instead.
        // <mt> 1 is in every modem; <ds> 2 only where the modem says it has it.
        if (values.size() > Mt && (values.at(Mt) == 2 || values.at(Mt) == 3))
            values[Mt] = 1;
        if (values.size() > Ds && values.at(Ds) == 1 && support.known() && support.accepts(Ds, 2))
            values[Ds] = 2;
    }
    for (int p = 0; p < values.size() && p < ParameterCount; ++p) {
        if (support.accepts(p, values.at(p)))
            continue;
        for (int candidate : preferences(p, purpose)) {
            if (support.accepts(p, candidate)) {
                values[p] = candidate;
                break;
            }
        }
    }
    return values;
}

} // namespace pellix
