// SPDX-License-Identifier: GPL-3.0-or-later
#include "multilinetextbox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

namespace {

QString withCrLf(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

MultiLineTextBox::MultiLineTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab moves on to the next control, as in every other text box of the window.
    setTabChangesFocus(true);
}

QString MultiLineTextBox::text() const
{
    return withCrLf(toPlainText());
}

void MultiLineTextBox::setText(const QString &text)
{
    if (this->text() != text)
        setPlainText(text);
}

int MultiLineTextBox::room(const QString &inserted) const
{
    if (m_maxLength <= 0)
        return int(inserted.size());
    const QString selected = withCrLf(textCursor().selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
    const qsizetype left = m_maxLength - (text().size() - selected.size());
    return int(qBound<qsizetype>(0, left, inserted.size()));
}

void MultiLineTextBox::keyPressEvent(QKeyEvent *event)
{
    if (m_maxLength > 0) {
        QString typed = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            typed = QStringLiteral("\r\n");
        const bool inserts = !typed.isEmpty() && (typed.at(0).isPrint() || typed == QLatin1String("\r\n"))
            && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (inserts && room(typed) < typed.size()) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MultiLineTextBox::insertFromMimeData(const QMimeData *source)
{
    if (m_maxLength <= 0 || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Cut so that the result, counted with CR LF, stays within the limit.
    const int available = room(withCrLf(text));
    QString fitting;
    int used = 0;
    for (const QChar c : std::as_const(text)) {
        const int cost = c == QLatin1Char('\n') ? 2 : 1;
        if (used + cost > available)
            break;
        fitting += c;
        used += cost;
    }
    QTextCursor cursor = textCursor();
    cursor.insertText(fitting);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void MultiLineTextBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (m_maxLength > 0 && !event->commitString().isEmpty()) {
        const QString commit = event->commitString();
        const int fits = room(commit);
        if (fits < commit.size()) {
            QInputMethodEvent cut(event->preeditString(), event->attributes());
            cut.setCommitString(commit.left(fits), event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&cut);
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}
