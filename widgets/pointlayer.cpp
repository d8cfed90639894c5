#include "widgets/pointlayer.h"

#include <QPaintEngine>
#include <QPainter>

#include <qwt_plot.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>
#include <thread>
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

// Device pixels per logical pixel when the painter draws pixels (a widget, an image) with
// at most a uniform scale, as an export at a higher resolution does; 0 otherwise.
qreal rasterScale(const QPainter* painter)
{
    const QPaintEngine* engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return 0.0;
    const QTransform& t = painter->transform();
    if (t.type() > QTransform::TxScale || t.m11() != t.m22() || !(t.m11() > 0.0))
        return 0.0;
    const qreal deviceRatio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    return deviceRatio * t.m11();
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

namespace {

// Runs body(part, parts) on up to eight threads (the calling one included) and waits.
template <typename Body>
void runParallel(int parts, const Body& body)
{
    std::vector<std::thread> threads;
    for (int part = 1; part < parts; ++part)
        threads.emplace_back([&body, part, parts] { body(part, parts); });
    body(0, parts);
    for (std::thread& t : threads)
        t.join();
}

} // namespace

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
    if (colours.isEmpty() || from > to)
        return;

    const int width = size.width();
    const int height = size.height();
    const int half = stampSize / 2;
    const int stampCount = colours.size();
    const std::size_t count = std::size_t(to - from) + 1;
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const int parts = count < 50000 ? 1 : int(cores);
    // Dots further out than this cannot touch the image; also keeps the int maths safe.
    const double limit = double(std::max(width, height)) + stampSize + 16.0;

    // Pass 1, split by samples: where each dot goes and which stamp it uses (-1: none).
    placeLeft.resize(count);
    placeTop.resize(count);
    placeStamp.resize(count);
    runParallel(parts, [&](int part, int partCount) {
        const std::size_t begin = count * std::size_t(part) / std::size_t(partCount);
        const std::size_t end = count * std::size_t(part + 1) / std::size_t(partCount);
        for (std::size_t k = begin; k < end; ++k) {
            placeStamp[k] = -1;
            double x = 0.0;
            double y = 0.0;
            int colour = 0;
            if (!sample(from + int(k), x, y, colour) || colour < 0 || colour >= stampCount)
                continue;
            const double px = (xMap.transform(x) - canvasRect.left()) * ratio;
            const double py = (yMap.transform(y) - canvasRect.top()) * ratio;
            // Non-finite positions (NaN data, values <= 0 on a log axis) are never painted.
            if (!(px > -limit && px < limit && py > -limit && py < limit))
                continue;
            const int qx = int(std::floor(px * Phases + 0.5));
            const int qy = int(std::floor(py * Phases + 0.5));
            const int baseX = qx >= 0 ? qx / Phases : -((-qx + Phases - 1) / Phases);
            const int baseY = qy >= 0 ? qy / Phases : -((-qy + Phases - 1) / Phases);
            placeLeft[k] = baseX - half;
            placeTop[k] = baseY - half;
            placeStamp[k] = colour * Phases * Phases + (qy - baseY * Phases) * Phases + (qx - baseX * Phases);
        }
    });

    // Pass 2, split by rows: stripes of rows are dealt out to the threads in turn (dense
    // regions are shared out evenly), and every thread walks all dots in sample order, so
    // the drawing order holds on every row.
    constexpr int StripeRows = 8;
    auto* bits = reinterpret_cast<quint32*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    const int size1 = stampSize;
    runParallel(parts, [&](int part, int partCount) {
        for (std::size_t k = 0; k < count; ++k) {
            const int index = placeStamp[k];
            if (index < 0)
                continue;
            const int top = placeTop[k];
            const int first = std::max(0, top);
            const int last = std::min(height - 1, top + size1 - 1);
            const Stamp* stamp = nullptr;
            for (int stripe = first / StripeRows; stripe <= last / StripeRows; ++stripe) {
                if (stripe % partCount != part)
                    continue;
                if (!stamp)
                    stamp = &stamps[std::size_t(index)];
                const int left = placeLeft[k];
                const int rowEnd = std::min(last, stripe * StripeRows + StripeRows - 1);
                for (int row = std::max(first, stripe * StripeRows); row <= rowEnd; ++row) {
                    const int r = row - top;
                    const int c0 = std::max(stamp->spans[std::size_t(r)].first, -left);
                    const int c1 = std::min(stamp->spans[std::size_t(r)].second, width - 1 - left);
                    const quint32* src = stamp->pixels.data() + std::size_t(r) * size1;
                    quint32* line = bits + row * stride;
                    for (int c = c0; c <= c1; ++c)
                        line[left + c] = sourceOver(line[left + c], src[c]);
                }
            }
        }
    });
}

void PointLayer::draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                      const QRectF& canvasRect, int from, int to, const SampleReader& sample) const
{
    if (from > to || colours.isEmpty() || !dotPainter)
        return;

    const qreal scale = rasterScale(painter);
    if (scale <= 0.0) {
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
    wanted.ratio = scale;
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
