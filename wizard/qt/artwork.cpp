#include "wizard/qt/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace zor::qtui {
namespace {

const QColor kDeep(0x1f, 0x4e, 0x79);
const QColor kTeal(0x2e, 0x8b, 0x99);
const QColor kSky(0xbf, 0xdb, 0xea);
const QColor kPale(0xea, 0xf2, 0xf8);
const QColor kFace(0xf0, 0xf0, 0xf0);
const QColor kInk(0x1a, 0x2c, 0x3e);
const QColor kMetal(0x9a, 0xa8, 0xb4);
const QColor kWarm(0xf5, 0xb3, 0x2e);
const QColor kWarmDark(0x9c, 0x55, 0x0c);

QColor alpha(QColor c, int a) {
    c.setAlpha(a);
    return c;
}

QImage canvas(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void smooth(QPainter& p) {
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
}

// Point at radius r from c, deg measured clockwise from 12 o'clock.
QPointF onCircle(QPointF c, qreal r, qreal deg) {
    const qreal a = qDegreesToRadians(deg);
    return c + QPointF(r * std::sin(a), -r * std::cos(a));
}

struct WatchColors {
    QColor rim, face, ticks, hand, sweep;
};

// Stopwatch with crown and side pusher; the sector up to the hand is tinted.
void drawStopwatch(QPainter& p, QPointF c, qreal r, qreal handDeg, const WatchColors& k) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(k.rim);
    p.drawRect(QRectF(c.x() - r * 0.11, c.y() - r * 1.24, r * 0.22, r * 0.3));
    p.drawRoundedRect(QRectF(c.x() - r * 0.3, c.y() - r * 1.44, r * 0.6, r * 0.22), r * 0.07,
                      r * 0.07);
    p.save();
    p.translate(c);
    p.rotate(42);
    p.drawRoundedRect(QRectF(-r * 0.1, -r * 1.22, r * 0.2, r * 0.32), r * 0.05, r * 0.05);
    p.restore();
    p.drawEllipse(c, r, r);

    const qreal in = r * 0.82;
    QRadialGradient face(c - QPointF(in * 0.35, in * 0.4), in * 1.6);
    face.setColorAt(0, k.face.lighter(106));
    face.setColorAt(1, k.face);
    p.setBrush(face);
    p.drawEllipse(c, in, in);

    if (handDeg > 0) {
        const qreal s = in * 0.86;
        p.setBrush(k.sweep);
        p.drawPie(QRectF(c.x() - s, c.y() - s, 2 * s, 2 * s), 90 * 16, -qRound(handDeg * 16));
    }
    for (int i = 0; i < 12; ++i) {
        const bool major = i % 3 == 0;
        p.setPen(QPen(k.ticks, std::max(major ? 1.3 : 0.9, r * (major ? 0.08 : 0.045)),
                      Qt::SolidLine, Qt::RoundCap));
        p.drawLine(onCircle(c, in * (major ? 0.66 : 0.74), i * 30), onCircle(c, in * 0.88, i * 30));
    }
    p.setPen(QPen(k.hand, std::max(1.2, r * 0.07), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(onCircle(c, in * 0.18, handDeg + 180), onCircle(c, in * 0.8, handDeg));
    p.setPen(Qt::NoPen);
    p.setBrush(k.hand);
    p.drawEllipse(c, std::max(1.5, r * 0.1), std::max(1.5, r * 0.1));
    p.restore();
}

// Chip seen from above: body with pin-1 notch, pins on the left and right.
void drawChip(QPainter& p, const QRectF& b, int pinsPerSide, const QColor& body) {
    p.save();
    const qreal pinLen = std::max(2.0, b.width() * 0.16);
    const qreal pitch = b.height() / pinsPerSide;
    p.setPen(Qt::NoPen);
    p.setBrush(kMetal);
    for (int i = 0; i < pinsPerSide; ++i) {
        const qreal y = b.top() + pitch * (i + 0.25);
        p.drawRect(QRectF(b.left() - pinLen, y, pinLen + 1, pitch * 0.5));
        p.drawRect(QRectF(b.right() - 1, y, pinLen + 1, pitch * 0.5));
    }
    QLinearGradient g(b.topLeft(), b.bottomRight());
    g.setColorAt(0, body.lighter(135));
    g.setColorAt(1, body);
    p.setBrush(g);
    p.drawRoundedRect(b, 1.5, 1.5);
    p.setBrush(alpha(Qt::white, 90));
    const qreal n = b.width() * 0.12;
    p.drawEllipse(QPointF(b.left() + n * 1.6, b.top() + n * 1.6), n * 0.7, n * 0.7);
    p.restore();
}

// Front face of a 9-pin D-sub: shell, insulator and 5 + 4 pins.
void drawDsub(QPainter& p, QPointF c, qreal w) {
    p.save();
    const qreal h = w * 0.42;
    auto dShape = [&](qreal ww, qreal hh) {
        QPainterPath path;
        const qreal t = ww * 0.5, b = ww * 0.5 - hh * 0.28;
        path.moveTo(c + QPointF(-t, -hh / 2));
        path.lineTo(c + QPointF(t, -hh / 2));
        path.lineTo(c + QPointF(b, hh / 2));
        path.lineTo(c + QPointF(-b, hh / 2));
        path.closeSubpath();
        return path;
    };
    QLinearGradient metal(c - QPointF(0, h), c + QPointF(0, h));
    metal.setColorAt(0, QColor(0xe4, 0xea, 0xef));
    metal.setColorAt(1, kMetal);
    p.setBrush(metal);
    p.setPen(QPen(QColor(0x5d, 0x6b, 0x78), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawRoundedRect(QRectF(c.x() - w * 0.5 - h * 0.55, c.y() - h * 0.42, w + h * 1.1, h * 0.84),
                      h * 0.2, h * 0.2);
    p.setPen(QPen(QColor(0x5d, 0x6b, 0x78), h * 0.22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(dShape(w, h));
    p.setPen(QPen(kDeep, h * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kDeep);
    p.drawPath(dShape(w * 0.82, h * 0.62));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf3, 0xd0, 0x7a));
    const qreal dot = w * 0.055, step = w * 0.14;
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(c + QPointF((i - 2) * step, -h * 0.15), dot, dot);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(c + QPointF((i - 1.5) * step, h * 0.17), dot, dot);
    for (int s : {-1, 1}) {
        p.setBrush(QColor(0x5d, 0x6b, 0x78));
        p.drawEllipse(c + QPointF(s * (w * 0.5 + h * 0.3), 0), h * 0.12, h * 0.12);
    }
    p.restore();
}

// Yellow warning triangle with an exclamation mark, drawn without fonts.
void drawWarning(QPainter& p, const QRectF& r) {
    p.save();
    QPainterPath tri;
    tri.moveTo(r.center().x(), r.top() + 1);
    tri.lineTo(r.right() - 1, r.bottom() - 1);
    tri.lineTo(r.left() + 1, r.bottom() - 1);
    tri.closeSubpath();
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kWarm.lighter(118));
    g.setColorAt(1, kWarm);
    // clear a thin gap around the sign so it stands apart from what is behind
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::black);
    p.drawPath(tri);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(kWarmDark, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(tri);
    const qreal cx = r.center().x(), u = r.height() / 16;
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    QPainterPath bar;
    bar.moveTo(cx - 1.3 * u, r.top() + 5.2 * u);
    bar.lineTo(cx + 1.3 * u, r.top() + 5.2 * u);
    bar.lineTo(cx + 0.6 * u, r.top() + 10.6 * u);
    bar.lineTo(cx - 0.6 * u, r.top() + 10.6 * u);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QPointF(cx, r.top() + 12.8 * u), 1.1 * u, 1.1 * u);
    p.restore();
}

QPixmap icon(void (*paint)(QPainter&)) {
    QImage img = canvas(32, 32, Qt::transparent);
    QPainter p(&img);
    smooth(p);
    paint(p);
    p.end();
    return QPixmap::fromImage(img);
}

}  // namespace

QPixmap headerPicture() {
    QImage img = canvas(500, 59, Qt::white);
    QPainter p(&img);
    smooth(p);
    QLinearGradient wash(300, 0, 500, 0);
    wash.setColorAt(0, Qt::white);
    wash.setColorAt(1, kPale);
    p.fillRect(img.rect(), wash);
    // The form shows only the first 495 columns of the picture.
    drawChip(p, QRectF(459, 33, 13, 17), 4, kTeal);
    drawStopwatch(p, QPointF(477, 27), 12.5, 120,
                  {kDeep, Qt::white, kDeep, kTeal, alpha(kTeal, 60)});
    p.end();
    return QPixmap::fromImage(img);
}

QPixmap startPicture() {
    QImage img = canvas(498, 313, Qt::white);
    QPainter p(&img);
    smooth(p);
    QLinearGradient band(0, 0, 160, 313);
    band.setColorAt(0, kDeep);
    band.setColorAt(1, kTeal);
    p.fillRect(QRect(0, 0, 160, 313), band);
    p.fillRect(QRect(160, 0, 2, 313), alpha(kSky, 200));

    p.setPen(QPen(alpha(Qt::white, 18), 10));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(80, 118), 70.0 + i * 26, 70.0 + i * 26);

    // serial cable rising from the bottom into a plug under the watch
    QPainterPath cable;
    cable.moveTo(22, 320);
    cable.cubicTo(22, 270, 80, 285, 80, 232);
    p.setPen(QPen(alpha(Qt::black, 40), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable.translated(1.5, 1.5));
    p.setPen(QPen(QColor(0xdc, 0xe8, 0xf0), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    QPainterPath hood;
    hood.moveTo(62, 212);
    hood.lineTo(98, 212);
    hood.lineTo(88, 234);
    hood.lineTo(72, 234);
    hood.closeSubpath();
    p.setPen(QPen(QColor(0xdc, 0xe8, 0xf0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xdc, 0xe8, 0xf0));
    p.drawPath(hood);
    p.setPen(Qt::NoPen);
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(69, 205, 22, 7), 1.5, 1.5);
    for (qreal x : {65.5, 94.5})
        p.drawEllipse(QPointF(x, 215), 2.2, 2.2);
    // data flowing up into the watch
    for (int i = 0; i < 3; ++i) {
        const qreal y = 196 - i * 11;
        QPainterPath chevron;
        chevron.moveTo(72, y + 4);
        chevron.lineTo(80, y - 3);
        chevron.lineTo(88, y + 4);
        p.setPen(
            QPen(alpha(Qt::white, 110 + i * 60), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(chevron);
    }
    drawStopwatch(p, QPointF(80, 112), 44, 135, {Qt::white, kPale, kDeep, kTeal, alpha(kTeal, 55)});
    p.end();
    return QPixmap::fromImage(img);
}

QPixmap portIcon() {
    return icon([](QPainter& p) {
        QPainterPath cable;
        cable.moveTo(16, 20);
        cable.cubicTo(16, 30, 26, 24, 30, 31);
        p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(cable);
        p.setPen(QPen(kTeal, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(cable);
        QPainterPath hood;
        hood.moveTo(9, 14);
        hood.lineTo(23, 14);
        hood.lineTo(19.5, 23);
        hood.lineTo(12.5, 23);
        hood.closeSubpath();
        p.setPen(QPen(kDeep, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(kDeep);
        p.drawPath(hood);
        drawDsub(p, QPointF(16, 10), 20);
    });
}

QPixmap componentsIcon() {
    return icon([](QPainter& p) {
        // three stacked modules, seen from above at an angle
        const QColor tops[] = {kSky, kTeal, kDeep};
        for (int i = 0; i < 3; ++i) {
            const qreal y = 20 - i * 7;
            QPainterPath top;
            top.moveTo(16, y - 7);
            top.lineTo(29, y);
            top.lineTo(16, y + 7);
            top.lineTo(3, y);
            top.closeSubpath();
            QPainterPath side;
            side.moveTo(3, y);
            side.lineTo(16, y + 7);
            side.lineTo(29, y);
            side.lineTo(29, y + 3);
            side.lineTo(16, y + 10);
            side.lineTo(3, y + 3);
            side.closeSubpath();
            p.setPen(QPen(kInk, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(tops[i].darker(150));
            p.drawPath(side);
            p.setBrush(tops[i]);
            p.drawPath(top);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(alpha(Qt::white, 200));
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(12 + i * 4, 6 + i * 2), 1.1, 1.1);
    });
}

QPixmap noSpaceIcon() {
    return icon([](QPainter& p) {
        const QRectF chip(5, 3, 17, 21);
        drawChip(p, chip, 5, kDeep);
        p.setPen(Qt::NoPen);
        p.setBrush(kWarm);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(chip.left() + 4, chip.top() + 4 + i * 4, chip.width() - 8, 2.5));
        drawWarning(p, QRectF(13, 12, 19, 19));
    });
}

QImage animationFrame(int index) {
    const int frame = ((index % ANIMATION_FRAMES) + ANIMATION_FRAMES) % ANIMATION_FRAMES;
    QImage img = canvas(ANIMATION_WIDTH, ANIMATION_HEIGHT, kFace);
    QPainter p(&img);
    smooth(p);

    // computer: monitor with stand, tower beside it
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8e, 0x9b, 0xa6));
    p.drawRect(QRectF(30, 42, 8, 8));
    p.drawRoundedRect(QRectF(20, 49, 28, 5), 2, 2);
    p.setBrush(QColor(0x3a, 0x4a, 0x5a));
    p.drawRoundedRect(QRectF(6, 6, 56, 38), 3, 3);
    QLinearGradient screen(0, 9, 0, 41);
    screen.setColorAt(0, kTeal);
    screen.setColorAt(1, kDeep);
    p.setBrush(screen);
    p.drawRect(QRectF(9, 9, 50, 32));
    for (int i = 0; i < 4; ++i) {
        const bool sent = i <= frame * 4 / ANIMATION_FRAMES;
        p.setBrush(alpha(Qt::white, sent ? 200 : 70));
        p.drawRoundedRect(QRectF(14, 14 + i * 6, i % 2 ? 28 : 36, 3), 1.5, 1.5);
    }
    QLinearGradient tower(66, 0, 84, 0);
    tower.setColorAt(0, QColor(0xd7, 0xdd, 0xe3));
    tower.setColorAt(1, QColor(0xa9, 0xb4, 0xbe));
    p.setPen(QPen(QColor(0x6f, 0x7d, 0x8a), 1));
    p.setBrush(tower);
    p.drawRoundedRect(QRectF(67.5, 14.5, 17, 40), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6f, 0x7d, 0x8a));
    p.drawRect(QRectF(70, 19, 12, 2));
    p.drawRect(QRectF(70, 23, 12, 2));
    p.setBrush(kTeal);
    p.drawEllipse(QPointF(76, 48), 1.6, 1.6);

    // cable between the two, with a plug at each end
    QPainterPath cable;
    cable.moveTo(89, 40);
    cable.cubicTo(130, 58, 180, 58, 219, 40);
    p.setPen(QPen(QColor(0x55, 0x63, 0x70), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x63, 0x70));
    p.drawRoundedRect(QRectF(84, 36, 7, 8), 1.5, 1.5);
    p.drawRoundedRect(QRectF(217, 36, 7, 8), 1.5, 1.5);

    // packets: three on the cable, each crossing it in 13 frames
    bool arriving = false;
    for (int k = 0; k < 3; ++k) {
        const qreal t = std::fmod(frame / 13.0 + k / 3.0, 1.0);
        const qreal fade = std::clamp(std::min(t, 1 - t) / 0.1, 0.0, 1.0);
        arriving = arriving || t > 0.88;
        const QPointF at = cable.pointAtPercent(t);
        p.setPen(QPen(alpha(Qt::white, qRound(255 * fade)), 1.2));
        p.setBrush(alpha(k == 0 ? kTeal : kDeep, qRound(255 * fade)));
        p.drawRoundedRect(QRectF(at.x() - 4, at.y() - 4, 8, 8), 2, 2);
    }

    // hand-held chronometer: body, display with the filling bar, keys
    QLinearGradient body(224, 0, 264, 60);
    body.setColorAt(0, kDeep.lighter(125));
    body.setColorAt(1, kDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(224, 3, 40, 54), 7, 7);
    p.setBrush(QColor(0xd6, 0xea, 0xe6));
    p.drawRoundedRect(QRectF(229, 9, 30, 18), 2, 2);
    p.setBrush(alpha(kInk, 40));
    p.drawRect(QRectF(232, 19, 24, 5));
    p.setBrush(kInk);
    p.drawRect(QRectF(232, 19, 24.0 * (frame + 1) / ANIMATION_FRAMES, 5));
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(232 + i * 5, 12, 3.5, 4.5));
    p.setBrush(arriving ? QColor(0x7f, 0xe0, 0x9a) : QColor(0x2b, 0x5a, 0x48));
    p.drawEllipse(QPointF(256, 14), 1.8, 1.8);
    p.setBrush(kSky);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            p.drawRoundedRect(QRectF(230 + c * 10, 33 + r * 9, 8, 5), 2, 2);
    p.setBrush(alpha(Qt::white, 40));
    p.drawRoundedRect(QRectF(226, 5, 36, 3), 1.5, 1.5);
    p.end();
    return img;
}

}  // namespace zor::qtui
