#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QPolygonF>
#include <QString>

#include <qwt_interval.h>
#include <qwt_plot.h>

#include <map>
#include <vector>

#include "calc/isoelasticline.h"
#include "widgets/pointpickindex.h"

class QRubberBand;
class QwtPlotCurve;
class QwtPlotItem;
class QwtPlotMarker;
class QwtPlotPanner;
class QwtPlotShapeItem;

namespace Tessary {

struct DensityContour;
class RoundSpectroCurve;
class ScatterPlotPicker;

// The central plot: the shown events as points over two feature axes, plain or coloured
// through a colour map by a third column (with a colour bar on the right axis), with
// density contours, isoelastic lines, polygon gates and one highlighted event over them.
// On the canvas it zooms (wheel, rubber band), pans (Shift-drag, middle button), picks
// events, draws new polygons and edits existing ones. The points are painted into a
// cached layer, so overlays and hover feedback never repaint them. The plot owns all its
// items; it never calls the main window, it emits the signals below.
class ScatterPlot : public QwtPlot
{
    Q_OBJECT
public:
    explicit ScatterPlot(QWidget* parent = nullptr);
    ~ScatterPlot() override;

    // Data and colouring. The colour column is used when it has the length of x.
    void setData(const std::vector<double>& x, const std::vector<double>& y, const QString& xTitle,
                 const QString& yTitle, const std::vector<double>& colours, const QString& colourTitle);
    void setColorMap(int index);
    void setScatterVisible(bool visible);
    // Empties the plot and its axis titles; gates and isoelastic lines stay.
    void clearData();

    // axis: a Qwt axis number; mode 0 linear, 1 log10, 2 pseudo-logarithmic.
    void setScaleMode(int axis, int mode);

    // Overlays.
    void setContours(const std::vector<DensityContour>& contours);
    void clearContours();
    void setIsoElasticityLines(const std::vector<IsoelasticLine>& lines, bool showLabels);
    void clearIsoElasticityLines();
    void highlightPoint(int index);
    void clearHighlight();

    // Polygon drawing and editing; vertices are in data coordinates.
    void startPolygonDrawing();
    void cancelPolygonDrawing();
    void startPolygonEditing(int id, const QPolygonF& vertices);
    void stopPolygonEditing();
    bool isDrawingPolygon() const { return drawing; }
    bool isEditingPolygon() const { return editing; }
    int editingPolygonId() const { return editing ? editedGateId : -1; }
    // The curves of a polygon being drawn or edited (dashed outline, vertex
    // handles): working aids on screen, never part of an exported figure.
    QList<QwtPlotItem*> polygonToolCurves() const;

    // Shows one gate. The gate keeps the region whose edges are straight on the axes
    // with the scale modes it was drawn on; gateXMode and gateYMode name them (-1: the
    // plot's current modes). Edges are subdivided where those differ from the current
    // modes, so the region shown is the region kept.
    void addPolygonGate(int id, const QPolygonF& polygon, bool active, int gateXMode = -1, int gateYMode = -1);
    void clearPolygonGates();
    void resetZoom();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // For checks of the point layer: how often the shown point curve repainted its points.
    int pointLayerRenders() const;

protected:
    void drawItems(QPainter* painter, const QRectF& canvasRect,
                   const QwtScaleMap maps[QwtAxis::AxisPositions]) const override;

signals:
    void pointClicked(int index);
    void pointHovered(int index);
    void polygonCompleted(QPolygonF polygon);
    void polygonDrawingStopped();
    void polygonEdited(int id, QPolygonF polygon);
    void polygonEditingStopped(int id);

private slots:
    void onPointSelected(int index);

private:
    void setupPlot();
    void clearPoints();
    QwtInterval colourRange() const;
    void showColourBar(const QString& title, const QwtInterval& range);
    void hideColourBar();
    void refreshPreviewCurve();
    void refreshEditCurve();
    void endDrawing();
    bool isDisplayable(double x, double y) const;

    // Canvas interaction.
    int pickPoint(const QPointF& pixel);
    int vertexNear(const QPointF& pixel) const;
    int edgeNear(const QPointF& pixel) const;
    QPointF toData(const QPointF& pixel) const;
    void wheelZoom(const QPointF& pixel, int angle);
    void panBy(const QPoint& delta);
    bool canvasKeyPress(QKeyEvent* event);
    bool canvasPress(QMouseEvent* event);
    bool canvasDoubleClick(QMouseEvent* event);
    bool canvasMove(QMouseEvent* event);
    bool canvasRelease(QMouseEvent* event);
    QPainterPath gatePath(const QPolygonF& polygon, int gateXMode, int gateYMode) const;

    QwtPlotCurve* plainCurve = nullptr;
    RoundSpectroCurve* spectroCurve = nullptr;
    QwtPlotCurve* highlightCurve = nullptr;
    ScatterPlotPicker* picker = nullptr;
    QwtPlotPanner* panner = nullptr;
    bool zooming = false;
    QPoint zoomOrigin;
    QRubberBand* rubberBand = nullptr;
    bool panning = false;
    QPoint lastPanPos;
    std::vector<double> xValues;
    std::vector<double> yValues;
    std::vector<double> colourValues;
    bool drawing = false;
    QList<QPointF> drawnVertices;
    QwtPlotCurve* previewCurve = nullptr;
    bool editing = false;
    int editedGateId = -1;
    QList<QPointF> editedVertices;
    int draggedVertex = -1;
    QwtPlotCurve* editCurve = nullptr;
    int lastHoveredIndex = -1;
    std::map<int, QwtPlotShapeItem*> gates;
    std::vector<QwtPlotCurve*> contourCurves;
    std::vector<QwtPlotCurve*> isoelasticCurves;
    std::vector<QwtPlotMarker*> isoelasticLabels;
    bool pointsHidden = false;
    int colorMapIndex = 0;

    int scaleModes[QwtAxis::AxisPositions] = {0, 0, 0, 0};
    int highlightedIndex = -1;
    PointPickIndex pickIndex;
};

} // namespace Tessary
