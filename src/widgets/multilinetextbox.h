// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

// A multi-line text box with a vertical scroll bar. Its text is seen as the console's windows
// see text boxes: a line break is CR LF. An optional length limit (counted on that text) stops
// what the operator types, pastes or drops; text set from code is taken whole.
class MultiLineTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MultiLineTextBox(QWidget *parent = nullptr);

    // The text with CR LF line breaks.
    QString text() const;
    // Replaces the text when it differs, so that textChanged fires only on a real change. CR LF,
    // a lone LF and a lone CR each start a new line.
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

    int m_maxLength = 0;
};
