// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessible>
#include <QFrame>
#include <QList>
#include <QString>
#include <QWidget>

// What an assistive tool reads a control by.
inline QString accessibleName(QWidget *control)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
    return face ? face->text(QAccessible::Name) : QString();
}

// Every control a window names, but for the panels that only group others: a tool reads the
// controls inside them.
inline QList<QWidget *> namedControls(QWidget &window)
{
    QList<QWidget *> controls;
    for (QWidget *child : window.findChildren<QWidget *>()) {
        if (child->objectName().isEmpty() || child->objectName().startsWith(QLatin1String("qt_"))
            || child->metaObject() == &QFrame::staticMetaObject)
            continue;
        controls << child;
    }
    return controls;
}
