// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

class QIODevice;
class RaisedError;

namespace cli {

// Where pellix's results and errors go. Text: lines for a person on stdout. JSON: one compact
// document per result, one line each (a watch or monitor writes one per event). Errors go to
// stderr as one line in both modes ("pellix: error N: ...", "pellix: usage: ..."); with JSON the
// error object goes to stdout too, so that a script reading stdout alone sees what happened.
class Output
{
public:
    Output(QIODevice &out, QIODevice &err, bool json, bool progress);

    bool json() const { return m_json; }
    // False once a result could not be written whole to stdout (a closed pipe, a full disk).
    bool written() const { return !m_outFailed; }

    // One result: text (lines, newline added when missing) or the object.
    void result(const QString &text, const QJsonObject &object);
    // Plain stdout text, for help.
    void text(const QString &text);
    // A failure of the library or the modem; number as the library raised it. exitStatus goes
    // into the JSON object, and so do the details' fields.
    void error(const RaisedError &error, int exitStatus, const QString &hint = QString(),
               const QJsonObject &details = QJsonObject());
    // The error line on stderr alone, for a command whose JSON result already tells of it.
    void errorLine(const RaisedError &error);
    void usage(const QString &text);
    // A failure of pellix's own, not the library's (the output could not be written).
    void failure(const QString &text);
    // Something the operator must know that does not change the result (the trace cannot be
    // written): a line on stderr.
    void warning(const QString &text);
    // A line for the operator on stderr, only when stderr is a terminal (a long listing).
    void progress(const QString &text);
    // A line on stderr as it is (the AT trace).
    void raw(const QByteArray &bytes);

    // The number the console shows: the code of a library error, any other number as it is.
    static qint32 shownNumber(qint32 raisedNumber);

private:
    void write(QIODevice &device, const QString &text);

    QIODevice &m_out;
    QIODevice &m_err;
    bool m_json;
    bool m_progress;
    bool m_outFailed = false;
};

} // namespace cli
