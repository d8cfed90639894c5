// ScatterPlot: the canvas event filter with picking, zooming and panning.
#include "widgets/scatterplot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>

namespace Tessary {

namespace {

constexpr double VertexRadius2 = 144.0;   // 12 pixels
constexpr double EdgeRadius2 = 64.0;      // 8 pixels

// Value to the axis's transformed coordinate (pixels are affine in it) and back.
double toScale(const QwtScaleMap& map, double v)
{
    const QwtTransform* t = map.transformation();
    return t ? t->transform(v) : v;
}

double fromScale(const QwtScaleMap& map, double v)
{
    const QwtTransform* t = map.transformation();
    return t ? t->invTransform(v) : v;
}

double squared(const QPointF& p)
{
    return p.x() * p.x() + p.y() * p.y();
}

} // namespace

QPointF ScatterPlot::toData(const QPointF& pixel) const
{
    return QPointF(invTransform(QwtAxis::XBottom, pixel.x()), invTransform(QwtAxis::YLeft, pixel.y()));
}

int ScatterPlot::pickPoint(const QPointF& pixel)
{
    if (xValues.empty())
        return -1;
    return pickIndex.pick(xValues, yValues, canvasMap(QwtAxis::XBottom), canvasMap(QwtAxis::YLeft), pixel);
}

int ScatterPlot::vertexNear(const QPointF& pixel) const
{
    int found = -1;
    double best = VertexRadius2;
    for (int i = 0; i < editedVertices.size(); ++i) {
        const QPointF v(transform(QwtAxis::XBottom, editedVertices[i].x()),
                        transform(QwtAxis::YLeft, editedVertices[i].y()));
        const double d2 = squared(v - pixel);
        if (d2 < best) {
            best = d2;
            found = i;
        }
    }
    return found;
}

int ScatterPlot::edgeNear(const QPointF& pixel) const
{
    const int n = editedVertices.size();
    if (n < 2)
        return -1;
    int found = -1;
    double best = EdgeRadius2;
    for (int i = 0; i < n; ++i) {
        const QPointF& va = editedVertices[i];
        const QPointF& vb = editedVertices[(i + 1) % n];
        const QPointF a(transform(QwtAxis::XBottom, va.x()), transform(QwtAxis::YLeft, va.y()));
        const QPointF b(transform(QwtAxis::XBottom, vb.x()), transform(QwtAxis::YLeft, vb.y()));
        const QPointF ab = b - a;
        const double len2 = squared(ab);
        if (!(len2 > 0.0))
            continue;
        const double t = QPointF::dotProduct(pixel - a, ab) / len2;
        if (t < 0.0 || t > 1.0)
            continue;
        const double d2 = squared(a + t * ab - pixel);
        if (d2 < best) {
            best = d2;
            found = i;
        }
    }
    return found;
}

// Zooms about the mouse in the axes' transformed coordinates, so a log axis keeps
// positive bounds and zooms by equal decades on both sides.
void ScatterPlot::wheelZoom(const QPointF& pixel, int angle)
{
    if (angle == 0)
        return;
    const double factor = angle > 0 ? 0.8 : 1.25;
    const int axes[2] = {QwtAxis::XBottom, QwtAxis::YLeft};
    const double positions[2] = {pixel.x(), pixel.y()};
    for (int k = 0; k < 2; ++k) {
        const QwtScaleMap map = canvasMap(axes[k]);
        const double centre = toScale(map, map.invTransform(positions[k]));
        const double low = toScale(map, map.s1());
        const double high = toScale(map, map.s2());
        const double newLow = fromScale(map, centre - (centre - low) * factor);
        const double newHigh = fromScale(map, centre + (high - centre) * factor);
        if (std::isfinite(newLow) && std::isfinite(newHigh) && newLow != newHigh)
            setAxisScale(axes[k], newLow, newHigh, 0.0);
    }
    replot();
}

// Moves both axes by a pixel distance, in transformed coordinates.
void ScatterPlot::panBy(const QPoint& delta)
{
    const int axes[2] = {QwtAxis::XBottom, QwtAxis::YLeft};
    const double shifts[2] = {double(delta.x()), double(delta.y())};
    for (int k = 0; k < 2; ++k) {
        const QwtScaleMap map = canvasMap(axes[k]);
        const double newLow = map.invTransform(map.transform(map.s1()) - shifts[k]);
        const double newHigh = map.invTransform(map.transform(map.s2()) - shifts[k]);
        if (std::isfinite(newLow) && std::isfinite(newHigh) && newLow != newHigh)
            setAxisScale(axes[k], newLow, newHigh, 0.0);
    }
    replot();
}

void ScatterPlot::resetZoom()
{
    setAxisAutoScale(QwtAxis::XBottom, true);
    setAxisAutoScale(QwtAxis::YLeft, true);
    replot();
}

bool ScatterPlot::canvasKeyPress(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape)
        return false;
    if (drawing) {
        cancelPolygonDrawing();
        return true;
    }
    if (editing) {
        stopPolygonEditing();
        return true;
    }
    return false;
}

