// ScatterPlot: construction, data, colouring and scales.
#include "widgets/scatterplot.h"

#include <QPen>

#include <qwt_color_map.h>
#include <qwt_painter.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_panner.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "widgets/colormaps.h"
#include "widgets/plainpointcurve.h"
#include "widgets/linearscaleengine.h"
#include "widgets/pseudologscaleengine.h"
#include "widgets/roundspectrocurve.h"
#include "widgets/scatterplotpicker.h"
#include "widgets/spacedlabelscaledraw.h"

namespace Tessary {

namespace {

QwtPlotCurve* makeVertexCurve()
{
    auto* curve = new QwtPlotCurve(QString());
    curve->setStyle(QwtPlotCurve::Lines);
    curve->setPen(QPen(QColor(255, 0, 0, 200), 2, Qt::DashLine));
    curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::red), QPen(Qt::red, 1), QSize(8, 8)));
    return curve;
}

} // namespace

ScatterPlot::ScatterPlot(QWidget* parent)
    : QwtPlot(parent)
{
    setupPlot();
}

ScatterPlot::~ScatterPlot() = default;

void ScatterPlot::setupPlot()
{
    setTitle(QStringLiteral("Scatter Plot"));
    setCanvasBackground(QBrush(Qt::white));

    auto* grid = new QwtPlotGrid();
    grid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    grid->attach(this);

    plainCurve = new PlainPointCurve(QString());
    plainCurve->setStyle(QwtPlotCurve::NoCurve);
    plainCurve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(QColor(0, 68, 108, 100)),
                                        QPen(QColor(0, 68, 108), 1, Qt::SolidLine), QSize(6, 6)));
    plainCurve->attach(this);

    spectroCurve = new RoundSpectroCurve(QString());
    spectroCurve->setPenWidth(6);
    spectroCurve->setVisible(false);
    spectroCurve->attach(this);

    highlightCurve = new QwtPlotCurve(QString());
    highlightCurve->setStyle(QwtPlotCurve::NoCurve);
    highlightCurve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(QColor(254, 204, 0)),
                                            QPen(QColor(254, 204, 0), 2, Qt::SolidLine), QSize(12, 12)));
    highlightCurve->setVisible(false);
    highlightCurve->attach(this);

    previewCurve = makeVertexCurve();
    previewCurve->setZ(100);
    previewCurve->setVisible(false);
    previewCurve->attach(this);

    editCurve = makeVertexCurve();
    editCurve->setZ(101);
    editCurve->setVisible(false);
    editCurve->attach(this);

    setAxisVisible(QwtAxis::YRight, false);
    setAxisScaleEngine(QwtAxis::XBottom, new LinearScaleEngine);
    setAxisScaleEngine(QwtAxis::YLeft, new LinearScaleEngine);
    // Ends of a pseudo-logarithmic range can sit right beside a decade.
    setAxisScaleDraw(QwtAxis::XBottom, new SpacedLabelScaleDraw);
    setAxisScaleDraw(QwtAxis::YLeft, new SpacedLabelScaleDraw);

    picker = new ScatterPlotPicker(canvas());
    panner = new QwtPlotPanner(canvas());
    panner->setMouseButton(Qt::MiddleButton, Qt::NoModifier);

    canvas()->installEventFilter(this);
    canvas()->setFocusPolicy(Qt::StrongFocus);
    canvas()->setMouseTracking(true);
}

// The colour range over the finite values: [min, max], [min, min + 1] for one value,
// [0, 1] for none.
QwtInterval ScatterPlot::colourRange() const
{
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (double v : colourValues) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    if (!(low <= high))
        return QwtInterval(0.0, 1.0);
    if (low == high)
        high = low + 1.0;
    return QwtInterval(low, high);
}

void ScatterPlot::showColourBar(const QString& title, const QwtInterval& range)
{
    setAxisVisible(QwtAxis::YRight, true);
    setAxisTitle(QwtAxis::YRight, title);
    setAxisScale(QwtAxis::YRight, range.minValue(), range.maxValue(), 0.0);
    QwtScaleWidget* bar = axisWidget(QwtAxis::YRight);
    bar->setColorBarEnabled(true);
    bar->setColorBarWidth(10);
    bar->setColorMap(range, createColorMap(colorMapIndex));
}

void ScatterPlot::hideColourBar()
{
    axisWidget(QwtAxis::YRight)->setColorBarEnabled(false);
    setAxisVisible(QwtAxis::YRight, false);
}

