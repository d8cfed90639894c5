#include "widgets/pointlayer.h"

#include <QPaintEngine>
#include <QPainter>

#include <qwt_plot.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>
#include <typeinfo>

namespace Tessary {

namespace {

constexpr int Phases = 4;   // quarter-pixel positions per axis

// x * a / 255 for the four channels of a premultiplied pixel.
inline quint32 byteMul(quint32 x, quint32 a)
{
    quint32 t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

inline quint32 sourceOver(quint32 dst, quint32 src)
{
    const quint32 alpha = src >> 24;
    if (alpha == 255)
        return src;
    return src + byteMul(dst, 255 - alpha);
}

std::size_t transformId(const QwtScaleMap& map)
{
    const QwtTransform* t = map.transformation();
    return t ? typeid(*t).hash_code() : 0;
}

bool isRasterTarget(const QPainter* painter)
{
    const QPaintEngine* engine = painter->paintEngine();
    return engine && engine->type() == QPaintEngine::Raster && painter->transform().isIdentity();
}

} // namespace

bool PointLayer::Key::operator==(const Key& o) const
{
    for (int i = 0; i < 4; ++i)
        if (x[i] != o.x[i] || y[i] != o.y[i])
            return false;
    return xTransform == o.xTransform && yTransform == o.yTransform && rect == o.rect && ratio == o.ratio
        && from == o.from && to == o.to;
}

void PointLayer::setDots(const QVector<QRgb>& newColours, double newExtent, const DotPainter& painter,
                         bool tintCoverage)
{
    colours = newColours;
    extent = newExtent;
    dotPainter = painter;
    tint = tintCoverage;
    stamps.clear();
    stampRatio = 0.0;
    valid = false;
}

void PointLayer::invalidate()
{
    valid = false;
}

void PointLayer::buildStamps(qreal ratio) const
{
    stamps.clear();
    stampRatio = ratio;
    stampSize = int(std::ceil(extent * ratio)) + 4;
    stampSize += stampSize % 2;
    const int size = stampSize;
    const double half = size / 2;

    auto paint = [&](QRgb colour, int phase) {
        QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(ratio, ratio);
        const QPointF centre((half + double(phase % Phases) / Phases) / ratio,
                             (half + double(phase / Phases) / Phases) / ratio);
        dotPainter(&p, centre, colour);
        p.end();
        return img;
    };
    auto toStamp = [size](const QImage& img, Stamp& stamp) {
        stamp.pixels.resize(std::size_t(size) * size);
        stamp.spans.assign(size, {size, -1});
        for (int r = 0; r < size; ++r) {
            const auto* line = reinterpret_cast<const quint32*>(img.constScanLine(r));
            for (int c = 0; c < size; ++c) {
                stamp.pixels[std::size_t(r) * size + c] = line[c];
                if (line[c] >> 24) {
                    stamp.spans[r].first = std::min(stamp.spans[r].first, c);
                    stamp.spans[r].second = c;
                }
            }
        }
    };

    stamps.resize(std::size_t(colours.size()) * Phases * Phases);
    if (tint) {
        for (int phase = 0; phase < Phases * Phases; ++phase) {
            Stamp coverage;
            toStamp(paint(qRgb(255, 255, 255), phase), coverage);
            for (int c = 0; c < colours.size(); ++c) {
                Stamp& stamp = stamps[std::size_t(c) * Phases * Phases + phase];
                stamp.spans = coverage.spans;
                stamp.pixels.resize(coverage.pixels.size());
                const quint32 opaque = colours[c] | 0xff000000u;
                const quint32 colourAlpha = qAlpha(colours[c]);
                for (std::size_t k = 0; k < coverage.pixels.size(); ++k) {
                    const quint32 a = byteMul(coverage.pixels[k] >> 24, colourAlpha);
                    stamp.pixels[k] = byteMul(opaque, a);
                }
            }
        }
    } else {
        for (int c = 0; c < colours.size(); ++c)
            for (int phase = 0; phase < Phases * Phases; ++phase)
                toStamp(paint(colours[c], phase), stamps[std::size_t(c) * Phases * Phases + phase]);
    }
}

void PointLayer::render(const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect, qreal ratio,
                        int from, int to, const SampleReader& sample) const
{
    if (stamps.empty() || stampRatio != ratio)
        buildStamps(ratio);
    const QSize size(std::max(1, int(std::ceil(canvasRect.width() * ratio))),
                     std::max(1, int(std::ceil(canvasRect.height() * ratio))));
    if (image.size() != size || image.format() != QImage::Format_ARGB32_Premultiplied)
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    ++renders;
    if (colours.isEmpty())
        return;

    const int width = size.width();
    const int height = size.height();
    const int half = stampSize / 2;
    const int stampCount = colours.size();
    auto* bits = reinterpret_cast<quint32*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    // Dots further out than this cannot touch the image; also keeps the int maths safe.
    const double limit = double(std::max(width, height)) + stampSize + 16.0;

    for (int i = from; i <= to; ++i) {
        double x = 0.0;
        double y = 0.0;
        int colour = 0;
        if (!sample(i, x, y, colour) || colour < 0 || colour >= stampCount)
            continue;
        const double px = (xMap.transform(x) - canvasRect.left()) * ratio;
        const double py = (yMap.transform(y) - canvasRect.top()) * ratio;
        // Non-finite positions (NaN data, values <= 0 on a log axis) are never painted.
        if (!(px > -limit && px < limit && py > -limit && py < limit))
            continue;
        const long qx = std::lround(std::floor(px * Phases + 0.5));
        const long qy = std::lround(std::floor(py * Phases + 0.5));
        const long baseX = (qx >= 0 ? qx / Phases : -((-qx + Phases - 1) / Phases));
        const long baseY = (qy >= 0 ? qy / Phases : -((-qy + Phases - 1) / Phases));
        const int phase = int(qy - baseY * Phases) * Phases + int(qx - baseX * Phases);
        const Stamp& stamp = stamps[std::size_t(colour) * Phases * Phases + phase];
        const int left = int(baseX) - half;
        const int top = int(baseY) - half;
        for (int r = 0; r < stampSize; ++r) {
            const int row = top + r;
            if (row < 0 || row >= height)
                continue;
            int c0 = stamp.spans[r].first;
            int c1 = stamp.spans[r].second;
            if (c0 > c1)
                continue;
            c0 = std::max(c0, -left);
            c1 = std::min(c1, width - 1 - left);
            const quint32* src = stamp.pixels.data() + std::size_t(r) * stampSize;
            quint32* dst = bits + row * stride;
            for (int c = c0; c <= c1; ++c)
                dst[left + c] = sourceOver(dst[left + c], src[c]);
        }
    }
}

void PointLayer::draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                      const QRectF& canvasRect, int from, int to, const SampleReader& sample) const
{
    if (from > to || colours.isEmpty() || !dotPainter)
        return;

    if (!isRasterTarget(painter)) {
        // Vector output: each dot stays a shape of its own.
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        for (int i = from; i <= to; ++i) {
            double x = 0.0;
            double y = 0.0;
            int colour = 0;
            if (!sample(i, x, y, colour) || colour < 0 || colour >= colours.size())
                continue;
            const QPointF p(xMap.transform(x), yMap.transform(y));
            if (std::isfinite(p.x()) && std::isfinite(p.y()))
                dotPainter(painter, p, colours[colour]);
        }
        painter->restore();
        return;
    }

    Key wanted;
    wanted.x[0] = xMap.s1(); wanted.x[1] = xMap.s2(); wanted.x[2] = xMap.p1(); wanted.x[3] = xMap.p2();
    wanted.y[0] = yMap.s1(); wanted.y[1] = yMap.s2(); wanted.y[2] = yMap.p1(); wanted.y[3] = yMap.p2();
    wanted.xTransform = transformId(xMap);
    wanted.yTransform = transformId(yMap);
    wanted.rect = canvasRect;
    wanted.ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    wanted.from = from;
    wanted.to = to;
    if (!valid || !(wanted == key)) {
        render(xMap, yMap, canvasRect, wanted.ratio, from, to, sample);
        key = wanted;
        valid = true;
    }
    painter->drawImage(canvasRect.topLeft(), image);
}

QRectF displayableBounds(std::size_t count, const std::function<QPointF(std::size_t)>& sample, bool xLog, bool yLog)
{
    double minX = std::numeric_limits<double>::infinity();
    double maxX = -minX;
    double minY = minX;
    double maxY = -minX;
    for (std::size_t i = 0; i < count; ++i) {
        const QPointF p = sample(i);
        if (std::isfinite(p.x()) && (!xLog || p.x() > 0.0)) {
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
        }
        if (std::isfinite(p.y()) && (!yLog || p.y() > 0.0)) {
            minY = std::min(minY, p.y());
            maxY = std::max(maxY, p.y());
        }
    }
    if (!(minX <= maxX) || !(minY <= maxY))
        return QRectF(1.0, 1.0, -2.0, -2.0);   // invalid: Qwt leaves it out of autoscaling
    return QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
}

bool isLogAxis(const QwtPlot* plot, int axis)
{
    return plot && dynamic_cast<const QwtLogScaleEngine*>(plot->axisScaleEngine(axis)) != nullptr;
}

} // namespace Tessary
