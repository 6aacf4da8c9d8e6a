// SPDX-License-Identifier: GPL-3.0-or-later
#include "multilinetextbox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>

namespace {

QString withCrLf(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

// The line break before a block, kept in the block's user state. A block the editor makes (Enter,
// a pasted line) starts with state -1, and so with CR LF, the break the box has always produced.
enum BreakKind { CrLf = -1, Lf = 1, Cr = 2, Paragraph = 3 };

QString breakText(int kind)
{
    switch (kind) {
    case Lf: return QStringLiteral("\n");
    case Cr: return QStringLiteral("\r");
    case Paragraph: return QString(QChar::ParagraphSeparator);
    default: return QStringLiteral("\r\n");
    }
}

// The breaks of a text in order, split as QTextCursor::insertText splits it into blocks.
QList<int> breaksOf(const QString &text)
{
    QList<int> kinds;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            const bool pair = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n');
            kinds.append(pair ? CrLf : Cr);
            i += pair ? 1 : 0;
        } else if (c == QLatin1Char('\n')) {
            kinds.append(Lf);
        } else if (c == QChar::ParagraphSeparator) {
            kinds.append(Paragraph);
        }
    }
    return kinds;
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
    return textBetween(0, document()->characterCount());
}

QString MultiLineTextBox::textBetween(int from, int to) const
{
    // Block by block rather than toPlainText(), which turns a no-break space into a blank and
    // every break into LF.
    QString out;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to; block = block.next()) {
        const int start = block.position();
        const QString line = block.text();
        const int end = start + int(line.size()); // where the break after this block sits
        const int first = qMax(from, start);
        const int last = qMin(to, end);
        if (last > first)
            out += line.mid(first - start, last - first);
        if (block.next().isValid() && end >= from && end < to)
            out += breakText(block.next().userState());
    }
    return out;
}

void MultiLineTextBox::setText(const QString &text)
{
    if (this->text() == text)
        return;
    {
        // Those told of the change must read the text with its breaks already marked.
        const QSignalBlocker quiet(this);
        setPlainText(text);
        QTextBlock block = document()->firstBlock().next();
        for (const int kind : breaksOf(text)) {
            if (!block.isValid())
                break;
            block.setUserState(kind);
            block = block.next();
        }
    }
    Q_EMIT textChanged();
}

int MultiLineTextBox::room(const QString &inserted) const
{
    if (m_maxLength <= 0)
        return int(inserted.size());
    const QTextCursor cursor = textCursor();
    const QString selected = textBetween(cursor.selectionStart(), cursor.selectionEnd());
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
