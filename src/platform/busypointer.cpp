// SPDX-License-Identifier: GPL-3.0-or-later
#include "busypointer.h"

#include <QCursor>
#include <QGuiApplication>

BusyPointer::BusyPointer()
{
    // Without a GUI application (a test of a handler under QCoreApplication) there is no pointer;
    // the guard then restores nothing, so the override stack stays balanced either way.
    m_active = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (m_active)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyPointer::~BusyPointer()
{
    release();
}

void BusyPointer::release()
{
    if (!m_active)
        return;
    m_active = false;
    QGuiApplication::restoreOverrideCursor();
}
