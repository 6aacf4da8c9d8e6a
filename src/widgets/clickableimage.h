// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// An image that reports a click (press and release of the left button over it).
class ClickableImage : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
