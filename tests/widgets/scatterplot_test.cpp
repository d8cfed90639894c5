// Data, colouring, scales, overlays and the export look of the scatter plot.
#include "scatterplottesting.h"
#include "widgets/spacedlabelscaledraw.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QPen>

#include <qwt_color_map.h>
#include <qwt_scale_engine.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

#include <cmath>
#include <limits>

#include "widgets/colormaps.h"
#include "widgets/densitycontours.h"
#include "widgets/plotexportstyle.h"
#include "widgets/pseudologscaleengine.h"

using namespace Tessary;
using Tessary::Testing::ScatterPlotFixture;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<QwtPlotCurve*> curvesAtZ(const QwtPlot& plot, double z)
{
    std::vector<QwtPlotCurve*> found;
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->z() == z)
            found.push_back(static_cast<QwtPlotCurve*>(item));
    return found;
}

int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

bool colourBarOn(const ScatterPlot& plot)
{
    return plot.isAxisVisible(QwtAxis::YRight) && plot.axisWidget(QwtAxis::YRight)->isColorBarEnabled();
}

} // namespace

using ScatterPlotTest = ScatterPlotFixture;

// --- data and colouring -----------------------------------------------------------

TEST_F(ScatterPlotTest, MismatchedOrEmptyColumnsLeaveAnEmptyPlainPlot)
{
    plot->setData({1, 2, 3}, {1, 2, 3}, "x", "y", {5, 6, 7}, "c");
    plot->setContours({DensityContour{0.5, 1.0, {{{0, 0}, {1, 1}}}}});
    plot->highlightPoint(1);
    ASSERT_TRUE(colourBarOn(*plot));

    plot->setData({1, 2, 3}, {1, 2}, "x", "y", {}, "c");
    EXPECT_FALSE(colourBarOn(*plot));
    EXPECT_TRUE(curvesAtZ(*plot, 40).empty());
    plot->setData({}, {}, "x", "y", {}, "c");
    EXPECT_FALSE(colourBarOn(*plot));
    // The highlight stays hidden, and a click picks nothing.
    setRanges(0, 4, 0, 4);
    recordSignals();
    click(pixelOf(2, 2));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(ScatterPlotTest, EqualColourValuesGiveAUnitRangeAndTheFirstColour)
{
    plot->setData({10, 50, 90}, {50, 50, 50}, "x", "y", {7, 7, 7}, "c");
    setRanges(0, 100, 0, 100);
    const QwtInterval bar = plot->axisWidget(QwtAxis::YRight)->colorBarInterval();
    EXPECT_DOUBLE_EQ(bar.minValue(), 7.0);
    EXPECT_DOUBLE_EQ(bar.maxValue(), 8.0);
    const QImage image = canvasImage();
    EXPECT_LE(distance(image.pixel(pixelOf(50, 50)), qRgb(68, 1, 84)), 2);
}

TEST_F(ScatterPlotTest, PixelsShowTheMapColoursThePlainColourAndTheHighlight)
{
    plot->setColorMap(1);   // Jet: blue at the low end, red at the high end
    plot->setData({20, 80}, {50, 50}, "x", "y", {0, 10}, "c");
    setRanges(0, 100, 0, 100);
    QImage image = canvasImage();
    EXPECT_LE(distance(image.pixel(pixelOf(20, 50)), qRgb(0, 0, 255)), 2);
    EXPECT_LE(distance(image.pixel(pixelOf(80, 50)), qRgb(255, 0, 0)), 2);

    // Plain points: the translucent fill over the white canvas.
    plot->setData({20, 80}, {50, 50}, "x", "y", {}, "c");
    image = canvasImage();
    EXPECT_LE(distance(image.pixel(pixelOf(20, 50)), qRgb(155, 182, 197)), 3);

    plot->highlightPoint(1);
    image = canvasImage();
    EXPECT_LE(distance(image.pixel(pixelOf(80, 50)), qRgb(254, 204, 0)), 2);
}

// Later events cover earlier ones, also when the points are painted on several threads.
TEST_F(ScatterPlotTest, LaterPointsCoverEarlierOnes)
{
    std::vector<double> x(120000, 10.0);
    std::vector<double> y(120000, 10.0);
    std::vector<double> c(120000, 0.0);
    x.back() = 50.0;
    y.back() = 50.0;
    c.back() = 1.0;
    x[x.size() - 2] = 50.0;
    y[y.size() - 2] = 50.0;
    plot->setData(x, y, "x", "y", c, "c");
    setRanges(0, 100, 0, 100);
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(50, 50)), qRgb(253, 231, 37)), 2);
    std::swap(c[c.size() - 1], c[c.size() - 2]);
    plot->setData(x, y, "x", "y", c, "c");
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(50, 50)), qRgb(68, 1, 84)), 2);
}

