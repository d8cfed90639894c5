// ScatterPlot: contours, isoelastic lines, highlighted event and polygon gates.
#include "widgets/scatterplot.h"

#include <QPainterPath>
#include <QPen>

#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_text.h>

#include <cmath>

#include "rtdc/axistransforms.h"
#include "widgets/densitycontours.h"

namespace Tessary {

namespace {

template <typename Item>
void deleteItems(std::vector<Item*>& items)
{
    for (Item* item : items) {
        item->detach();
        delete item;
    }
    items.clear();
}

// Steps per gate edge when it is drawn on axes other than its own.
constexpr int EdgeSteps = 64;

double fromGateSpace(double t, int mode)
{
    if (mode == ScaleLog)
        return std::exp(t);
    if (mode == ScalePseudoLog)
        return defaultPseudoLog().inverse(t);
    return t;
}

} // namespace

void ScatterPlot::setContours(const std::vector<DensityContour>& contours)
{
    clearContours();
    for (std::size_t k = 0; k < contours.size(); ++k) {
        const QPen pen(Qt::black, 2, k == 0 ? Qt::DashLine : Qt::SolidLine);
        for (const auto& polyline : contours[k].polylines) {
            if (polyline.size() < 2)
                continue;
            QVector<QPointF> points;
            points.reserve(int(polyline.size()));
            for (const auto& p : polyline)
                points.append(QPointF(p.first, p.second));
            auto* curve = new QwtPlotCurve(QString());
            curve->setStyle(QwtPlotCurve::Lines);
            curve->setPen(pen);
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->setZ(40);
            curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
            curve->setSamples(points);
            curve->attach(this);
            contourCurves.push_back(curve);
        }
    }
    replot();
}

void ScatterPlot::clearContours()
{
    deleteItems(contourCurves);
}

void ScatterPlot::setIsoElasticityLines(const std::vector<IsoelasticLine>& lines, bool showLabels)
{
    deleteItems(isoelasticCurves);
    deleteItems(isoelasticLabels);
    replot();

    const QPen pen(QColor(180, 180, 180), 1, Qt::SolidLine);
    QFont labelFont;
    labelFont.setPointSize(8);
    for (const IsoelasticLine& line : lines) {
        if (line.points.size() < 2)
            continue;
        QVector<QPointF> points;
        points.reserve(int(line.points.size()));
        for (const auto& p : line.points)
            points.append(QPointF(p.first, p.second));
        auto* curve = new QwtPlotCurve(QString());
        curve->setStyle(QwtPlotCurve::Lines);
        curve->setPen(pen);
        curve->setItemAttribute(QwtPlotItem::Legend, false);
        curve->setItemAttribute(QwtPlotItem::AutoScale, false);
        curve->setZ(-10);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->setSamples(points);
        curve->attach(this);
        isoelasticCurves.push_back(curve);

        if (showLabels) {
            auto* marker = new QwtPlotMarker(QString());
            marker->setValue(points.last());
            const QString number = line.value >= 1.0 ? QString::number(line.value, 'f', 1)
                                                     : QString::number(line.value, 'f', 2);
            QwtText label(number + QStringLiteral(" kPa"));
            label.setFont(labelFont);
            label.setColor(QColor(150, 150, 150));
            marker->setLabel(label);
            marker->setLabelAlignment(Qt::AlignLeft | Qt::AlignBottom);
            marker->setItemAttribute(QwtPlotItem::Legend, false);
            marker->setItemAttribute(QwtPlotItem::AutoScale, false);
            marker->setZ(-9);
            marker->attach(this);
            isoelasticLabels.push_back(marker);
        }
    }
    replot();
}

void ScatterPlot::clearIsoElasticityLines()
{
    deleteItems(isoelasticCurves);
    deleteItems(isoelasticLabels);
    replot();
}

void ScatterPlot::highlightPoint(int index)
{
    highlightedIndex = -1;
    if (index >= 0 && index < int(xValues.size()) && index < int(yValues.size())) {
        const double x = xValues[std::size_t(index)];
        const double y = yValues[std::size_t(index)];
        highlightedIndex = index;
        highlightCurve->setSamples(QVector<QPointF>{QPointF(x, y)});
        // A point the axes cannot place (NaN, <= 0 on a log axis) is not painted.
        highlightCurve->setVisible(isDisplayable(x, y));
    } else {
        highlightCurve->setVisible(false);
    }
    replot();
}

void ScatterPlot::clearHighlight()
{
    highlightedIndex = -1;
    highlightCurve->setVisible(false);
    replot();
}

QPainterPath ScatterPlot::gatePath(const QPolygonF& polygon, int gateXMode, int gateYMode) const
{
    const int xMode = scaleModes[QwtAxis::XBottom];
    const int yMode = scaleModes[QwtAxis::YLeft];
    if (gateXMode < 0)
        gateXMode = xMode;
    if (gateYMode < 0)
        gateYMode = yMode;
    gateXMode = normalizeScaleMode(gateXMode);
    gateYMode = normalizeScaleMode(gateYMode);

    QPainterPath path;
    if (gateXMode == xMode && gateYMode == yMode) {
        // Straight in the gate's space is straight on these axes.
        path.addPolygon(polygon);
        path.closeSubpath();
        return path;
    }

    // Walk each edge in the gate's own space and map the steps back to data values;
    // steps that the current axes cannot place (<= 0 on a log axis) are left out.
    QPolygonF outline;
    const int n = polygon.size();
    for (int i = 0; i < n; ++i) {
        const QPointF a = polygon[i];
        const QPointF b = polygon[(i + 1) % n];
        const double ax = transformRuleAxisValue(a.x(), gateXMode);
        const double ay = transformRuleAxisValue(a.y(), gateYMode);
        const double bx = transformRuleAxisValue(b.x(), gateXMode);
        const double by = transformRuleAxisValue(b.y(), gateYMode);
        for (int s = 0; s < EdgeSteps; ++s) {
            const double f = double(s) / EdgeSteps;
            const QPointF p(fromGateSpace(ax + (bx - ax) * f, gateXMode),
                            fromGateSpace(ay + (by - ay) * f, gateYMode));
            if (isDisplayable(p.x(), p.y()))
                outline.append(p);
        }
    }
    path.addPolygon(outline);
    path.closeSubpath();
    return path;
}

void ScatterPlot::addPolygonGate(int id, const QPolygonF& polygon, bool active, int gateXMode, int gateYMode)
{
    auto found = gates.find(id);
    if (found != gates.end()) {
        found->second->detach();
        delete found->second;
        gates.erase(found);
        replot();
    }
    auto* item = new QwtPlotShapeItem(QString());
    item->setShape(gatePath(polygon, gateXMode, gateYMode));
    if (active) {
        item->setPen(QPen(QColor(255, 0, 0, 180), 2, Qt::SolidLine));
        item->setBrush(QBrush(QColor(255, 0, 0, 30)));
    } else {
        item->setPen(QPen(QColor(160, 160, 160, 180), 2, Qt::DashLine));
        item->setBrush(QBrush(QColor(160, 160, 160, 25)));
    }
    item->setZ(50);
    item->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    // A gate with corners a log axis cannot place must not drag its autoscale to 1e-150.
    const QRectF bounds = item->shape().boundingRect();
    if ((scaleModes[QwtAxis::XBottom] == 1 && bounds.left() <= 0.0)
        || (scaleModes[QwtAxis::YLeft] == 1 && bounds.top() <= 0.0))
        item->setItemAttribute(QwtPlotItem::AutoScale, false);
    item->attach(this);
    gates[id] = item;
    replot();
}

void ScatterPlot::clearPolygonGates()
{
    for (auto& entry : gates) {
        entry.second->detach();
        delete entry.second;
    }
    gates.clear();
    replot();
}

} // namespace Tessary
