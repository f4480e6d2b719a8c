#include "appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace varnolt::app {

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size / 48.0;  // drawn on a 48-unit grid

    // Rounded dark-blue tile, like a cartridge label.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1d, 0x3a, 0x6e));
    painter.drawRoundedRect(QRectF(1 * s, 1 * s, 46 * s, 46 * s), 8 * s, 8 * s);

    // Four level bars rising left to right: the partials.
    const QColor bars[4] = {QColor(0x4f, 0xc3, 0xf7), QColor(0x81, 0xd4, 0xfa), QColor(0xff, 0xd5, 0x4f),
                            QColor(0xff, 0x8a, 0x65)};
    for (int i = 0; i < 4; ++i) {
        const double height = (10 + 7 * i) * s;
        painter.setBrush(bars[i]);
        painter.drawRect(QRectF((6 + 9 * i) * s, 42 * s - height, 6 * s, height));
    }

    // A white eighth note over them: the music that comes out.
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(13 * s, 25 * s, 12 * s, 9 * s));
    painter.drawRect(QRectF(22.5 * s, 7 * s, 2.5 * s, 23 * s));
    QPainterPath flag;
    flag.moveTo(25 * s, 7 * s);
    flag.cubicTo(31 * s, 10 * s, 36 * s, 13 * s, 33 * s, 21 * s);
    flag.cubicTo(33 * s, 16 * s, 29 * s, 14 * s, 25 * s, 13 * s);
    flag.closeSubpath();
    painter.drawPath(flag);
    return pixmap;
}

}  // namespace

QIcon MakeApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) icon.addPixmap(DrawIcon(size));
    return icon;
}

}  // namespace varnolt::app
