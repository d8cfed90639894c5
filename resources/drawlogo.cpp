// Draws the two logo images of resources.qrc with QPainter. Not part of the build:
// g++ -std=c++17 -fPIC drawlogo.cpp $(pkg-config --cflags --libs Qt6Gui) -o drawlogo
// QT_QPA_PLATFORM=offscreen ./drawlogo Logo_QVN_rgb_randlos_keinText.png Logo_QVN_rgb_randlos.png
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QFont>
#include <cmath>

static void drawMark(QPainter& p, const QRectF& r)
{
    p.save();
    p.translate(r.center());
    const double s = r.width() / 256.0;
    p.scale(s, s);
    // rounded tile
    QPainterPath tile; tile.addRoundedRect(QRectF(-120, -120, 240, 240), 54, 54);
    QLinearGradient g(-120, -120, 120, 120);
    g.setColorAt(0, QColor(0, 171, 173)); g.setColorAt(1, QColor(0, 112, 138));
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(tile, g);
    // channel walls
    p.setPen(QPen(QColor(255,255,255,90), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-92, -78), QPointF(92, -78));
    p.drawLine(QPointF(-92, 78), QPointF(92, 78));
    // density contours around a deformed cell
    p.rotate(-8);
    const QColor rings[] = {QColor(255,255,255,60), QColor(255,255,255,110), QColor(255,255,255,170)};
    for (int i = 0; i < 3; ++i) {
        const double w = 150 - i * 38, h = 92 - i * 24;
        QPainterPath bullet;
        // bullet shape: flatter rear, rounded front
        bullet.moveTo(-w/2, 0);
        bullet.cubicTo(-w/2, -h*0.62, w*0.05, -h/2, w/2, -h*0.08);
        bullet.cubicTo(w*0.56, 0, w*0.56, 0, w/2, h*0.08);
        bullet.cubicTo(w*0.05, h/2, -w/2, h*0.62, -w/2, 0);
        p.setPen(QPen(rings[i], 5 - i));
        p.setBrush(Qt::NoBrush);
        p.drawPath(bullet);
    }
    // the cell itself
    QRadialGradient cg(QPointF(8, -6), 34);
    cg.setColorAt(0, QColor(255,255,255)); cg.setColorAt(1, QColor(214, 242, 240));
    p.setPen(Qt::NoPen); p.setBrush(cg);
    QPainterPath cell;
    cell.moveTo(-34, 0);
    cell.cubicTo(-34, -26, 6, -22, 34, -3);
    cell.cubicTo(38, 0, 38, 0, 34, 3);
    cell.cubicTo(6, 22, -34, 26, -34, 0);
    p.drawPath(cell);
    // nucleus
    p.setBrush(QColor(0, 140, 150, 200));
    p.drawEllipse(QPointF(-6, 0), 10, 8);
    p.restore();
    // events as dots
    p.save();
    p.translate(r.center()); p.scale(s, s);
    QRandomGenerator rng(7);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        double a = rng.generateDouble() * 6.283, d = 70 + rng.generateDouble() * 22;
        QPointF c(std::cos(a) * d * 1.1, std::sin(a) * d * 0.62);
        if (std::abs(c.y()) > 70) continue;
        p.setBrush(QColor(255,255,255, 70 + int(rng.generateDouble()*80)));
        p.drawEllipse(c, 2.6, 2.6);
    }
    p.restore();
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    { QPainter p(&icon); drawMark(p, QRectF(0, 0, 256, 256)); }
    icon.save(argv[1]);

    QImage splash(640, 360, QImage::Format_ARGB32_Premultiplied);
    splash.fill(Qt::transparent);
    {
        QPainter p(&splash);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        QPainterPath bg; bg.addRoundedRect(QRectF(0.5, 0.5, 639, 359), 18, 18);
        QLinearGradient g(0, 0, 0, 360);
        g.setColorAt(0, QColor(255,255,255)); g.setColorAt(1, QColor(236, 240, 243));
        p.fillPath(bg, g);
        p.setPen(QPen(QColor(200, 203, 208), 1)); p.drawPath(bg);
        drawMark(p, QRectF(44, 80, 180, 180));
        QFont f("DejaVu Sans", 46, QFont::DemiBold);
        p.setFont(f); p.setPen(QColor(35, 38, 46));
        p.drawText(QRectF(250, 110, 380, 70), Qt::AlignLeft | Qt::AlignVCenter, "Tessary");
        QFont f2("DejaVu Sans", 15); p.setFont(f2); p.setPen(QColor(0, 140, 150));
        p.drawText(QRectF(254, 178, 380, 30), Qt::AlignLeft | Qt::AlignVCenter, "RT-DC Data Analysis");
        p.setPen(QPen(QColor(220, 222, 226), 2));
        p.drawLine(QPointF(254, 220), QPointF(590, 220));
        QFont f3("DejaVu Sans", 10); p.setFont(f3); p.setPen(QColor(120, 124, 130));
        p.drawText(QRectF(254, 228, 380, 24), Qt::AlignLeft | Qt::AlignVCenter, "Deformability cytometry, event by event");
        p.drawText(QRectF(24, 318, 592, 24), Qt::AlignLeft | Qt::AlignVCenter, "Loading...");
        p.drawText(QRectF(24, 318, 592, 24), Qt::AlignRight | Qt::AlignVCenter, "Version 3.3.99");
    }
    splash.save(argv[2]);
    return 0;
}
