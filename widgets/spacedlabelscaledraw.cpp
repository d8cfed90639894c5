#include "widgets/spacedlabelscaledraw.h"

#include <QPainter>

namespace Tessary {

namespace {

constexpr int kLabelGap = 4;   // pixels kept free between two labels

} // namespace

void SpacedLabelScaleDraw::draw(QPainter* painter, const QPalette& palette) const
{
    drawnRects.clear();
    shown.clear();
    QwtScaleDraw::draw(painter, palette);
}

void SpacedLabelScaleDraw::drawLabel(QPainter* painter, double value) const
{
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