void ScatterPlot::setData(const std::vector<double>& x, const std::vector<double>& y, const QString& xTitle,
                          const QString& yTitle, const std::vector<double>& colours, const QString& colourTitle)
{
    xValues = x;
    yValues = y;
    colourValues = colours;
    pickIndex.invalidate();
    setAxisTitle(QwtAxis::XBottom, xTitle);
    setAxisTitle(QwtAxis::YLeft, yTitle);
    if (x.size() != y.size() || x.empty()) {
        // Nothing to draw on these axes (a filter that keeps no event): they
        // keep their titles, unlike a plot that shows no dataset.
        clearPoints();
        return;
    }

    if (!colours.empty() && colours.size() == x.size()) {
        plainCurve->setVisible(false);
        spectroCurve->setVisible(true);
        QVector<QwtPoint3D> samples(int(x.size()));
        for (std::size_t i = 0; i < x.size(); ++i)
            samples[int(i)] = QwtPoint3D(x[i], y[i], colours[i]);
        const QwtInterval range = colourRange();
        spectroCurve->setColorMap(createColorMap(colorMapIndex));
        spectroCurve->setColorRange(range);
        spectroCurve->setSamples(samples);
        // Points without a colour value are drawn in a neutral grey; a bar
        // with none to map would promise a scale that nothing follows.
        if (std::any_of(colours.begin(), colours.end(), [](double v) { return std::isfinite(v); }))
            showColourBar(colourTitle, range);
        else
            hideColourBar();
    } else {
        spectroCurve->setVisible(false);
        plainCurve->setVisible(true);
        plainCurve->setSamples(x.data(), y.data(), int(x.size()));
        hideColourBar();
    }
    if (pointsHidden) {
        plainCurve->setVisible(false);
        spectroCurve->setVisible(false);
        hideColourBar();
    }
    replot();
}

void ScatterPlot::setColorMap(int index)
{
    if (index == colorMapIndex)
        return;
    colorMapIndex = index;
    if (colourValues.empty() || colourValues.size() != xValues.size() || pointsHidden)
        return;
    const QwtInterval range = colourRange();
    spectroCurve->setColorMap(createColorMap(colorMapIndex));
    spectroCurve->setColorRange(range);
    QwtScaleWidget* bar = axisWidget(QwtAxis::YRight);
    if (bar->isColorBarEnabled())
        bar->setColorMap(range, createColorMap(colorMapIndex));
    replot();
}

void ScatterPlot::setScatterVisible(bool visible)
{
    pointsHidden = !visible;
    if (visible) {
        if (!colourValues.empty() && colourValues.size() == xValues.size()) {
            spectroCurve->setVisible(true);
            plainCurve->setVisible(false);
        } else if (!xValues.empty()) {
            plainCurve->setVisible(true);
            spectroCurve->setVisible(false);
        }
    } else {
        plainCurve->setVisible(false);
        spectroCurve->setVisible(false);
        hideColourBar();
    }
    replot();
}

void ScatterPlot::clearData()
{
    // A plot that shows no data names no axes: titles left from the data shown
    // before would contradict whatever the panels now say.
    setAxisTitle(QwtAxis::XBottom, QString());
    setAxisTitle(QwtAxis::YLeft, QString());
    clearPoints();
}

void ScatterPlot::clearPoints()
{
    xValues.clear();
    yValues.clear();
    colourValues.clear();
    pickIndex.invalidate();
    plainCurve->setSamples(QVector<QPointF>());
    spectroCurve->setSamples(QVector<QwtPoint3D>());
    plainCurve->setVisible(true);
    spectroCurve->setVisible(false);
    hideColourBar();
    highlightCurve->setVisible(false);
    highlightedIndex = -1;
    replot();
    clearContours();
    replot();
}

void ScatterPlot::setScaleMode(int axis, int mode)
{
    if (axis < 0 || axis >= QwtAxis::AxisPositions)
        return;
    QwtScaleEngine* engine = nullptr;
    if (mode == 1)
        engine = new QwtLogScaleEngine(10);
    else if (mode == 2)
        engine = new PseudoLogScaleEngine(100.0, 0.5);
    else
        engine = new LinearScaleEngine;
    scaleModes[axis] = (mode == 1 || mode == 2) ? mode : 0;
    setAxisScaleEngine(axis, engine);
    setAxisAutoScale(axis, true);
    // A highlighted value that the new axis cannot show (<= 0 on a log axis) is hidden.
    if (highlightedIndex >= 0 && highlightedIndex < int(xValues.size()))
        highlightCurve->setVisible(isDisplayable(xValues[std::size_t(highlightedIndex)],
                                                 yValues[std::size_t(highlightedIndex)]));
    replot();
}

bool ScatterPlot::isDisplayable(double x, double y) const
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return false;
    if (scaleModes[QwtAxis::XBottom] == 1 && x <= 0.0)
        return false;
    if (scaleModes[QwtAxis::YLeft] == 1 && y <= 0.0)
        return false;
    return true;
}

void ScatterPlot::drawItems(QPainter* painter, const QRectF& canvasRect,
                            const QwtScaleMap maps[QwtAxis::AxisPositions]) const
{
    // Qwt cuts wide polylines into pieces of a few points on raster devices, and every
    // piece restarts the dash pattern: a dashed contour of closely spaced points would
    // come out solid. Whole polylines keep their dashes.
    const bool splitting = QwtPainter::polylineSplitting();
    QwtPainter::setPolylineSplitting(false);
    QwtPlot::drawItems(painter, canvasRect, maps);
    QwtPainter::setPolylineSplitting(splitting);
}

int ScatterPlot::pointLayerRenders() const
{
    return static_cast<PlainPointCurve*>(plainCurve)->layerRenderCount() + spectroCurve->layerRenderCount();
}

void ScatterPlot::onPointSelected(int index)
{
    highlightPoint(index);
    emit pointClicked(index);
}

} // namespace Tessary