bool ScatterPlot::canvasPress(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (editing) {
        if (event->button() == Qt::LeftButton) {
            const int vertex = vertexNear(pos);
            if (vertex >= 0) {
                draggedVertex = vertex;
                canvas()->setCursor(Qt::ClosedHandCursor);
            } else {
                const int edge = edgeNear(pos);
                if (edge >= 0) {
                    editedVertices.insert(edge + 1, toData(pos));
                    draggedVertex = edge + 1;
                    refreshEditCurve();
                    replot();
                    canvas()->setCursor(Qt::ClosedHandCursor);
                }
            }
        } else if (event->button() == Qt::RightButton) {
            const int vertex = vertexNear(pos);
            if (vertex >= 0 && editedVertices.size() > 3) {
                editedVertices.removeAt(vertex);
                // A drag in progress keeps its own vertex, and ends with it.
                if (vertex == draggedVertex) {
                    draggedVertex = -1;
                    canvas()->setCursor(Qt::ArrowCursor);
                } else if (vertex < draggedVertex) {
                    --draggedVertex;
                }
                refreshEditCurve();
                replot();
                emit polygonEdited(editedGateId, QPolygonF(editedVertices));
            }
        }
        return true;
    }

    if (event->button() == Qt::RightButton) {
        resetZoom();
        return true;
    }
    if (event->button() == Qt::LeftButton) {
        if (drawing) {
            drawnVertices.append(toData(pos));
            refreshPreviewCurve();
            replot();
            return true;
        }
        if (event->modifiers() & Qt::ShiftModifier) {
            panning = true;
            lastPanPos = event->position().toPoint();
            canvas()->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        zooming = true;
        zoomOrigin = event->position().toPoint();
        if (!rubberBand)
            rubberBand = new QRubberBand(QRubberBand::Rectangle, canvas());
        rubberBand->setGeometry(QRect(zoomOrigin, QSize()));
        rubberBand->hide();
    }
    return false;
}

bool ScatterPlot::canvasDoubleClick(QMouseEvent* event)
{
    if (drawing) {
        if (drawnVertices.size() >= 3) {
            const QPolygonF polygon(drawnVertices);
            endDrawing();
            emit polygonCompleted(polygon);
            emit polygonDrawingStopped();
        }
        return true;
    }
    if (editing)
        return true;
    if (event->button() == Qt::LeftButton) {
        resetZoom();
        return true;
    }
    return false;
}

bool ScatterPlot::canvasMove(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (editing && draggedVertex >= 0) {
        editedVertices[draggedVertex] = toData(pos);
        refreshEditCurve();
        replot();
        return true;
    }
    if ((drawing || editing) && !panning && !zooming) {
        if (editing) {
            if (vertexNear(pos) >= 0)
                canvas()->setCursor(Qt::OpenHandCursor);
            else if (edgeNear(pos) >= 0)
                canvas()->setCursor(Qt::CrossCursor);
            else
                canvas()->setCursor(Qt::ArrowCursor);
        }
        const int index = pickPoint(pos);
        if (index != lastHoveredIndex) {
            lastHoveredIndex = index;
            if (index >= 0)
                emit pointHovered(index);
        }
        return false;
    }
    if (panning) {
        const QPoint now = event->position().toPoint();
        const QPoint delta = now - lastPanPos;
        lastPanPos = now;
        panBy(delta);
        return true;
    }
    if (zooming) {
        const QRect band = QRect(zoomOrigin, event->position().toPoint()).normalized();
        if (rubberBand) {
            rubberBand->setGeometry(band);
            if (band.width() >= 6 || band.height() >= 6)
                rubberBand->show();
        }
        return true;
    }
    return false;
}

bool ScatterPlot::canvasRelease(QMouseEvent* event)
{
    if (editing && draggedVertex >= 0) {
        draggedVertex = -1;
        canvas()->setCursor(Qt::ArrowCursor);
        emit polygonEdited(editedGateId, QPolygonF(editedVertices));
        return true;
    }
    if (panning) {
        panning = false;
        canvas()->setCursor(drawing ? Qt::CrossCursor : Qt::ArrowCursor);
        return true;
    }
    if (zooming) {
        zooming = false;
        if (rubberBand)
            rubberBand->hide();
        const QRect rect = QRect(zoomOrigin, event->position().toPoint()).normalized();
        if (rect.width() > 5 && rect.height() > 5) {
            setAxisScale(QwtAxis::XBottom, invTransform(QwtAxis::XBottom, rect.left()),
                         invTransform(QwtAxis::XBottom, rect.right()), 0.0);
            setAxisScale(QwtAxis::YLeft, invTransform(QwtAxis::YLeft, rect.bottom()),
                         invTransform(QwtAxis::YLeft, rect.top()), 0.0);
            replot();
        } else {
            const int index = pickPoint(event->position());
            if (index >= 0)
                emit pointClicked(index);
        }
        return true;
    }
    return false;
}

bool ScatterPlot::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != canvas())
        return QwtPlot::eventFilter(watched, event);

    bool consumed = false;
    switch (event->type()) {
    case QEvent::KeyPress:
        consumed = canvasKeyPress(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        // A wheel without vertical angle (a horizontal scroll, a touchpad's end of
        // gesture) does not zoom.
        wheelZoom(wheel->position(), wheel->angleDelta().y());
        consumed = true;
        break;
    }
    case QEvent::MouseButtonPress:
        consumed = canvasPress(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonDblClick:
        consumed = canvasDoubleClick(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseMove:
        consumed = canvasMove(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        consumed = canvasRelease(static_cast<QMouseEvent*>(event));
        break;
    default:
        break;
    }
    return consumed || QwtPlot::eventFilter(watched, event);
}

} // namespace Tessary
