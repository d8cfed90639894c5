#pragma once

#include <QList>
#include <QRect>

#include <qwt_scale_draw.h>

namespace Tessary {

// A scale draw that leaves out a tick label which would overlap one drawn
// before it. Labels are drawn in tick order, so on a pseudo-logarithmic axis
// the decades stay and a nearby end of the range (12000 beside 10000) goes.
class SpacedLabelScaleDraw : public QwtScaleDraw
{
public:
    void draw(QPainter* painter, const QPalette& palette) const override;

    // The tick values whose labels the last draw showed, in drawing order.
    const QList<double>& shownLabels() const { return shown; }

protected:
    void drawLabel(QPainter* painter, double value) const override;

private:
    mutable QList<QRect> drawnRects;   // of the draw under way
    mutable QList<double> shown;
};

} // namespace Tessary
