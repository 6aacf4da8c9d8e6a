// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

// A multi-line text box with a vertical scroll bar. Its text is kept exactly: a text set from code
// comes back with its own line breaks (CR LF, LF, CR) and characters (a no-break space stays one);
// a line break the operator types or pastes is CR LF, as in the console's other text boxes. An
// optional length limit (counted on that text) stops what the operator types, pastes or drops;
// text set from code is taken whole.
class MultiLineTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MultiLineTextBox(QWidget *parent = nullptr);

    // The text as set, with the breaks typed since as CR LF.
    QString text() const;
    // Replaces the text when it differs, so that textChanged fires only on a real change. CR LF,
    // a lone LF and a lone CR each start a new line and are given back as they were.
    void setText(const QString &text);

    int maxLength() const { return m_maxLength; }
    // 0: no limit.
    void setMaxLength(int length) { m_maxLength = length; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    // How many characters of `inserted` still fit in place of the current selection.
    int room(const QString &inserted) const;
    // The text between two document positions, breaks as text() gives them.
    QString textBetween(int from, int to) const;

    int m_maxLength = 0;
};
