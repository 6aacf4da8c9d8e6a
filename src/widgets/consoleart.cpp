// SPDX-License-Identifier: GPL-3.0-or-later
#include "consoleart.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor Ink(0x1f, 0x3a, 0x68);
const QColor Accent(0x2e, 0x7d, 0xd7);

QPixmap canvas(int side, qreal dpr)
{
    QPixmap pixmap(QSize(side, side) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap handset(int side)
{
    QPixmap pixmap = canvas(side, 1.0);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    // Body of the phone.
    QLinearGradient body(0, 0, 0, 32);
    body.setColorAt(0, Accent.lighter(120));
    body.setColorAt(1, Ink);
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(4, 6, 14, 24), 3, 3);
    p.setBrush(QColor(0xe8, 0xf2, 0xfc));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(6.5, 9, 9, 9));
    p.setBrush(QColor(0xe8, 0xf2, 0xfc));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(6.5 + col * 3.2, 21 + row * 3.5, 2.2, 2));
    // Antenna.
    p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 6), QPointF(15, 1.5));
    // Signal bars.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0xa8, 0x4a));
    for (int bar = 0; bar < 4; ++bar) {
        const qreal height = 4 + bar * 4;
        p.drawRect(QRectF(20 + bar * 3, 30 - height, 2.2, height));
    }
    return pixmap;
}

} // namespace

QIcon ConsoleArt::windowIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(handset(side));
    return icon;
}

QPixmap ConsoleArt::logo(QSize size, qreal dpr)
{
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF box(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, Accent);
    fill.setColorAt(1, Ink);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(box, box.height() / 5, box.height() / 5);

    // Signal bars as the mark, then the name.
    const qreal h = box.height();
    const qreal barWidth = h / 8;
    p.setBrush(QColor(0x9b, 0xe1, 0x5d));
    for (int bar = 0; bar < 4; ++bar) {
        const qreal barHeight = h * (0.2 + bar * 0.15);
        p.drawRect(QRectF(h * 0.25 + bar * barWidth * 1.5, h * 0.78 - barHeight, barWidth, barHeight));
    }
    QFont font(QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans"),
                           QStringLiteral("Sans Serif")});
    font.setBold(true);
    font.setPixelSize(qMax(8, int(h * 0.58)));
    p.setFont(font);
    p.setPen(Qt::white);
    const QRectF textBox(h * 0.25 + 6 * barWidth + h * 0.15, 0, box.width(), h);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Pellix"));
    return pixmap;
}

QIcon ConsoleArt::clearIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32}) {
        QPixmap pixmap = canvas(side, 1.0);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 16.0, side / 16.0);
        // A sheet with report lines.
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
        p.setBrush(QColor(0xff, 0xff, 0xc0));
        p.drawRect(QRectF(1.5, 1.5, 10, 13));
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
        for (int line = 0; line < 4; ++line)
            p.drawLine(QPointF(3.5, 4.5 + line * 2.5), QPointF(9.5, 4.5 + line * 2.5));
        // Crossed out.
        p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(14.5, 14.5));
        p.drawLine(QPointF(14.5, 9), QPointF(9, 14.5));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ConsoleArt::exitIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32}) {
        QPixmap pixmap = canvas(side, 1.0);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 16.0, side / 16.0);
        // Door frame and the open door.
        p.setPen(QPen(QColor(0x55, 0x40, 0x30), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1.5, 1.5, 8, 13));
        QPainterPath door;
        door.moveTo(1.5, 1.5);
        door.lineTo(6.5, 3.5);
        door.lineTo(6.5, 15.5);
        door.lineTo(1.5, 14.5);
        door.closeSubpath();
        p.setBrush(QColor(0xb0, 0x7a, 0x48));
        p.drawPath(door);
        // The way out.
        p.setPen(QPen(QColor(0x20, 0x90, 0x30), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
