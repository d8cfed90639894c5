#include "widgets/pseudologscaleengine.h"

#include "widgets/pseudologtransform.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>

using namespace Tessary;

namespace {

QList<double> range(double from, double step, double to)
{
    QList<double> out;
    for (double v = from; v <= to + 1e-9; v += step)
        out.append(v);
    return out;
}

QStringList capturedWarnings;

void captureMessages(QtMsgType, const QMessageLogContext&, const QString& text)
{
    capturedWarnings.append(text);
}

} // namespace

TEST(PseudoLogScaleEngine, InstallsTheMatchingTransform)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    // The engine hands out a copy that the caller owns.
    const std::unique_ptr<QwtTransform> copy(engine.transformation());
    const auto* t = dynamic_cast<const PseudoLogTransform*>(copy.get());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->linearWidth(), 100.0);
    EXPECT_DOUBLE_EQ(t->slope(), 0.005);
    EXPECT_EQ(engine.base(), 10u);
}

// ---- divideScale ------------------------------------------------------------

TEST(PseudoLogScaleEngine, DecadeTicksFromZero)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(0.0, 10000.0, 8, 5, 2000.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), (QList<double>{0, 100, 1000, 10000}));
    QList<double> minor = range(10, 10, 100) + range(200, 100, 1000) + range(2000, 1000, 10000);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MinorTick), minor);
    EXPECT_TRUE(div.ticks(QwtScaleDiv::MediumTick).isEmpty());
    EXPECT_EQ(div.lowerBound(), 0.0);
    EXPECT_EQ(div.upperBound(), 10000.0);
}

TEST(PseudoLogScaleEngine, NegativeStartWalksThroughNegativeDecades)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(-250.0, 5000.0, 8, 5, 1000.0);
    // Aligned to [-1000, 5000]; -1000 falls outside the interval itself.
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), (QList<double>{-100, 0, 100, 1000, 5000}));
    const QList<double> minor = QList<double>{-200, -100} + range(-90, 10, 0) + range(10, 10, 100)
                                + range(200, 100, 1000) + range(2000, 1000, 5000);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MinorTick), minor);
    // The walk reaches zero from below as -0; the tick is a plain 0.
    EXPECT_FALSE(std::signbit(div.ticks(QwtScaleDiv::MajorTick)[1]));
}

TEST(PseudoLogScaleEngine, InsideTheLinearRegionOnlyZeroAndTheEnds)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(-40.0, 60.0, 5, 0, 20.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), (QList<double>{-40, 0, 60}));
    EXPECT_TRUE(div.ticks(QwtScaleDiv::MinorTick).isEmpty()); // minor ticks off
}

TEST(PseudoLogScaleEngine, ReversedEndsGiveAnInvertedDivision)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(10000.0, 0.0, 8, 5, 2000.0);
    EXPECT_FALSE(div.isIncreasing());
    EXPECT_EQ(div.lowerBound(), 10000.0);
    EXPECT_EQ(div.upperBound(), 0.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), (QList<double>{10000, 1000, 100, 0}));
}

TEST(PseudoLogScaleEngine, DegenerateIntervalsGiveEmptyDivisions)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    EXPECT_TRUE(engine.divideScale(5.0, 5.0, 8, 5, 0.0).isEmpty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(engine.divideScale(nan, 5.0, 8, 5, 0.0).isEmpty());

    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessages);
    const QwtScaleDiv huge = engine.divideScale(-DBL_MAX, DBL_MAX, 8, 5, 0.0);
    const QwtScaleDiv infinite = engine.divideScale(0.0, std::numeric_limits<double>::infinity(), 8, 5, 0.0);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(huge.isEmpty());
    EXPECT_TRUE(infinite.isEmpty());
    EXPECT_EQ(capturedWarnings, (QStringList{"PseudoLogScaleEngine::divideScale: overflow",
                                             "PseudoLogScaleEngine::divideScale: overflow"}));
}

TEST(PseudoLogScaleEngine, ChoosesAStepWhenNoneIsGiven)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(0.0, 10000.0, 5, 0, 0.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), (QList<double>{0, 100, 1000, 10000}));
}

// ---- autoScale --------------------------------------------------------------

namespace {

struct Scale
{
    double x1, x2, step;
};

Scale autoScaled(const PseudoLogScaleEngine& engine, double x1, double x2)
{
    double step = 0.0;
    engine.autoScale(5, x1, x2, step);
    return {x1, x2, step};
}

} // namespace

TEST(PseudoLogScaleEngine, AutoScaleAlignsToTheLinearStep)
{
    PseudoLogScaleEngine engine(100.0, 0.5);
    Scale s = autoScaled(engine, 97.0, 3.0);
    EXPECT_EQ(s.x1, 0.0);
    EXPECT_EQ(s.x2, 100.0);
    EXPECT_EQ(s.step, 20.0);

    engine.setAttribute(QwtScaleEngine::Floating);
    s = autoScaled(engine, 3.0, 97.0);
    EXPECT_EQ(s.x1, 3.0);
    EXPECT_EQ(s.x2, 97.0);

    engine.setAttribute(QwtScaleEngine::Floating, false);
    engine.setAttribute(QwtScaleEngine::Inverted);
    s = autoScaled(engine, 3.0, 97.0);
    EXPECT_EQ(s.x1, 100.0);
    EXPECT_EQ(s.x2, 0.0);
    EXPECT_EQ(s.step, -20.0);
}

TEST(PseudoLogScaleEngine, AutoScaleWidensAPointAndHonoursTheReference)
{
    PseudoLogScaleEngine engine(100.0, 0.5);
    Scale s = autoScaled(engine, 50.0, 50.0);
    EXPECT_LT(s.x1, 50.0);
    EXPECT_GT(s.x2, 50.0);
    EXPECT_GT(s.step, 0.0);

    engine.setAttribute(QwtScaleEngine::IncludeReference);
    engine.setReference(-300.0);
    s = autoScaled(engine, 10.0, 90.0);
    EXPECT_LE(s.x1, -300.0);
    EXPECT_GE(s.x2, 90.0);
}
