#include "widgets/roundspectrocurve.h"

#include <QPainter>

#include <qwt_color_map.h>
#include <qwt_plot.h>

#include <cmath>

namespace Tessary {

namespace {

constexpr int ColourSteps = 256;                  // colour slots along the map
const QRgb NoValueColour = qRgb(160, 160, 160);   // slot ColourSteps: no finite colour value

} // namespace

RoundSpectroCurve::RoundSpectroCurve(const QString& title)
    : QwtPlotSpectroCurve(title)
{
}

RoundSpectroCurve::~RoundSpectroCurve() = default;

void RoundSpectroCurve::itemChanged()
{
    // A new colour map may sit at the address of the old one: rebuild the stamps too.
    dotsMap = nullptr;
    layer.invalidate();
    QwtPlotSpectroCurve::itemChanged();
}

QRectF RoundSpectroCurve::boundingRect() const
{
    const QwtSeriesData<QwtPoint3D>* series = data();
    if (!series)
        return QRectF(1.0, 1.0, -2.0, -2.0);
    return displayableBounds(series->size(),
                             [series](std::size_t i) {
                                 const QwtPoint3D p = series->sample(i);
                                 return QPointF(p.x(), p.y());
                             },
                             isLogAxis(plot(), xAxis()), isLogAxis(plot(), yAxis()));
}

void RoundSpectroCurve::updateDots() const
{
    const QwtColorMap* map = colorMap();
    if (map == dotsMap && penWidth() == dotsWidth)
        return;
    dotsMap = map;
    dotsWidth = penWidth();
    // The map's colours at evenly spaced fractions; the ends are its first and last colour.
    QVector<QRgb> colours(ColourSteps + 1);
    const QwtInterval unit(0.0, 1.0);
    for (int k = 0; k < ColourSteps; ++k)
        colours[k] = map->rgb(unit, double(k) / (ColourSteps - 1));
    colours[ColourSteps] = NoValueColour;
    const double radius = dotsWidth / 2.0;
    layer.setDots(colours, dotsWidth,
                  [radius](QPainter* painter, const QPointF& centre, QRgb colour) {
                      painter->setPen(Qt::NoPen);
                      painter->setBrush(QColor::fromRgba(colour));
                      painter->drawEllipse(centre, radius, radius);
                  },
                  true);
}

void RoundSpectroCurve::drawDots(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                 const QRectF& canvasRect, int from, int to) const
{
    if (!colorMap() || from > to)
        return;
    updateDots();
    const QwtInterval range = colorRange();
    // Values spread wider than the largest double overflow the width; halved,
    // both ends and every value stay finite and the fractions stay the same.
    const double scale = std::isfinite(range.width()) ? 1.0 : 0.5;
    const double low = range.minValue() * scale;
    const double span = range.maxValue() * scale - low;
    const QwtSeriesData<QwtPoint3D>* series = data();
    layer.draw(painter, xMap, yMap, canvasRect, from, to, [&](int i, double& x, double& y, int& colour) {
        const QwtPoint3D p = series->sample(size_t(i));
        x = p.x();
        y = p.y();
        const double z = p.z();
        if (!std::isfinite(z)) {
            colour = ColourSteps;
        } else if (!(span > 0.0)) {
            colour = 0;
        } else {
            const double f = (z * scale - low) / span;
            // Decided in floating point, so that no fraction outside [0, 1]
            // (nor a NaN) reaches the conversion.
            colour = !(f > 0.0) ? 0 : f >= 1.0 ? ColourSteps - 1 : int(f * (ColourSteps - 1) + 0.5);
        }
        return true;
    });
}

} // namespace Tessary
