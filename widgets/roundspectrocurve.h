#pragma once

#include <qwt_plot_spectrocurve.h>

#include "widgets/pointlayer.h"

namespace Tessary {

// Points coloured by a third value, each a round dot whose diameter is the pen width.
// The dots are stamped into a cached layer, so a replot for an overlay costs one image
// copy. Samples whose colour value is not finite are drawn grey rather than handed to
// the colour map.
class RoundSpectroCurve : public QwtPlotSpectroCurve
{
public:
    explicit RoundSpectroCurve(const QString& title = QString());
    ~RoundSpectroCurve() override;

    QRectF boundingRect() const override;
    void itemChanged() override;

    // Times the point layer was repainted (for checks that overlays leave it alone).
    int layerRenderCount() const { return layer.renderCount(); }

protected:
    void drawDots(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect,
                  int from, int to) const override;

private:
    void updateDots() const;

    mutable PointLayer layer;
    mutable const QwtColorMap* dotsMap = nullptr;
    mutable double dotsWidth = -1.0;
};

} // namespace Tessary
