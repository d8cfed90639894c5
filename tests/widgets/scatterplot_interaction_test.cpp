// Picking, zooming, panning and polygon drawing and editing on the scatter plot's canvas,
// driven through its event filter with synthetic input.
#include "scatterplottesting.h"

#include <QCursor>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRubberBand>

#include <qwt_plot_shapeitem.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>
#include <random>

#include "widgets/pointpickindex.h"

using namespace Tessary;
using Tessary::Testing::ScatterPlotFixture;

namespace {

QString vertexText(const QPointF& v)
{
    return QStringLiteral("(%1,%2)").arg(v.x(), 0, 'g', 4).arg(v.y(), 0, 'g', 4);
}

QwtPlotShapeItem* gateCovering(const QwtPlot& plot, const QPointF& inside)
{
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotShape)) {
        auto* shape = static_cast<QwtPlotShapeItem*>(item);
        if (shape->shape().contains(inside))
            return shape;
    }
    return nullptr;
}

} // namespace

class ScatterPlotInteraction : public ScatterPlotFixture
{
protected:
    void SetUp() override
    {
        ScatterPlotFixture::SetUp();
        plot->setData({50, 53, 90}, {50, 50, 90}, "x", "y", {}, "c");
        setRanges(0, 100, 0, 100);
        recordSignals();
    }

    const QPolygonF square{{QPointF(20, 20), QPointF(80, 20), QPointF(80, 80), QPointF(20, 80)}};
    const QPolygonF triangle{{QPointF(20, 20), QPointF(80, 20), QPointF(50, 80)}};
};

// --- picking and zoom --------------------------------------------------------------

TEST_F(ScatterPlotInteraction, ClickPicksTheNearestPointWithinFivePercent)
{
    click(pixelOf(51, 50));
    click(pixelOf(52.5, 50));
    click(pixelOf(70, 20));   // nothing within 5 % of the plot
    EXPECT_EQ(log, QStringList({"clicked 0", "clicked 1"}));
}

TEST_F(ScatterPlotInteraction, RubberBandZoomsFromSixPixelsAndAThinDragIsAClick)
{
    const QPoint start = pixelOf(90, 90);
    QTest::mousePress(canvas(), Qt::LeftButton, {}, start);
    QTest::mouseMove(canvas(), start + QPoint(20, 3));
    auto* band = canvas()->findChild<QRubberBand*>();
    ASSERT_NE(band, nullptr);
    EXPECT_TRUE(band->isVisible());
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, start + QPoint(20, 3));
    EXPECT_FALSE(band->isVisible());
    EXPECT_EQ(log, QStringList({"clicked 2"}));
    EXPECT_DOUBLE_EQ(range(QwtAxis::XBottom).width(), 100.0);

    const QPoint a = pixelOf(20, 60);
    const QPoint b = pixelOf(40, 30);
    const QPointF low = dataAt(QPoint(a.x(), b.y()));
    const QPointF high = dataAt(QPoint(b.x(), a.y()));
    const double bottom = dataAt(b).y();
    const double top = dataAt(a).y();
    drag(a, b);
    EXPECT_NEAR(range(QwtAxis::XBottom).minValue(), low.x(), 1e-9);
    EXPECT_NEAR(range(QwtAxis::XBottom).maxValue(), low.x() + (high.x() - low.x()), 1e-9);
    EXPECT_NEAR(range(QwtAxis::YLeft).minValue(), bottom, 1e-9);
    EXPECT_NEAR(range(QwtAxis::YLeft).maxValue(), top, 1e-9);
    EXPECT_EQ(log.size(), 1);
}

TEST_F(ScatterPlotInteraction, WheelZoomsAboutTheMouse)
{
    const QPoint at = pixelOf(25, 75);
    const QPointF centre = dataAt(at);
    wheel(at, 120);
    EXPECT_NEAR(range(QwtAxis::XBottom).minValue(), centre.x() - centre.x() * 0.8, 1e-9);
    EXPECT_NEAR(range(QwtAxis::XBottom).width(), 80.0, 1e-9);
    EXPECT_NEAR(range(QwtAxis::YLeft).width(), 80.0, 1e-9);
    EXPECT_FALSE(plot->axisAutoScale(QwtAxis::XBottom));
    wheel(at, -120);
    EXPECT_NEAR(range(QwtAxis::XBottom).width(), 100.0, 1e-6);
}