TEST_F(ScatterPlotTest, ColourColumnOfAnotherLengthFallsBackToThePlainColour)
{
    plot->setData({20, 80}, {50, 50}, "x", "y", {1}, "c");
    setRanges(0, 100, 0, 100);
    EXPECT_FALSE(colourBarOn(*plot));
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(20, 50)), qRgb(155, 182, 197)), 3);
}

// A NaN colour value must neither stretch the colour range nor reach the colour map.
TEST_F(ScatterPlotTest, ColourRangeSpansFiniteValuesOnly)
{
    plot->setData({20, 50, 80}, {50, 50, 50}, "x", "y", {NaN, 2.0, 4.0}, "c");
    setRanges(0, 100, 0, 100);
    const QwtInterval bar = plot->axisWidget(QwtAxis::YRight)->colorBarInterval();
    EXPECT_DOUBLE_EQ(bar.minValue(), 2.0);
    EXPECT_DOUBLE_EQ(bar.maxValue(), 4.0);
    const QImage image = canvasImage();
    EXPECT_LE(distance(image.pixel(pixelOf(50, 50)), qRgb(68, 1, 84)), 2);
    EXPECT_LE(distance(image.pixel(pixelOf(80, 50)), qRgb(253, 231, 37)), 2);
    EXPECT_LE(distance(image.pixel(pixelOf(20, 50)), qRgb(160, 160, 160)), 2);

    plot->setData({20, 80}, {50, 50}, "x", "y", {NaN, std::numeric_limits<double>::infinity()}, "c");
    const QwtInterval none = plot->axisWidget(QwtAxis::YRight)->colorBarInterval();
    EXPECT_TRUE(std::isfinite(none.minValue()) && std::isfinite(none.maxValue()));

    // Finite values further apart than the largest double still span the map.
    plot->setData({20, 50, 80}, {50, 50, 50}, "x", "y", {-1e308, 0.0, 1e308}, "c");
    const QImage wide = canvasImage();
    EXPECT_LE(distance(wide.pixel(pixelOf(20, 50)), qRgb(68, 1, 84)), 2);
    EXPECT_GT(distance(wide.pixel(pixelOf(50, 50)), qRgb(68, 1, 84)), 60);
    EXPECT_LE(distance(wide.pixel(pixelOf(80, 50)), qRgb(253, 231, 37)), 2);
}

TEST_F(ScatterPlotTest, ColourMapChangesOnlyWhenShownAndDifferent)
{
    plot->setData({50}, {50}, "x", "y", {1}, "c");
    setRanges(0, 100, 0, 100);
    plot->setColorMap(5);   // Grayscale: black at the low end
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(50, 50)), qRgb(0, 0, 0)), 2);

    plot->setScatterVisible(false);
    plot->setColorMap(1);
    EXPECT_FALSE(colourBarOn(*plot));
    plot->setScatterVisible(true);
    // Shown again without the colour bar, still in the old map until the next setData.
    EXPECT_FALSE(colourBarOn(*plot));
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(50, 50)), qRgb(0, 0, 0)), 2);
    plot->setData({50}, {50}, "x", "y", {1}, "c");
    EXPECT_TRUE(colourBarOn(*plot));
    EXPECT_LE(distance(canvasImage().pixel(pixelOf(50, 50)), qRgb(0, 0, 255)), 2);
}

TEST_F(ScatterPlotTest, HighlightOutsideTheDataIsHidden)
{
    plot->setData({20, 80}, {50, 50}, "x", "y", {}, "c");
    setRanges(0, 100, 0, 100);
    const QImage before = canvasImage();
    plot->highlightPoint(-1);
    EXPECT_EQ(canvasImage(), before);
    plot->highlightPoint(2);
    EXPECT_EQ(canvasImage(), before);
}

