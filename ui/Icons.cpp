#include "Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap canvas(int w = 16, int h = 16)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A battery lying on its side, its body filled to `level` (0..1) with `fill`.
void drawBattery(QPainter &p, const QRectF &body, qreal level, const QColor &fill)
{
    const qreal capW = body.width() * 0.08;
    const QRectF cap(body.right(), body.center().y() - body.height() * 0.2, capW,
                     body.height() * 0.4);
    p.setPen(QPen(QColor(40, 40, 40), qMax<qreal>(1.0, body.height() / 12)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(body, body.height() * 0.12, body.height() * 0.12);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(cap);
    const qreal inset = qMax<qreal>(1.5, body.height() / 8);
    QRectF level_rect = body.adjusted(inset, inset, -inset, -inset);
    level_rect.setWidth(level_rect.width() * level);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRect(level_rect);
}

// A 16 x 16 icon drawn by `draw` on a transparent, antialiased canvas.
template <typename Draw> QIcon drawIcon(Draw draw)
{
    QPixmap pixmap = canvas();
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
    }
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal);
    return icon;
}

void drawArrow(QPainter &p, bool right, const QColor &colour)
{
    QPainterPath path;
    if (right) {
        path.moveTo(2, 6);
        path.lineTo(8, 6);
        path.lineTo(8, 2);
        path.lineTo(14, 8);
        path.lineTo(8, 14);
        path.lineTo(8, 10);
        path.lineTo(2, 10);
    } else {
        path.moveTo(14, 6);
        path.lineTo(8, 6);
        path.lineTo(8, 2);
        path.lineTo(2, 8);
        path.lineTo(8, 14);
        path.lineTo(8, 10);
        path.lineTo(14, 10);
    }
    path.closeSubpath();
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawPath(path);
}

} // namespace

namespace QorLogIcons {

QIcon addCharge()
{
    return drawIcon([](QPainter &p) {
        drawBattery(p, QRectF(0.5, 4.5, 12, 8), 0.6, QColor(0, 160, 0));
        p.setPen(QPen(QColor(0, 90, 200), 2));
        p.drawLine(QPointF(12, 1), QPointF(12, 7));
        p.drawLine(QPointF(9, 4), QPointF(15, 4));
    });
}

QIcon deleteSelection()
{
    return drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
    });
}

QIcon filter()
{
    return drawIcon([](QPainter &p) {
        QPainterPath funnel;
        funnel.moveTo(1.5, 2.5);
        funnel.lineTo(14.5, 2.5);
        funnel.lineTo(9.5, 8.5);
        funnel.lineTo(9.5, 14);
        funnel.lineTo(6.5, 12.5);
        funnel.lineTo(6.5, 8.5);
        funnel.closeSubpath();
        p.setPen(QPen(QColor(30, 60, 120), 1));
        p.setBrush(QColor(90, 150, 230));
        p.drawPath(funnel);
    });
}

QIcon retain()
{
    return drawIcon([](QPainter &p) { drawArrow(p, false, QColor(40, 170, 40)); });
}

QIcon remove()
{
    return drawIcon([](QPainter &p) { drawArrow(p, true, QColor(210, 60, 40)); });
}

QIcon chargerLog()
{
    return drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.drawPolyline(QPolygonF({QPointF(1.5, 1.5), QPointF(1.5, 14.5), QPointF(14.5, 14.5)}));
        p.setPen(QPen(QColor(30, 90, 200), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF(
            {QPointF(3, 12), QPointF(6, 7), QPointF(9, 5.5), QPointF(12, 4.5), QPointF(14.5, 4)}));
    });
}

QIcon application()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap = canvas(size, size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        drawBattery(p, QRectF(size * 0.05, size * 0.25, size * 0.82, size * 0.5), 0.7,
                    QColor(0, 160, 0));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap applicationPicture()
{
    QPixmap pixmap = canvas(128, 150);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Three upright cells at different charge levels, with a lightning bolt.
    const QColor fills[] = {QColor(200, 40, 40), QColor(230, 170, 0), QColor(0, 150, 0)};
    const qreal levels[] = {0.25, 0.55, 0.9};
    for (int i = 0; i < 3; ++i) {
        const QRectF body(8 + i * 40, 22, 32, 104);
        p.setPen(QPen(QColor(40, 40, 40), 2.5));
        p.setBrush(Qt::white);
        p.drawRoundedRect(body, 5, 5);
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(QRectF(body.center().x() - 7, body.top() - 8, 14, 8));
        QRectF level = body.adjusted(5, 5, -5, -5);
        level.setTop(level.bottom() - level.height() * levels[i]);
        p.setPen(Qt::NoPen);
        p.setBrush(fills[i]);
        p.drawRect(level);
    }
    QPainterPath bolt;
    bolt.moveTo(72, 40);
    bolt.lineTo(50, 84);
    bolt.lineTo(64, 84);
    bolt.lineTo(56, 120);
    bolt.lineTo(82, 72);
    bolt.lineTo(68, 72);
    bolt.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 0), 1.5));
    p.setBrush(QColor(255, 230, 40));
    p.drawPath(bolt);
    return pixmap;
}

} // namespace QorLogIcons
