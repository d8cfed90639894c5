#include "widgets/spacedlabelscaledraw.h"

#include <QPainter>

#include <cmath>

namespace Tessary {

namespace {

constexpr int kLabelGap = 4;   // pixels kept free between two labels
constexpr double kFarthestLabel = 1 << 24;   // pixels; beyond any widget

} // namespace

void SpacedLabelScaleDraw::draw(QPainter* painter, const QPalette& palette) const
{
    drawnRects.clear();
    shown.clear();
    QwtScaleDraw::draw(painter, palette);
}

void SpacedLabelScaleDraw::drawLabel(QPainter* painter, double value) const
{
    // A scale too narrow for its pixels puts labels at infinity or beyond any
    // integer: such a label is left out rather than laid out in ints.
    const QPointF position = labelPosition(value);
    if (!(std::fabs(position.x()) < kFarthestLabel && std::fabs(position.y()) < kFarthestLabel))
        return;
    const QRect rect = boundingLabelRect(painter->font(), value);
    if (!rect.isEmpty()) {
        const QRect padded = rect.adjusted(-kLabelGap, -kLabelGap, kLabelGap, kLabelGap);
        for (const QRect& drawn : drawnRects)
            if (padded.intersects(drawn))
                return;
        drawnRects.append(rect);
    }
    shown.append(value);
    QwtScaleDraw::drawLabel(painter, value);
}

} // namespace Tessary
