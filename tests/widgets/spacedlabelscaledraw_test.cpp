#include "widgets/spacedlabelscaledraw.h"

#include "widgets/pseudologscaleengine.h"

#include <QImage>
#include <QPainter>
#include <QPalette>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

// The labels a horizontal axis of the given pixel length shows for [lower, upper].
QList<double> labelsOnAxis(QwtScaleEngine* engine, double upper, int length, double lower = 0.0)
{
    double low = lower;
    double high = upper;
    double step = 0.0;
    engine->autoScale(8, low, high, step);
    SpacedLabelScaleDraw draw;
    draw.setAlignment(QwtScaleDraw::BottomScale);
    draw.setScaleDiv(engine->divideScale(low, high, 8, 5, step));
    draw.setTransformation(engine->transformation());
    draw.move(QPointF(20, 0));
    draw.setLength(length);
    QImage image(length + 40, 60, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    draw.draw(&painter, QPalette());
    return draw.shownLabels();
}

} // namespace

// The ends of a pseudo-logarithmic range sit close to the decades: the end
// label that would overlap a decade's is left out, never the decade.
TEST(SpacedLabelScaleDraw, LeavesOutLabelsThatWouldOverlap)
{
    PseudoLogScaleEngine pseudoLog(100.0, 0.5);
    const QList<double> shown = labelsOnAxis(&pseudoLog, 12000.0, 300);
    EXPECT_TRUE(shown.contains(10000.0));
    EXPECT_FALSE(shown.contains(12000.0));
    EXPECT_TRUE(shown.contains(0.0));

    QwtLinearScaleEngine linear;   // evenly spaced ticks keep every label
    const QList<double> all = labelsOnAxis(&linear, 12000.0, 600);
    EXPECT_EQ(all.size(), 7) << all.size();
}

// A range too narrow for its pixels (the scale map's factor overflows to
// infinity) puts every label at infinity: none is laid out, none overflows.
TEST(SpacedLabelScaleDraw, ScaleTooNarrowForItsPixelsLaysOutNoLabel)
{
    QwtLinearScaleEngine linear;
    EXPECT_TRUE(labelsOnAxis(&linear, 7.7e-307, 300, 7e-308).isEmpty());
}
