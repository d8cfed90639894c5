#include "widgets/plotdocument.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>
#include <qwt_text.h>

namespace Tessary {

namespace {

constexpr double millimetresPerInch = 25.4;

QByteArray renderPdf(const QwtPlotRenderer& renderer, QwtPlot* plot, const QString& title, const QSizeF& sizeMM,
                     int resolution, const QRectF& documentRect)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(sizeMM, QPageSize::Millimeter));
        writer.setTitle(title);
        writer.setPageMargins(QMarginsF());
        writer.setResolution(resolution);
        QPainter painter;
        if (!painter.begin(&writer))
            return {};
        renderer.render(plot, &painter, documentRect);
        if (!painter.end())   // writes the document's end
            return {};
    }
    return buffer.data();
}

QByteArray renderSvg(const QwtPlotRenderer& renderer, QwtPlot* plot, const QString& title, int resolution,
                     const QRectF& documentRect)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setTitle(title);
    generator.setOutputDevice(&buffer);
    generator.setResolution(resolution);
    generator.setViewBox(documentRect);
    QPainter painter;
    if (!painter.begin(&generator))
        return {};
    renderer.render(plot, &painter, documentRect);
    if (!painter.end())
        return {};
    return buffer.data();
}

QByteArray renderImage(const QwtPlotRenderer& renderer, QwtPlot* plot, const QByteArray& format, int resolution,
                       const QRectF& documentRect)
{
    if (!QImageWriter::supportedImageFormats().contains(format))
        return {};
    const QRect imageRect = documentRect.toRect();
    const int dotsPerMeter = qRound(resolution / millimetresPerInch * 1000.0);
    QImage image(imageRect.size(), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.render(plot, &painter, imageRect);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format.constData()))
        return {};
    return buffer.data();
}

} // namespace

QByteArray renderPlotDocument(const QwtPlotRenderer& renderer, QwtPlot* plot, const QString& format,
                              const QSizeF& sizeMM, int resolution)
{
    if (!plot || sizeMM.isEmpty() || resolution <= 0)
        return {};
    QString title = plot->title().text();
    if (title.isEmpty())
        title = QStringLiteral("Plot Document");
    const QSizeF size = sizeMM / millimetresPerInch * resolution;
    const QRectF documentRect(0.0, 0.0, size.width(), size.height());

    const QString kind = format.toLower();
    if (kind == QLatin1String("pdf"))
        return renderPdf(renderer, plot, title, sizeMM, resolution, documentRect);
    if (kind == QLatin1String("svg"))
        return renderSvg(renderer, plot, title, resolution, documentRect);
    return renderImage(renderer, plot, kind.toLatin1(), resolution, documentRect);
}

} // namespace Tessary
