// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkreport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace cli {
namespace {

QString seconds(double s)
{
    return QString::number(s, 'f', 1) + QLatin1Char('s');
}

QString counts(const QList<CheckStep> &steps)
{
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    for (const CheckStep &step : steps) {
        passed += step.verdict == CheckVerdict::Pass;
        failed += step.verdict == CheckVerdict::Fail;
        skipped += step.verdict == CheckVerdict::Skip;
    }
    return QStringLiteral("%1 passed, %2 failed, %3 skipped").arg(passed).arg(failed).arg(skipped);
}

// XML 1.0 has no place for most control characters (a USSD text may carry them).
QString xmlText(const QString &text)
{
    QString clean = text;
    for (QChar &c : clean) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            c = QChar::ReplacementCharacter;
        else if (c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            c = QChar::ReplacementCharacter;
    }
    return clean;
}

// A modem's words go to the operator's terminal: a control character in an operator name or a
// USSD text (ESC, BEL) must not move the cursor, recolour the screen or ring.
QString printable(const QString &text)
{
    QString clean = text;
    for (QChar &c : clean) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            c = QChar::ReplacementCharacter;
    }
    return clean;
}

} // namespace

QString checkTable(const QList<ModemCheck> &modems)
{
    qsizetype nameWidth = 0;
    qsizetype timeWidth = 0;
    for (const ModemCheck &modem : modems) {
        for (const CheckStep &step : modem.steps) {
            nameWidth = qMax(nameWidth, step.name.size());
            timeWidth = qMax(timeWidth, seconds(step.seconds).size());
        }
    }
    QStringList lines;
    int failedModems = 0;
    for (const ModemCheck &modem : modems) {
        if (!lines.isEmpty())
            lines << QString();
        QString head = modem.port;
        if (!modem.device.isEmpty() && modem.device != modem.port)
            head += QStringLiteral(" (%1)").arg(modem.device);
        if (!modem.identity.isEmpty())
            head += QStringLiteral(": ") + modem.identity;
        head = printable(head);
        lines << QStringLiteral("%1  %2").arg(verdictName(modem.verdict()), head);
        for (const CheckStep &step : modem.steps) {
            const QString said = printable(step.verdict == CheckVerdict::Pass ? step.detail : step.reason);
            QString row = QStringLiteral("  %1  %2  %3  %4")
                              .arg(verdictName(step.verdict))
                              .arg(seconds(step.seconds), int(timeWidth))
                              .arg(step.name, -int(nameWidth))
                              .arg(said);
            while (row.endsWith(QLatin1Char(' ')))
                row.chop(1);
            lines << row;
            if (!step.remedy.isEmpty())
                lines << QString(int(2 + 4 + 2 + timeWidth + 2 + nameWidth + 2), QLatin1Char(' ')) + QStringLiteral("-> ") + step.remedy;
        }
        lines << QStringLiteral("  %1; %2").arg(counts(modem.steps),
                                               modem.trace.isEmpty() ? QStringLiteral("no trace") : QStringLiteral("trace ") + modem.trace);
        failedModems += modem.verdict() == CheckVerdict::Fail;
    }
    lines << QString();
    lines << QStringLiteral("%1: %2 modem(s) checked, %3 passed, %4 failed")
                 .arg(verdictName(overallVerdict(modems)))
                 .arg(modems.size())
                 .arg(modems.size() - failedModems)
                 .arg(failedModems);
    return lines.join(QLatin1Char('\n'));
}

