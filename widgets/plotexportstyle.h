#pragma once

#include <QBrush>
#include <QPalette>

class QwtPlot;
class QwtPlotRenderer;

namespace Tessary {

// One plot's look between applyExportPlotStyle and restorePlotStyle. Arrays are
// indexed by the Qwt axis number: 0 left y, 1 right y, 2 bottom x, 3 top x.
struct PlotStyleState
{
    QBrush canvasBackground;
    int canvasFrameStyle = 0;           // only filled when the canvas is a QFrame
    bool alignCanvasToScale[4] = {false, false, false, false};
    int canvasMargin[4] = {0, 0, 0, 0};
    bool axisVisible[4] = {false, false, false, false};
    QPalette palette;
    bool autoFillBackground = false;
};

// Gives the plot the look of an exported figure (white, frameless, a closed frame of
// axis lines) and returns what is needed to put the old look back.
PlotStyleState applyExportPlotStyle(QwtPlot* plot);

// Puts the look saved by applyExportPlotStyle back and replots.
void restorePlotStyle(QwtPlot* plot, const PlotStyleState& state);

// Leaves the widget background and canvas frame out of a rendering and frames the scales.
void configureExportRenderer(QwtPlotRenderer& renderer);

} // namespace Tessary
