// SPDX-License-Identifier: GPL-3.0-or-later
#include "atreplies.h"

#include <QStringDecoder>

namespace pellix::replies {
namespace {

// A number and its <type> (27.007 7.1 / 8.12). Without a type the "+" decides.
void readNumber(const QList<QByteArray> &f, int index, QString &number, int &type)
{
    number = QString::fromLatin1(f.value(index));
    type = replies::number(f, index + 1).value_or(number.startsWith(QLatin1Char('+')) ? 145 : 129);
    number = internationalNumber(number, type);
}

} // namespace

QList<QByteArray> fields(const QByteArray &line, const QByteArray &prefix)
{
    QList<QByteArray> result;
    QByteArray body = line.trimmed();
    if (!prefix.isEmpty()) {
        if (!body.startsWith(prefix))
            return result;
        body = body.mid(prefix.size());
        if (body.startsWith(':'))
            body = body.mid(1);
    }
    QByteArray field;
    bool inQuotes = false;
    bool wasQuoted = false;
    for (char c : body) {
        if (c == '"') {
            inQuotes = !inQuotes;
            wasQuoted = true;
        } else if (c == ',' && !inQuotes) {
            result << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else if (inQuotes || !(c == ' ' && field.isEmpty())) {
            field += c;
        }
    }
    result << (wasQuoted ? field : field.trimmed());
    return result;
}

QList<QList<QByteArray>> storageLists(const QByteArray &line)
{
    QList<QList<QByteArray>> lists;
    const qsizetype colon = line.indexOf(':');
    if (!line.startsWith("+CPMS") || colon < 0)
        return lists;
    // Each innermost parenthesis is one list, however many levels enclose it.
    QList<QByteArray> current;
    QByteArray name;
    bool open = false;
    bool inQuotes = false;
    for (char c : line.mid(colon + 1)) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (inQuotes) {
            name += c;
        } else if (c == '(') {
            open = true;
            current.clear();
            name.clear();
        } else if (open && (c == ',' || c == ')')) {
            if (!name.trimmed().isEmpty())
                current << name.trimmed().toUpper();
            name.clear();
            if (c == ')') {
                lists << current;
                open = false;
            }
        } else if (open) {
            name += c;
        }
    }
    return lists;
}

std::optional<int> number(const QList<QByteArray> &fields, int index)
{
    if (index < 0 || index >= fields.size())
        return std::nullopt;
    bool ok = false;
    const int value = fields.at(index).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<SignalQuality> signalQuality(const QByteArray &line)
{
    const auto f = fields(line, "+CSQ");
    const auto rssi = number(f, 0);
    const auto ber = number(f, 1);
    if (!rssi || !ber)
        return std::nullopt;
    return SignalQuality{*rssi, *ber};
}

std::optional<int> messageReference(const QByteArray &line)
{
    const auto mr = number(fields(line, "+CMGS"), 0);
    if (!mr || *mr < 0 || *mr > 255)
        return std::nullopt;
    return mr;
}

std::optional<ListedMessage> listedMessage(const QByteArray &line)
{
    const auto f = fields(line, "+CMGL");
    // <index>,<stat>,[<alpha>],<length>; some modems leave <alpha> out entirely.
    const auto index = number(f, 0);
    const auto stat = number(f, 1);
    const auto length = number(f, int(f.size()) - 1);
    if (!index || !stat || f.size() < 3 || !length)
        return std::nullopt;
    return ListedMessage{*index, *stat, *length};
}

std::optional<ListedMessage> readMessage(const QByteArray &line)
{
    const auto f = fields(line, "+CMGR");
    const auto stat = number(f, 0);
    const auto length = number(f, int(f.size()) - 1);
    if (!stat || f.size() < 2 || !length)
        return std::nullopt;
    return ListedMessage{-1, *stat, *length};
}

std::optional<PhonebookRow> phonebookRow(const QByteArray &line)
{
    const auto f = fields(line, "+CPBR");
    const auto index = number(f, 0);
    if (!index || f.size() < 4)
        return std::nullopt;
    PhonebookRow row;
    row.index = *index;
    readNumber(f, 1, row.number, row.type);
    row.text = modemText(f.at(3));
    row.numberField = f.at(1);
    row.textField = f.at(3);
    return row;
}

std::optional<IndexRange> phonebookRange(const QByteArray &line)
{
    const auto f = fields(line, "+CPBR");
    if (f.isEmpty())
        return std::nullopt;
    QByteArray range = f.at(0);
    range.replace('(', "").replace(')', "");
    const auto bounds = range.split('-');
    bool ok1 = false;
    bool ok2 = true;
    IndexRange result;
    result.first = bounds.value(0).toInt(&ok1);
    result.last = bounds.size() > 1 ? bounds.at(1).toInt(&ok2) : result.first;
    if (!ok1 || !ok2 || result.last < result.first)
        return std::nullopt;
    result.numberLength = number(f, 1).value_or(-1);
    result.textLength = number(f, 2).value_or(-1);
    return result;
}

std::optional<StorageUse> phonebookStorage(const QByteArray &line)
{
    const auto f = fields(line, "+CPBS");
    if (f.isEmpty() || f.at(0).isEmpty())
        return std::nullopt;
    StorageUse use;
    use.storage = f.at(0);
    use.used = number(f, 1).value_or(-1);
    use.total = number(f, 2).value_or(-1);
    return use;
}

std::optional<ForwardingRow> forwardingRow(const QByteArray &line)
{
    const auto f = fields(line, "+CCFC");
    const auto status = number(f, 0);
    const auto callClass = number(f, 1);
    if (!status || !callClass)
        return std::nullopt;
    ForwardingRow row;
    row.status = *status;
    row.callClass = *callClass;
    readNumber(f, 2, row.number, row.type);
    return row;
}

QString internationalNumber(const QString &number, int type)
{
    if (type == 145 && !number.isEmpty() && !number.startsWith(QLatin1Char('+')))
        return QLatin1Char('+') + number;
    return number;
}

QString modemText(const QByteArray &bytes)
{
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QByteArray quoted(const QString &text)
{
    return '"' + text.toUtf8() + '"';
}

} // namespace pellix::replies