TEST(ColorMaps, EndsStopsAndFallback)
{
    const QwtInterval unit(0.0, 1.0);
    std::unique_ptr<QwtLinearColorMap> jetPlus(createColorMap(2));
    EXPECT_EQ(jetPlus->rgb(unit, 0.0) & 0xffffff, qRgb(100, 0, 180) & 0xffffff);
    EXPECT_EQ(jetPlus->rgb(unit, 0.2) & 0xffffff, qRgb(0, 0, 255) & 0xffffff);
    EXPECT_EQ(jetPlus->rgb(unit, 1.0) & 0xffffff, qRgb(255, 0, 0) & 0xffffff);
    std::unique_ptr<QwtLinearColorMap> qvnd(createColorMap(4));
    EXPECT_EQ(qvnd->rgb(unit, 1.0) & 0xffffff, qRgb(254, 204, 0) & 0xffffff);
    std::unique_ptr<QwtLinearColorMap> outside(createColorMap(9));
    EXPECT_EQ(outside->rgb(unit, 0.0) & 0xffffff, qRgb(68, 1, 84) & 0xffffff);
    EXPECT_EQ(outside->colorStops().size(), 5);
}

// --- scales -------------------------------------------------------------------------

// Values <= 0 on a log axis are neither painted nor allowed to pull the autoscaled
// lower bound down to the engine's floor.
TEST_F(ScatterPlotTest, LogAxisAutoscalesFromPositiveValuesAndSkipsTheRest)
{
    plot->setScaleMode(QwtAxis::XBottom, 1);
    plot->setData({-5, 0, 10, 100, NaN}, {50, 60, 50, 60, 70}, "x", "y", {}, "c");
    plot->replot();
    EXPECT_GE(range(QwtAxis::XBottom).minValue(), 1.0);
    EXPECT_LE(range(QwtAxis::XBottom).maxValue(), 1000.0);

    ScatterPlot clean;
    clean.resize(plot->size());
    clean.show();
    clean.setScaleMode(QwtAxis::XBottom, 1);
    clean.setData({10, 100}, {50, 60}, "x", "y", {}, "c");
    for (QwtPlot* p : {static_cast<QwtPlot*>(plot.get()), static_cast<QwtPlot*>(&clean)}) {
        p->setAxisScale(QwtAxis::XBottom, 1, 1000);
        p->setAxisScale(QwtAxis::YLeft, 0, 100);
        p->replot();
    }
    QApplication::processEvents();
    EXPECT_EQ(canvasImage(), clean.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32));

    // A highlighted event the log axis cannot place is hidden, on the axis change as well.
    plot->setScaleMode(QwtAxis::XBottom, 0);
    plot->highlightPoint(0);
    plot->setScaleMode(QwtAxis::XBottom, 1);
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        if (static_cast<QwtPlotCurve*>(item)->dataSize() == 1) {
            EXPECT_FALSE(item->isVisible());
        }
    }
}

TEST_F(ScatterPlotTest, ScaleModeInstallsTheEngineAndAutoscales)
{
    plot->setData({1, 10, 1000}, {1, 2, 3}, "x", "y", {}, "c");
    setRanges(0, 5, 0, 5);
    plot->setScaleMode(QwtAxis::XBottom, 2);
    EXPECT_TRUE(plot->axisAutoScale(QwtAxis::XBottom));
    EXPECT_NE(dynamic_cast<PseudoLogScaleEngine*>(plot->axisScaleEngine(QwtAxis::XBottom)), nullptr);
    EXPECT_GE(range(QwtAxis::XBottom).maxValue(), 1000.0);
    plot->setScaleMode(QwtAxis::XBottom, 7);
    EXPECT_NE(dynamic_cast<QwtLinearScaleEngine*>(plot->axisScaleEngine(QwtAxis::XBottom)), nullptr);
}

