// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The console's own images, drawn at run time so that they stay sharp at any scale.
class ConsoleArt
{
public:
    // A handset with signal bars.
    static QIcon windowIcon();
    // The product logo, filling `size` (logical pixels) at the given device pixel ratio.
    static QPixmap logo(QSize size, qreal devicePixelRatio = 1.0);
    // A list with a cross: empty the report.
    static QIcon clearIcon();
    // An open door with an arrow: leave the program.
    static QIcon exitIcon();
};
