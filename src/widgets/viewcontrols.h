// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcutEvent>
#include <QString>

#include <algorithm>

// How both windows make their named controls: every control carries its name as objectName, so
// that tools and tests find it as window/control.
namespace ViewControls {

// A label's access key moves the focus to the next control in the focus order that can take it.
// Qt hands it to the buddy alone and does nothing when the buddy cannot take it (a disabled port
// box); then the focus goes on along the chain, past controls that are out of the Tab order.
class BuddyAccessKey : public QObject
{
public:
    explicit BuddyAccessKey(QLabel *label)
        : QObject(label)
        , m_label(label)
    {
        label->installEventFilter(this);
    }

    static bool canTakeFocus(const QWidget *widget)
    {
        return widget->isEnabled() && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_label || event->type() != QEvent::Shortcut)
            return false;
        QWidget *buddy = m_label->buddy();
        if (!buddy || canTakeFocus(buddy))
            return false;
        for (QWidget *next = buddy->nextInFocusChain(); next && next != buddy; next = next->nextInFocusChain()) {
            if (next->window() != m_label->window() || buddy->isAncestorOf(next) || !canTakeFocus(next))
                continue;
            next->setFocus(Qt::ShortcutFocusReason);
            m_label->window()->setAttribute(Qt::WA_KeyboardFocusChange);
            return true;
        }
        return true;
    }

private:
    QLabel *m_label;
};

// A caption as Qt draws it: access-key markers taken out ("&&" is a literal "&").
inline QString withoutAccessKeys(QString caption)
{
    caption.replace(QLatin1String("&&"), QLatin1String("\x01"));
    caption.remove(QLatin1Char('&'));
    caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return caption;
}

// A caption as read out or measured for fit: without access keys, blanks at the end left off.
inline QString plainCaption(const QString &text)
{
    QString caption = withoutAccessKeys(text);
    while (caption.endsWith(QLatin1Char(' ')))
        caption.chop(1);
    return caption;
}

// An assistive tool reads a control by its name, which Qt takes from the control's own words. A
// control that shows none (an icon, a "?", a picture) is named by its tooltip instead.
inline void toolTip(QWidget *control, const QString &tip, const QString &caption = {})
{
    control->setToolTip(tip);
    const QString shown = plainCaption(caption);
    const bool wordless = std::none_of(shown.cbegin(), shown.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    if (wordless && !tip.isEmpty())
        control->setAccessibleName(tip);
}

template <typename T>
T *make(QWidget *parent, const char *name)
{
    auto *control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

inline QPushButton *button(QWidget *parent, const char *name, const char *caption, const char *tooltip)
{
    auto *control = make<QPushButton>(parent, name);
    control->setText(QString::fromLatin1(caption));
    if (*tooltip)
        toolTip(control, QString::fromLatin1(tooltip), control->text());
    // Enter must not press some button other than the one with the focus.
    control->setAutoDefault(false);
    return control;
}

inline QLabel *label(QWidget *parent, const char *name, const char *caption, QWidget *buddy = nullptr)
{
    auto *control = make<QLabel>(parent, name);
    control->setTextFormat(Qt::PlainText);
    control->setText(QString::fromLatin1(caption));
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (buddy) {
        control->setBuddy(buddy);
        new BuddyAccessKey(control);
        // The input is read by its label's caption; a button keeps the name of its own caption.
        if (!qobject_cast<QAbstractButton *>(buddy))
            buddy->setAccessibleName(plainCaption(control->text()));
    }
    return control;
}

} // namespace ViewControls
