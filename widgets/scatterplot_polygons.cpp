// ScatterPlot: drawing new polygons and editing existing gates.
#include "widgets/scatterplot.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>

namespace Tessary {

void ScatterPlot::refreshPreviewCurve()
{
    previewCurve->setSamples(QVector<QPointF>(drawnVertices.begin(), drawnVertices.end()));
}

void ScatterPlot::refreshEditCurve()
{
    QVector<QPointF> ring(editedVertices.begin(), editedVertices.end());
    if (!ring.isEmpty())
        ring.append(ring.first());
    editCurve->setSamples(ring);
}

void ScatterPlot::startPolygonDrawing()
{
    if (editing)
        stopPolygonEditing();
    drawing = true;
    drawnVertices.clear();
    previewCurve->setSamples(QVector<QPointF>());
    previewCurve->setVisible(true);
    canvas()->setCursor(Qt::CrossCursor);
    canvas()->setFocus(Qt::OtherFocusReason);
    lastHoveredIndex = -1;
    replot();
}

// Leaves drawing without emitting anything.
void ScatterPlot::endDrawing()
{
    drawing = false;
    drawnVertices.clear();
    previewCurve->setSamples(QVector<QPointF>());
    previewCurve->setVisible(false);
    canvas()->setCursor(Qt::ArrowCursor);
    lastHoveredIndex = -1;
    replot();
}

void ScatterPlot::cancelPolygonDrawing()
{
    if (!drawing)
        return;
    endDrawing();
    emit polygonDrawingStopped();
}

void ScatterPlot::startPolygonEditing(int id, const QPolygonF& vertices)
{
    // Moving to another gate ends the old edit completely first (its gate is shown
    // again and the plot no longer reports it as edited) before anyone hears of it.
    if (editing && editedGateId != id)
        stopPolygonEditing();
    if (drawing)
        cancelPolygonDrawing();

    editing = true;
    editedGateId = id;
    editedVertices = QList<QPointF>(vertices.begin(), vertices.end());
    draggedVertex = -1;

    auto gate = gates.find(id);
    if (gate != gates.end())
        gate->second->setVisible(false);
    editCurve->setVisible(true);
    canvas()->setCursor(Qt::ArrowCursor);
    canvas()->setFocus(Qt::OtherFocusReason);
    refreshEditCurve();
    replot();
}

void ScatterPlot::stopPolygonEditing()
{
    if (!editing)
        return;
    const int oldId = editedGateId;
    editing = false;
    editedGateId = -1;
    editedVertices.clear();
    draggedVertex = -1;
    editCurve->setSamples(QVector<QPointF>());
    editCurve->setVisible(false);
    auto gate = gates.find(oldId);
    if (gate != gates.end())
        gate->second->setVisible(true);
    canvas()->setCursor(Qt::ArrowCursor);
    lastHoveredIndex = -1;
    replot();
    emit polygonEditingStopped(oldId);
}

QList<QwtPlotItem*> ScatterPlot::polygonToolCurves() const
{
    return {previewCurve, editCurve};
}

} // namespace Tessary