// On a log axis, zoom and pan work in decades: zooming out keeps positive bounds and
// panning moves both ends by the same factor.
TEST_F(ScatterPlotInteraction, LogAxisZoomsAndPansInDecades)
{
    plot->setScaleMode(QwtAxis::XBottom, 1);
    setRanges(1, 10000, 0, 100);
    const QPoint at = pixelOf(100, 50);
    const double centre = std::log10(dataAt(at).x());
    wheel(at, -120);
    const QwtInterval zoomed = range(QwtAxis::XBottom);
    EXPECT_GT(zoomed.minValue(), 0.0);
    EXPECT_NEAR(std::log10(zoomed.minValue()), centre - (centre - 0.0) * 1.25, 1e-6);
    EXPECT_NEAR(std::log10(zoomed.maxValue()), centre + (4.0 - centre) * 1.25, 1e-6);

    const double decades = std::log10(zoomed.maxValue() / zoomed.minValue());
    drag(pixelOf(100, 50), pixelOf(100, 50) + QPoint(60, 0), Qt::ShiftModifier);
    const QwtInterval panned = range(QwtAxis::XBottom);
    EXPECT_LT(panned.minValue(), zoomed.minValue());
    EXPECT_NEAR(std::log10(panned.maxValue() / panned.minValue()), decades, 1e-9);
}

TEST_F(ScatterPlotInteraction, WheelWithoutVerticalAngleDoesNothing)
{
    wheel(pixelOf(30, 30), 0);
    QWheelEvent sideways(QPointF(pixelOf(30, 30)), QPointF(), QPoint(), QPoint(120, 0), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas(), &sideways);
    EXPECT_DOUBLE_EQ(range(QwtAxis::XBottom).minValue(), 0.0);
    EXPECT_DOUBLE_EQ(range(QwtAxis::XBottom).maxValue(), 100.0);
    EXPECT_DOUBLE_EQ(range(QwtAxis::YLeft).maxValue(), 100.0);
}

TEST_F(ScatterPlotInteraction, RightClickAndDoubleClickRestoreAutoscaling)
{
    click(pixelOf(30, 30), Qt::RightButton);
    EXPECT_TRUE(plot->axisAutoScale(QwtAxis::XBottom));
    EXPECT_TRUE(plot->axisAutoScale(QwtAxis::YLeft));
    setRanges(0, 100, 0, 100);
    doubleClick(pixelOf(30, 30));
    EXPECT_TRUE(plot->axisAutoScale(QwtAxis::XBottom));
    EXPECT_TRUE(plot->axisAutoScale(QwtAxis::YLeft));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(ScatterPlotInteraction, ShiftDragPansAndAReleaseWhileDrawingKeepsTheCross)
{
    const QPoint from = pixelOf(50, 50);
    const QPointF before = dataAt(from);
    const QPointF after = dataAt(from + QPoint(40, 0));
    drag(from, from + QPoint(40, 0), Qt::ShiftModifier);
    // The canvas may change width by a pixel as the tick labels move.
    EXPECT_NEAR(range(QwtAxis::XBottom).minValue(), -(after.x() - before.x()), 0.2);
    EXPECT_NEAR(range(QwtAxis::XBottom).width(), 100.0, 1e-9);
    EXPECT_NEAR(range(QwtAxis::YLeft).minValue(), 0.0, 1e-9);
    EXPECT_EQ(canvas()->cursor().shape(), Qt::ArrowCursor);

    QTest::mousePress(canvas(), Qt::LeftButton, Qt::ShiftModifier, from);
    EXPECT_EQ(canvas()->cursor().shape(), Qt::ClosedHandCursor);
    plot->startPolygonDrawing();
    QTest::mouseRelease(canvas(), Qt::LeftButton, Qt::ShiftModifier, from);
    EXPECT_EQ(canvas()->cursor().shape(), Qt::CrossCursor);
}

// --- drawing -----------------------------------------------------------------------

TEST_F(ScatterPlotInteraction, DrawingEmitsThePolygonThenTheStop)
{
    plot->startPolygonDrawing();
    EXPECT_EQ(canvas()->cursor().shape(), Qt::CrossCursor);
    const QPoint p1 = pixelOf(10, 10);
    const QPoint p2 = pixelOf(40, 10);
    const QPoint p3 = pixelOf(25, 40);
    click(p1);
    QTest::mousePress(canvas(), Qt::LeftButton, {}, p2);
    doubleClick(p2);   // only two vertices: drawing goes on
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, p2);
    EXPECT_TRUE(log.isEmpty());
    QTest::mousePress(canvas(), Qt::LeftButton, {}, p3);
    doubleClick(p3);
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, p3);
    EXPECT_EQ(log, QStringList({"completed " + vertexText(dataAt(p1)) + " " + vertexText(dataAt(p2)) + " "
                                    + vertexText(dataAt(p3)),
                                "drawingStopped"}));
    EXPECT_EQ(canvas()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ScatterPlotInteraction, EscapeStopsDrawingAndIsPassedOnInIdle)
{
    plot->startPolygonDrawing();
    click(pixelOf(10, 10));
    QTest::keyClick(canvas(), Qt::Key_Escape);
    EXPECT_EQ(log, QStringList({"drawingStopped"}));

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(plot->eventFilter(canvas(), &escape));
    plot->cancelPolygonDrawing();   // not drawing: nothing
    EXPECT_EQ(log.size(), 1);
}

