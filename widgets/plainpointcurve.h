#pragma once

#include <qwt_plot_curve.h>

#include "widgets/pointlayer.h"

namespace Tessary {

// A curve of symbols without lines whose symbols are stamped into a cached layer; used
// for the scatter plot's uncoloured points.
class PlainPointCurve : public QwtPlotCurve
{
public:
    explicit PlainPointCurve(const QString& title = QString());
    ~PlainPointCurve() override;

    QRectF boundingRect() const override;
    void itemChanged() override;

    int layerRenderCount() const { return layer.renderCount(); }

protected:
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                     const QRectF& canvasRect, int from, int to) const override;

private:
    mutable PointLayer layer;
    mutable bool dotsValid = false;
};

} // namespace Tessary
