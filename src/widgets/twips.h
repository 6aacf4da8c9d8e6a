// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class QWidget;

// The windows are designed in twips (1440 per inch): 15 twips are 1 pixel at 96 dpi, and the
// screen's logical dpi scales them, so both windows keep their proportions at any setting.
namespace Twips {

int toPixels(int value, qreal logicalDpi);
// At the widget's own logical dpi, which follows the screen it is on.
int toPixels(const QWidget &widget, int value);

} // namespace Twips
