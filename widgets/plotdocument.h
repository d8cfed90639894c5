#pragma once

#include <QByteArray>
#include <QSizeF>
#include <QString>

class QwtPlot;
class QwtPlotRenderer;

namespace Tessary {

// The plot drawn by the renderer as a document of sizeMM millimetres at
// resolution dots per inch, as QwtPlotRenderer::renderDocument lays it out,
// but into memory, so that the caller can write it as a whole and learn
// whether the write completed. format is "pdf", "svg" or an image format that
// Qt writes ("png"); empty for another format or a drawing that failed.
QByteArray renderPlotDocument(const QwtPlotRenderer& renderer, QwtPlot* plot, const QString& format,
                              const QSizeF& sizeMM, int resolution);

} // namespace Tessary
