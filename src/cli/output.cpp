// SPDX-License-Identifier: GPL-3.0-or-later
#include "output.h"

#include "raisederror.h"

#include <QIODevice>
#include <QJsonDocument>

namespace cli {

Output::Output(QIODevice &out, QIODevice &err, bool json, bool progress)
    : m_out(out)
    , m_err(err)
    , m_json(json)
    , m_progress(progress)
{
}

void Output::write(QIODevice &device, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    if (device.write(bytes) != bytes.size() && &device == &m_out)
        m_outFailed = true;
}

void Output::result(const QString &text, const QJsonObject &object)
{
    if (m_json)
        write(m_out, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    else if (!text.isEmpty())
        write(m_out, text);
}

void Output::text(const QString &text)
{
    write(m_out, text);
}

qint32 Output::shownNumber(qint32 raisedNumber)
{
    const auto bits = quint32(raisedNumber);
    return bits >= RaisedError::LibraryBase && bits <= RaisedError::LibraryLast
        ? qint32(bits - RaisedError::LibraryBase)
        : raisedNumber;
}

void Output::error(const RaisedError &error, int exitStatus, const QString &hint, const QJsonObject &details)
{
    const qint32 number = shownNumber(error.number());
    QString description = error.description();
    if (!hint.isEmpty())
        description += QStringLiteral(" (%1)").arg(hint);
    write(m_err, QStringLiteral("pellix: error %1: %2").arg(number).arg(description));
    if (m_json) {
        QJsonObject object = details;
        object[QLatin1String("error")] = number;
        object[QLatin1String("description")] = description;
        object[QLatin1String("source")] = error.source();
        object[QLatin1String("exit")] = exitStatus;
        write(m_out, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    }
}

void Output::errorLine(const RaisedError &error)
{
    write(m_err, QStringLiteral("pellix: error %1: %2").arg(shownNumber(error.number())).arg(error.description()));
}

void Output::usage(const QString &text)
{
    write(m_err, QStringLiteral("pellix: usage: %1").arg(text));
    if (m_json) {
        QJsonObject object;
        object[QLatin1String("usage")] = text;
        object[QLatin1String("exit")] = 2;
        write(m_out, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    }
}

void Output::failure(const QString &text)
{
    write(m_err, QStringLiteral("pellix: error: %1").arg(text));
}

void Output::warning(const QString &text)
{
    write(m_err, QStringLiteral("pellix: warning: %1").arg(text));
}

void Output::progress(const QString &text)
{
    if (m_progress)
        write(m_err, text);
}

void Output::raw(const QByteArray &bytes)
{
    m_err.write(bytes);
}

} // namespace cli