TEST_F(ScatterPlotInteraction, HoverPicksOnlyWhileDrawingOrEditing)
{
    QTest::mouseMove(canvas(), pixelOf(50.5, 50));
    EXPECT_TRUE(log.isEmpty());
    plot->startPolygonDrawing();
    QTest::mouseMove(canvas(), pixelOf(50.5, 50));
    QTest::mouseMove(canvas(), pixelOf(50.2, 50));
    QTest::mouseMove(canvas(), pixelOf(20, 80));
    QTest::mouseMove(canvas(), pixelOf(50.2, 50));
    EXPECT_EQ(log, QStringList({"hovered 0", "hovered 0"}));
}

// --- editing -----------------------------------------------------------------------

TEST_F(ScatterPlotInteraction, RightClickDeletesVerticesDownToThree)
{
    plot->startPolygonEditing(7, triangle);
    click(pixelOf(80, 20), Qt::RightButton);
    EXPECT_TRUE(log.isEmpty());
    plot->startPolygonEditing(7, square);
    click(pixelOf(80, 20), Qt::RightButton);
    EXPECT_EQ(log, QStringList({"edited 7 (20,20) (80,80) (20,80)"}));

    // A right press during a drag: deleting the dragged vertex ends the drag,
    // deleting another one leaves the drag on the vertex it holds.
    const QPolygonF pentagon{{QPointF(20, 20), QPointF(80, 20), QPointF(80, 80), QPointF(20, 80), QPointF(10, 50)}};
    plot->startPolygonEditing(7, pentagon);
    log.clear();
    QTest::mousePress(canvas(), Qt::LeftButton, {}, pixelOf(80, 80));
    QTest::mouseMove(canvas(), pixelOf(70, 70));
    QTest::mousePress(canvas(), Qt::RightButton, {}, pixelOf(70, 70));
    QTest::mouseMove(canvas(), pixelOf(60, 60));
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, pixelOf(60, 60));
    EXPECT_EQ(log, QStringList({"edited 7 (20,20) (80,20) (20,80) (10,50)"}));

    plot->startPolygonEditing(7, pentagon);
    log.clear();
    QTest::mousePress(canvas(), Qt::LeftButton, {}, pixelOf(20, 80));
    QTest::mousePress(canvas(), Qt::RightButton, {}, pixelOf(20, 20));
    QTest::mouseMove(canvas(), pixelOf(30, 70));
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, pixelOf(30, 70));
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[1], "edited 7 (80,20) (80,80) " + vertexText(dataAt(pixelOf(30, 70))) + " (10,50)");
}

TEST_F(ScatterPlotInteraction, PressNearAnEdgeInsertsAVertexAndDragsIt)
{
    plot->startPolygonEditing(7, square);
    const QPoint middle = pixelOf(50, 20);
    click(middle + QPoint(0, 9));   // too far from the edge: nothing
    EXPECT_TRUE(log.isEmpty());

    QTest::mousePress(canvas(), Qt::LeftButton, {}, middle + QPoint(0, 5));
    EXPECT_EQ(canvas()->cursor().shape(), Qt::ClosedHandCursor);
    const QPoint target = pixelOf(50, 5);
    QTest::mouseMove(canvas(), target);
    EXPECT_TRUE(log.isEmpty());   // nothing is sent during the drag
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, target);
    EXPECT_EQ(log, QStringList({"edited 7 (20,20) " + vertexText(dataAt(target)) + " (80,20) (80,80) (20,80)"}));
    EXPECT_EQ(canvas()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ScatterPlotInteraction, PressBetweenTwoVerticesDragsTheLowerIndex)
{
    const QPoint press = pixelOf(50, 50);
    const QPointF above = dataAt(press - QPoint(0, 4));
    const QPointF below = dataAt(press + QPoint(0, 4));
    plot->startPolygonEditing(7, QPolygonF({above, below, QPointF(90, 90)}));
    QTest::mousePress(canvas(), Qt::LeftButton, {}, press);
    const QPoint target = pixelOf(10, 50);
    QTest::mouseMove(canvas(), target);
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, target);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith("edited 7 " + vertexText(dataAt(target)) + " " + vertexText(below)));
}

