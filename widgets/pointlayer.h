#pragma once

#include <QImage>
#include <QRectF>
#include <QRgb>
#include <QVector>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;
class QwtPlot;
class QwtScaleMap;

namespace Tessary {

// A cached raster of many equal dots, so that a plot with 10^6 points repaints its
// overlays (highlight, gates, rubber band) without repainting the points. Each dot is
// stamped from a pre-rendered, antialiased image (one per colour and quarter-pixel
// phase) and blended in sample order, so later points cover earlier ones. The image is
// rebuilt only when the data version, the scale maps, the canvas size, the sample range
// or the dots change. Output to a vector device (SVG, PDF) paints the dots one by one.
class PointLayer
{
public:
    // Paints one dot centred on the point in the given colour.
    using DotPainter = std::function<void(QPainter*, const QPointF&, QRgb)>;
    // Gives the coordinates and the colour slot of sample i; false leaves it out.
    using SampleReader = std::function<bool(int i, double& x, double& y, int& colour)>;

    // Sets the look: one stamp per colour slot. extent is the dot's full width in
    // pixels (pen included). With tintCoverage the dot is painted once in white and its
    // coverage tinted per colour, which is exact for dots without a pen.
    void setDots(const QVector<QRgb>& colours, double extent, const DotPainter& painter, bool tintCoverage);
    // Forgets the raster; call it whenever the samples or their colours change.
    void invalidate();

    void draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect,
              int from, int to, const SampleReader& sample) const;

    // Number of times the raster was rebuilt (lets callers check that the cache holds).
    int renderCount() const { return renders; }

private:
    struct Stamp
    {
        std::vector<quint32> pixels;                // size × size, premultiplied ARGB
        std::vector<std::pair<int, int>> spans;     // per row: first and last non-empty column
    };
    struct Key
    {
        double x[4] = {0, 0, 0, 0};
        double y[4] = {0, 0, 0, 0};
        std::size_t xTransform = 0;
        std::size_t yTransform = 0;
        QRectF rect;
        qreal ratio = 1.0;
        int from = 0;
        int to = -1;
        bool operator==(const Key& o) const;
    };

    void buildStamps(qreal ratio) const;
    void render(const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect, qreal ratio,
                int from, int to, const SampleReader& sample) const;

    QVector<QRgb> colours;
    double extent = 0.0;
    DotPainter dotPainter;
    bool tint = false;

    mutable std::vector<Stamp> stamps;             // colour × 16 phases
    mutable int stampSize = 0;
    mutable qreal stampRatio = 0.0;
    mutable bool valid = false;
    mutable Key key;
    mutable QImage image;
    mutable int renders = 0;
    mutable std::vector<int> placeLeft;   // per sample: stamp position and index (-1: not drawn)
    mutable std::vector<int> placeTop;
    mutable std::vector<int> placeStamp;
};

// Bounds of the finite samples, with only positive values on a logarithmic axis (an
// invalid rectangle when nothing is left): what the curves hand to autoscaling.
QRectF displayableBounds(std::size_t count, const std::function<QPointF(std::size_t)>& sample, bool xLog, bool yLog);

// Whether the plot's axis runs on a logarithmic scale engine.
bool isLogAxis(const QwtPlot* plot, int axis);

} // namespace Tessary