QJsonObject checkJson(const QList<ModemCheck> &modems)
{
    QJsonArray array;
    for (const ModemCheck &modem : modems) {
        QJsonArray steps;
        for (const CheckStep &step : modem.steps) {
            steps.append(QJsonObject{
                {QLatin1String("name"), step.name},
                {QLatin1String("verdict"), verdictName(step.verdict)},
                {QLatin1String("seconds"), qRound(step.seconds * 1000) / 1000.0},
                {QLatin1String("reason"), step.reason},
                {QLatin1String("remedy"), step.remedy},
                {QLatin1String("detail"), step.detail},
            });
        }
        array.append(QJsonObject{
            {QLatin1String("port"), modem.port},
            {QLatin1String("device"), modem.device},
            {QLatin1String("identity"), modem.identity},
            {QLatin1String("trace"), modem.trace},
            {QLatin1String("verdict"), verdictName(modem.verdict())},
            {QLatin1String("steps"), steps},
        });
    }
    return {{QLatin1String("modems"), array}, {QLatin1String("verdict"), verdictName(overallVerdict(modems))}};
}

QByteArray checkJunit(const QList<ModemCheck> &modems)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("testsuites"));
    writer.writeAttribute(QStringLiteral("name"), QStringLiteral("pellix check"));
    for (const ModemCheck &modem : modems) {
        double total = 0;
        int failures = 0;
        int skipped = 0;
        for (const CheckStep &step : modem.steps) {
            total += step.seconds;
            failures += step.verdict == CheckVerdict::Fail;
            skipped += step.verdict == CheckVerdict::Skip;
        }
        writer.writeStartElement(QStringLiteral("testsuite"));
        writer.writeAttribute(QStringLiteral("name"), xmlText(modem.port));
        writer.writeAttribute(QStringLiteral("tests"), QString::number(modem.steps.size()));
        writer.writeAttribute(QStringLiteral("failures"), QString::number(failures));
        writer.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
        writer.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
        writer.writeAttribute(QStringLiteral("time"), QString::number(total, 'f', 3));
        writer.writeStartElement(QStringLiteral("properties"));
        for (const auto &[name, value] : {std::pair{QStringLiteral("device"), modem.device},
                                          std::pair{QStringLiteral("identity"), modem.identity},
                                          std::pair{QStringLiteral("trace"), modem.trace}}) {
            writer.writeStartElement(QStringLiteral("property"));
            writer.writeAttribute(QStringLiteral("name"), name);
            writer.writeAttribute(QStringLiteral("value"), xmlText(value));
            writer.writeEndElement();
        }
        writer.writeEndElement();
        for (const CheckStep &step : modem.steps) {
            writer.writeStartElement(QStringLiteral("testcase"));
            writer.writeAttribute(QStringLiteral("classname"), xmlText(modem.port));
            writer.writeAttribute(QStringLiteral("name"), step.name);
            writer.writeAttribute(QStringLiteral("time"), QString::number(step.seconds, 'f', 3));
            if (step.verdict == CheckVerdict::Fail) {
                writer.writeStartElement(QStringLiteral("failure"));
                writer.writeAttribute(QStringLiteral("message"), xmlText(step.reason));
                writer.writeCharacters(xmlText(step.remedy));
                writer.writeEndElement();
            } else if (step.verdict == CheckVerdict::Skip) {
                writer.writeStartElement(QStringLiteral("skipped"));
                writer.writeAttribute(QStringLiteral("message"), xmlText(step.reason));
                writer.writeEndElement();
            } else if (!step.detail.isEmpty()) {
                writer.writeTextElement(QStringLiteral("system-out"), xmlText(step.detail));
            }
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

QString writeCheckJunit(const QString &path, const QList<ModemCheck> &modems)
{
    const QByteArray xml = checkJunit(modems);
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("it is a folder");
    if (target.exists() && !target.isFile()) {
        // A device or a pipe (/dev/stdout, /dev/null, a FIFO a CI job reads) takes the text as
        // it comes: a temporary file renamed over it would put a plain file in its place (for
        // root even in /dev).
        QFile stream(path);
        if (!stream.open(QIODevice::WriteOnly))
            return stream.errorString();
        if (stream.write(xml) != xml.size() || !stream.flush())
            return stream.errorString();
        return QString();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // A write that fails in the buffer (a full disk, a file size limit) surfaces at the flush;
    // commit alone would rename the short file over the old one and call it done.
    if (file.write(xml) != xml.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace cli
