#include "widgets/plainpointcurve.h"

#include <QPainter>

#include <qwt_plot.h>
#include <qwt_symbol.h>

namespace Tessary {

PlainPointCurve::PlainPointCurve(const QString& title)
    : QwtPlotCurve(title)
{
}

PlainPointCurve::~PlainPointCurve() = default;

void PlainPointCurve::itemChanged()
{
    dotsValid = false;   // the symbol may have changed
    layer.invalidate();
    QwtPlotCurve::itemChanged();
}

QRectF PlainPointCurve::boundingRect() const
{
    const QwtSeriesData<QPointF>* series = data();
    if (!series)
        return QRectF(1.0, 1.0, -2.0, -2.0);
    return displayableBounds(series->size(), [series](std::size_t i) { return series->sample(i); },
                             isLogAxis(plot(), xAxis()), isLogAxis(plot(), yAxis()));
}

void PlainPointCurve::drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                                  const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const
{
    if (!dotsValid) {
        const QSizeF size = symbol.boundingRect().size();
        const QwtSymbol* look = &symbol;
        layer.setDots({qRgb(0, 0, 0)}, std::max(size.width(), size.height()),
                      [look](QPainter* p, const QPointF& centre, QRgb) { look->drawSymbol(p, centre); }, false);
        dotsValid = true;
    }
    const QwtSeriesData<QPointF>* series = data();
    layer.draw(painter, xMap, yMap, canvasRect, from, to, [series](int i, double& x, double& y, int& colour) {
        const QPointF p = series->sample(size_t(i));
        x = p.x();
        y = p.y();
        colour = 0;
        return true;
    });
}

} // namespace Tessary
