// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>

// How both windows make their named controls: every control carries its name as objectName, so
// that tools and tests find it as window/control.
namespace ViewControls {

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
        control->setToolTip(QString::fromLatin1(tooltip));
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
    if (buddy)
        control->setBuddy(buddy);
    return control;
}

} // namespace ViewControls