// A finite range so narrow that pixels per unit overflow a double (area_um of
// 7e-308 .. 7.7e-307) still gets a scale: its labels are laid out and its
// points drawn.
TEST_F(ScatterPlotTest, TinyValuesGetAnAxisWithLabelsAndPoints)
{
    const auto labels = [this] {
        return static_cast<const SpacedLabelScaleDraw*>(plot->axisScaleDraw(QwtAxis::XBottom))->shownLabels();
    };
    for (int mode : {0, 2}) {
        plot->setScaleMode(QwtAxis::XBottom, mode);
        plot->setData({7e-308, 3e-307, 7.7e-307}, {1, 2, 3}, "x", "y", {}, "c");
        plot->replot();
        QApplication::processEvents();
        const QImage image = canvasImage();
        plot->setData({}, {}, "x", "y", {}, "c");
        plot->replot();
        QApplication::processEvents();
        EXPECT_NE(image, canvasImage()) << "mode " << mode << ": no point drawn";
        plot->setData({7e-308, 3e-307, 7.7e-307}, {1, 2, 3}, "x", "y", {}, "c");
        plot->replot();
        QApplication::processEvents();
        plot->grab();   // draws the axes
        EXPECT_FALSE(labels().isEmpty()) << "mode " << mode;
        for (double value : labels())
            EXPECT_TRUE(std::isfinite(plot->transform(QwtAxis::XBottom, value))) << "mode " << mode;
    }
}

// --- overlays ----------------------------------------------------------------------

TEST_F(ScatterPlotTest, ContoursAreDashedThenSolidBlackAndSkipSinglePoints)
{
    DensityContour outer{0.5, 1.0, {{{0, 0}, {10, 0}, {10, 10}}, {{5, 5}}}};
    DensityContour inner{0.9, 2.0, {{{2, 2}, {4, 4}}}};
    plot->setContours({outer, inner});
    const auto curves = curvesAtZ(*plot, 40);
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0]->pen().style(), Qt::DashLine);
    EXPECT_EQ(curves[1]->pen().style(), Qt::SolidLine);
    for (QwtPlotCurve* c : curves) {
        EXPECT_EQ(c->pen().color(), QColor(Qt::black));
        EXPECT_EQ(c->pen().width(), 2);
        EXPECT_FALSE(c->testItemAttribute(QwtPlotItem::Legend));
    }
    EXPECT_EQ(curves[0]->dataSize(), 3u);

    plot->clearData();
    EXPECT_TRUE(curvesAtZ(*plot, 40).empty());
}

