// SPDX-License-Identifier: GPL-3.0-or-later
#include "vendrelapplication.h"

#include "raisederror.h"

#include <QString>

VendrelApplication::VendrelApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool VendrelApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const RaisedError &error) {
        if (m_handler)
            m_handler(error);
    } catch (const std::exception &error) {
        if (m_handler)
            m_handler(RaisedError(51, QStringLiteral("Vendrel"), QString::fromLocal8Bit(error.what())));
    }
    return false;
}
