// SPDX-License-Identifier: GPL-3.0-or-later
#include "twips.h"

#include <QWidget>

namespace Twips {

int toPixels(int value, qreal logicalDpi)
{
    return qRound(value * logicalDpi / 1440.0);
}

int toPixels(const QWidget &widget, int value)
{
    return toPixels(value, widget.logicalDpiX());
}

} // namespace Twips