TEST_F(ScatterPlotTest, IsoelasticLabelsCarryTheValueAtTheLastPoint)
{
    std::vector<IsoelasticLine> lines = {{0.5, {{10, 0.01}, {20, 0.02}}},
                                         {1.0, {{10, 0.02}, {30, 0.04}}},
                                         {2.5, {{10, 0.03}, {40, 0.05}}},
                                         {9.0, {{1, 1}}}};
    plot->setIsoElasticityLines(lines, true);
    const auto markers = plot->itemList(QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(markers.size(), 3);
    QStringList texts;
    for (QwtPlotItem* item : markers)
        texts << static_cast<QwtPlotMarker*>(item)->label().text();
    EXPECT_EQ(texts, QStringList({"0.50 kPa", "1.0 kPa", "2.5 kPa"}));
    EXPECT_EQ(static_cast<QwtPlotMarker*>(markers[2])->value(), QPointF(40, 0.05));
    EXPECT_EQ(curvesAtZ(*plot, -10).size(), 3u);
    EXPECT_FALSE(curvesAtZ(*plot, -10)[0]->testItemAttribute(QwtPlotItem::AutoScale));

    plot->setIsoElasticityLines(lines, false);
    EXPECT_TRUE(plot->itemList(QwtPlotItem::Rtti_PlotMarker).isEmpty());
    plot->clearIsoElasticityLines();
    EXPECT_TRUE(curvesAtZ(*plot, -10).empty());
}

TEST_F(ScatterPlotTest, AddingAGateTwiceKeepsOneItemWithTheLastLook)
{
    const QPolygonF square({QPointF(10, 10), QPointF(20, 10), QPointF(20, 20), QPointF(10, 20)});
    plot->addPolygonGate(4, square, true);
    plot->addPolygonGate(4, square, false);
    const auto shapes = plot->itemList(QwtPlotItem::Rtti_PlotShape);
    ASSERT_EQ(shapes.size(), 1);
    const auto* gate = static_cast<QwtPlotShapeItem*>(shapes[0]);
    EXPECT_EQ(gate->pen().style(), Qt::DashLine);
    EXPECT_EQ(gate->pen().color(), QColor(160, 160, 160, 180));
    EXPECT_EQ(gate->brush().color(), QColor(160, 160, 160, 25));
    EXPECT_EQ(gate->z(), 50);
    plot->clearPolygonGates();
    EXPECT_TRUE(plot->itemList(QwtPlotItem::Rtti_PlotShape).isEmpty());
}

// A gate keeps the region with straight edges on its own axes; shown on other axes
// its edges must bend accordingly.
TEST_F(ScatterPlotTest, GateFromOtherScaleModesIsDrawnWithItsOwnEdges)
{
    plot->setScaleMode(QwtAxis::XBottom, 1);
    plot->setScaleMode(QwtAxis::YLeft, 1);
    const QPolygonF triangle({QPointF(10, 10), QPointF(1000, 1000), QPointF(10, 1000)});

    plot->addPolygonGate(1, triangle, true, 0, 0);
    auto* linearGate = static_cast<QwtPlotShapeItem*>(plot->itemList(QwtPlotItem::Rtti_PlotShape).value(0));
    ASSERT_NE(linearGate, nullptr);
    // The straight linear diagonal passes through (505, 505) and stays on the line y = x.
    const QPolygonF outline = linearGate->shape().toFillPolygon();
    bool throughMiddle = false;
    for (const QPointF& p : outline) {
        if (p.x() > 10 && p.x() < 1000 && p.y() < 1000) {
            EXPECT_NEAR(p.x(), p.y(), 1e-6 * p.x());
        }
        throughMiddle = throughMiddle || (std::abs(p.x() - 505) < 1e-6 && std::abs(p.y() - 505) < 1e-6);
    }
    EXPECT_TRUE(throughMiddle);

    // The same polygon drawn on these very axes keeps its three corners.
    plot->addPolygonGate(1, triangle, true, 1, 1);
    auto* logGate = static_cast<QwtPlotShapeItem*>(plot->itemList(QwtPlotItem::Rtti_PlotShape).value(0));
    EXPECT_EQ(logGate->shape().toFillPolygon().size(), 4);   // three corners and the closing point
}

// --- point layer -------------------------------------------------------------------

TEST_F(ScatterPlotTest, OverlaysRepaintWithoutRepaintingThePoints)
{
    std::vector<double> x(2000);
    std::vector<double> y(2000);
    std::vector<double> c(2000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = double(i % 100);
        y[i] = double(i / 20);
        c[i] = double(i);
    }
    plot->setData(x, y, "x", "y", c, "c");
    setRanges(0, 100, 0, 100);
    canvasImage();
    const int renders = plot->pointLayerRenders();
    plot->highlightPoint(5);
    plot->addPolygonGate(0, QPolygonF({QPointF(1, 1), QPointF(50, 1), QPointF(50, 50)}), true);
    canvasImage();
    EXPECT_EQ(plot->pointLayerRenders(), renders);
    wheel(pixelOf(50, 50), 120);
    canvasImage();
    EXPECT_EQ(plot->pointLayerRenders(), renders + 1);
}

// Exports draw the points at the target's resolution, and as shapes on vector devices.
TEST_F(ScatterPlotTest, RenderedExportsScaleThePoints)
{
    plot->setData({20, 50, 80}, {50, 50, 50}, "x", "y", {3, 3, 3}, "c");
    setRanges(0, 100, 0, 100);
    auto countDotPixels = [](const QImage& image) {
        int n = 0;
        for (int yy = 0; yy < image.height(); ++yy)
            for (int xx = 0; xx < image.width(); ++xx)
                n += distance(image.pixel(xx, yy), qRgb(68, 1, 84)) <= 2 ? 1 : 0;
        return n;
    };
    QwtPlotRenderer renderer;
    QImage single(640, 480, QImage::Format_RGB32);
    single.fill(Qt::white);
    {
        QPainter painter(&single);
        renderer.render(plot.get(), &painter, QRectF(0, 0, 640, 480));
    }
    QImage twice(1280, 960, QImage::Format_RGB32);
    twice.fill(Qt::white);
    {
        QPainter painter(&twice);
        painter.scale(2.0, 2.0);
        renderer.render(plot.get(), &painter, QRectF(0, 0, 640, 480));
    }
    const int atOne = countDotPixels(single);
    EXPECT_GT(atOne, 3 * 12);
    EXPECT_NEAR(double(countDotPixels(twice)) / atOne, 4.0, 1.0);

    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    generator.setSize(QSize(640, 480));
    {
        QPainter painter(&generator);
        renderer.render(plot.get(), &painter, QRectF(0, 0, 640, 480));
    }
    EXPECT_EQ(svg.data().count("<circle"), 3);
    EXPECT_EQ(svg.data().count("<image"), 1);   // the colour bar only
}

// --- export look -------------------------------------------------------------------

TEST_F(ScatterPlotTest, ExportLookFramesThePlotAndIsPutBack)
{
    plot->setData({1, 2}, {1, 2}, "x", "y", {}, "c");
    const PlotStyleState state = applyExportPlotStyle(plot.get());
    EXPECT_FALSE(state.axisVisible[QwtAxis::YRight]);
    EXPECT_FALSE(state.axisVisible[QwtAxis::XTop]);
    EXPECT_TRUE(plot->isAxisVisible(QwtAxis::XTop));
    EXPECT_TRUE(plot->isAxisVisible(QwtAxis::YRight));
    EXPECT_FALSE(plot->axisScaleDraw(QwtAxis::YRight)->hasComponent(QwtAbstractScaleDraw::Labels));
    EXPECT_EQ(plot->canvasBackground().color(), QColor(Qt::white));
    EXPECT_EQ(plot->palette().color(QPalette::Inactive, QPalette::Window), QColor(Qt::white));

    restorePlotStyle(plot.get(), state);
    EXPECT_FALSE(plot->isAxisVisible(QwtAxis::XTop));
    EXPECT_FALSE(plot->isAxisVisible(QwtAxis::YRight));
    EXPECT_EQ(plot->palette(), state.palette);

    // A colour bar shown after the export has its ticks and labels back.
    plot->setData({1, 2}, {1, 2}, "x", "y", {1, 2}, "c");
    EXPECT_TRUE(plot->axisScaleDraw(QwtAxis::YRight)->hasComponent(QwtAbstractScaleDraw::Labels));
    EXPECT_TRUE(plot->axisScaleDraw(QwtAxis::YRight)->hasComponent(QwtAbstractScaleDraw::Ticks));
}

TEST_F(ScatterPlotTest, ExportedFigureShowsNoWorkingAidsNorTheTitleOfAnOldColourBar)
{
    // The figure as the plot export renders it.
    const auto figure = [](ScatterPlot& p) {
        const PlotStyleState state = applyExportPlotStyle(&p);
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            QwtPlotRenderer renderer;
            configureExportRenderer(renderer);
            renderer.render(&p, &painter, QRectF(0, 0, 640, 480));
        }
        restorePlotStyle(&p, state);
        return image;
    };
    const std::vector<double> x{10, 50, 90};
    const std::vector<double> y{10, 60, 90};
    ScatterPlot plain;
    plain.resize(640, 480);
    plain.show();
    plain.setData(x, y, "x", "y", {}, QString());

    // Density colouring, then colour "None": the right axis keeps its old title.
    plot->setData(x, y, "x", "y", {1, 2, 3}, "Density");
    plot->setData(x, y, "x", "y", {}, "Density");
    plot->startPolygonEditing(7, QPolygonF({QPointF(20, 20), QPointF(80, 20), QPointF(50, 80)}));
    QApplication::processEvents();
    const QImage reference = figure(plain);
    EXPECT_EQ(figure(*plot), reference);
    // On screen everything is back.
    ASSERT_EQ(curvesAtZ(*plot, 101).size(), 1u);
    EXPECT_TRUE(curvesAtZ(*plot, 101)[0]->isVisible());
    EXPECT_TRUE(plot->isEditingPolygon());
    EXPECT_EQ(plot->axisTitle(QwtAxis::YRight).text(), "Density");

    plot->stopPolygonEditing();
    plot->startPolygonDrawing();
    click(pixelOf(20, 20));
    click(pixelOf(80, 20));
    EXPECT_EQ(figure(*plot), reference);
    ASSERT_EQ(curvesAtZ(*plot, 100).size(), 1u);
    EXPECT_TRUE(curvesAtZ(*plot, 100)[0]->isVisible());
    EXPECT_EQ(curvesAtZ(*plot, 100)[0]->dataSize(), 2u);
}