// Moving the edit to another gate must end the old edit completely before anyone hears
// of it: the receiver sees no edit under way and the old gate drawn again.
TEST_F(ScatterPlotInteraction, MovingTheEditToAnotherGateEndsTheOldEditFirst)
{
    plot->addPolygonGate(5, square, true);
    plot->addPolygonGate(3, QPolygonF({QPointF(85, 85), QPointF(95, 85), QPointF(95, 95)}), true);
    QwtPlotShapeItem* gate5 = gateCovering(*plot, QPointF(50, 50));
    QwtPlotShapeItem* gate3 = gateCovering(*plot, QPointF(94, 86));
    ASSERT_TRUE(gate5 && gate3);

    plot->startPolygonEditing(5, square);
    EXPECT_FALSE(gate5->isVisible());
    bool seenEditing = true;
    bool seenGate5 = false;
    bool seenGate3 = false;
    QObject::connect(plot.get(), &ScatterPlot::polygonEditingStopped, [&](int) {
        seenEditing = plot->isEditingPolygon() || plot->editingPolygonId() != -1;
        seenGate5 = gate5->isVisible();
        seenGate3 = gate3->isVisible();
    });
    plot->startPolygonEditing(3, QPolygonF({QPointF(85, 85), QPointF(95, 85), QPointF(95, 95)}));
    EXPECT_EQ(log, QStringList({"editingStopped 5"}));
    EXPECT_FALSE(seenEditing);
    EXPECT_TRUE(seenGate5);
    EXPECT_TRUE(seenGate3);
    EXPECT_FALSE(gate3->isVisible());
    EXPECT_EQ(plot->editingPolygonId(), 3);
}

TEST_F(ScatterPlotInteraction, ChangingModeEmitsTheStopOfTheModeLeft)
{
    plot->startPolygonEditing(5, square);
    plot->startPolygonEditing(5, triangle);   // same gate: vertices replaced, nothing sent
    plot->startPolygonDrawing();
    plot->startPolygonEditing(5, square);
    QTest::keyClick(canvas(), Qt::Key_Escape);
    plot->stopPolygonEditing();
    EXPECT_EQ(log, QStringList({"editingStopped 5", "drawingStopped", "editingStopped 5"}));
    EXPECT_FALSE(plot->isEditingPolygon());
    EXPECT_EQ(plot->editingPolygonId(), -1);
}

// --- pick index --------------------------------------------------------------------

TEST_F(ScatterPlotInteraction, PickIndexAgreesWithAFullScan)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(50.0, 20.0);
    std::vector<double> x(20000);
    std::vector<double> y(20000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = normal(rng);
        y[i] = normal(rng);
    }
    x[5] = std::numeric_limits<double>::quiet_NaN();
    x[7] = x[3];   // an exact duplicate: the lower index wins
    y[7] = y[3];
    const QwtScaleMap xMap = plot->canvasMap(QwtAxis::XBottom);
    const QwtScaleMap yMap = plot->canvasMap(QwtAxis::YLeft);
    const double sx = std::fabs(xMap.p2() - xMap.p1());
    const double sy = std::fabs(yMap.p2() - yMap.p1());

    PointPickIndex index;
    std::uniform_real_distribution<double> across(-20.0, 660.0);
    std::vector<QPointF> probes = {QPointF(xMap.transform(x[3]), yMap.transform(y[3]))};
    for (int k = 0; k < 400; ++k)
        probes.emplace_back(across(rng), across(rng) * 0.75);
    for (const QPointF& p : probes) {
        int expected = -1;
        double best = 0.05 * 0.05;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double dx = (xMap.transform(x[i]) - p.x()) / sx;
            const double dy = (yMap.transform(y[i]) - p.y()) / sy;
            if (dx * dx + dy * dy < best) {
                best = dx * dx + dy * dy;
                expected = int(i);
            }
        }
        ASSERT_EQ(index.pick(x, y, xMap, yMap, p), expected) << p.x() << "," << p.y();
    }
    EXPECT_EQ(index.pick(x, y, xMap, yMap, probes[0]), 3);
}
