#include "widgets/plotexportstyle.h"

#include "widgets/scatterplot.h"

#include <QFrame>

#include <qwt_plot.h>
#include <qwt_plot_item.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_draw.h>

namespace Tessary {

namespace {

void setBackboneOnly(QwtPlot* plot, int axis, bool backboneOnly)
{
    if (QwtScaleDraw* draw = plot->axisScaleDraw(axis)) {
        draw->enableComponent(QwtAbstractScaleDraw::Ticks, !backboneOnly);
        draw->enableComponent(QwtAbstractScaleDraw::Labels, !backboneOnly);
    }
}

} // namespace

PlotStyleState applyExportPlotStyle(QwtPlot* plot)
{
    PlotStyleState state;
    if (!plot)
        return state;
    state.canvasBackground = plot->canvasBackground();
    state.palette = plot->palette();
    state.autoFillBackground = plot->autoFillBackground();
    auto* frame = qobject_cast<QFrame*>(plot->canvas());
    if (frame)
        state.canvasFrameStyle = frame->frameStyle();
    QwtPlotLayout* layout = plot->plotLayout();
    for (int axis = 0; axis < 4; ++axis) {
        state.alignCanvasToScale[axis] = layout->alignCanvasToScale(axis);
        state.canvasMargin[axis] = layout->canvasMargin(axis);
        state.axisVisible[axis] = plot->isAxisVisible(axis);
    }

    plot->setCanvasBackground(QBrush(Qt::white));
    QPalette palette = plot->palette();
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        palette.setColor(QPalette::ColorGroup(group), QPalette::Window, Qt::white);
    plot->setPalette(palette);
    plot->setAutoFillBackground(true);
    if (frame)
        frame->setFrameStyle(QFrame::NoFrame);
    layout->setAlignCanvasToScales(true);
    for (int axis = 0; axis < 4; ++axis)
        layout->setCanvasMargin(0, axis);

    // A closed frame of axis lines: hidden opposite axes show their backbone
    // only, without the title they may keep from an earlier colour bar.
    for (int axis : {int(QwtAxis::XTop), int(QwtAxis::YRight)}) {
        if (!state.axisVisible[axis]) {
            state.axisTitle[axis] = plot->axisTitle(axis);
            plot->setAxisTitle(axis, QwtText());
            plot->setAxisVisible(axis, true);
            setBackboneOnly(plot, axis, true);
        }
    }
    if (const auto* scatter = qobject_cast<const ScatterPlot*>(plot)) {
        for (QwtPlotItem* item : scatter->polygonToolCurves()) {
            if (item->isVisible()) {
                item->setVisible(false);
                state.hiddenItems.append(item);
            }
        }
    }
    plot->replot();
    plot->updateGeometry();
    return state;
}

void restorePlotStyle(QwtPlot* plot, const PlotStyleState& state)
{
    if (!plot)
        return;
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        frame->setFrameStyle(state.canvasFrameStyle);
    plot->setCanvasBackground(state.canvasBackground);
    plot->setPalette(state.palette);
    plot->setAutoFillBackground(state.autoFillBackground);
    QwtPlotLayout* layout = plot->plotLayout();
    for (int axis = 0; axis < 4; ++axis) {
        layout->setAlignCanvasToScale(axis, state.alignCanvasToScale[axis]);
        layout->setCanvasMargin(state.canvasMargin[axis], axis);
        if (!state.axisVisible[axis]) {
            plot->setAxisVisible(axis, false);
            setBackboneOnly(plot, axis, false);
            if (axis == QwtAxis::XTop || axis == QwtAxis::YRight)
                plot->setAxisTitle(axis, state.axisTitle[axis]);
        }
    }
    for (QwtPlotItem* item : state.hiddenItems)
        item->setVisible(true);
    plot->replot();
}

void configureExportRenderer(QwtPlotRenderer& renderer)
{
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, true);
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    renderer.setLayoutFlag(QwtPlotRenderer::FrameWithScales, true);
}

} // namespace Tessary
