#pragma once

#include <QBrush>
#include <QList>
#include <QPalette>

#include <qwt_text.h>

class QwtPlot;
class QwtPlotItem;
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
    QwtText axisTitle[4];               // titles of the axes shown as bare lines
    QList<QwtPlotItem*> hiddenItems;    // working aids hidden for the figure
};

// Gives the plot the look of an exported figure (white, frameless, a closed frame of
// axis lines) and returns what is needed to put the old look back. A hidden axis
// that the frame shows carries no title (a colour bar that is off leaves none
// beside the frame); on a scatter plot, the curves of a polygon being drawn or
// edited are hidden.
PlotStyleState applyExportPlotStyle(QwtPlot* plot);

// Puts the look saved by applyExportPlotStyle back and replots.
void restorePlotStyle(QwtPlot* plot, const PlotStyleState& state);

// Leaves the widget background and canvas frame out of a rendering and frames the scales.
void configureExportRenderer(QwtPlotRenderer& renderer);

} // namespace Tessary
