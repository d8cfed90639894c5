#include "widgets/traceplot.h"

#include "widgets/pseudologscaleengine.h"
#include "widgets/spacedlabelscaledraw.h"

#include <QPen>
#include <QPointF>
#include <QVector>

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_text.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tessary {

namespace {

constexpr double YMin = -10.0;
constexpr double YMax = 35000.0;

void setAxisLook(QwtPlot* plot, QwtAxisId axis, const QString& title)
{
    QFont tickFont = plot->axisFont(axis);
    tickFont.setPointSize(7);
    plot->setAxisFont(axis, tickFont);

    QwtText text(title);
    QFont titleFont = plot->axisTitle(axis).font();
    titleFont.setPointSize(8);
    text.setFont(titleFont);
    plot->setAxisTitle(axis, text);
}

// One colour component: 0 for a zero weight, else 255 * (f * weight)^0.8
// truncated, at most 255.
int colourComponent(double weight, double factor)
{
    if (weight == 0.0)
        return 0;
    const double value = 255.0 * std::pow(factor * weight, 0.8);
    return std::min(255, static_cast<int>(value));
}

} // namespace

TracePlot::TracePlot(QWidget* parent)
    : QwtPlot(parent)
{
    setCanvasBackground(Qt::white);
    setMinimumHeight(180);
    setMaximumHeight(260);
    setMinimumWidth(260);

    setAxisLook(this, QwtAxis::XBottom, tr("Time [µs]"));
    setAxisLook(this, QwtAxis::YLeft, tr("Fluorescence [a.u.]"));

    // The plot takes ownership of the scale engine.
    setAxisScaleEngine(QwtAxis::YLeft, new PseudoLogScaleEngine(100.0, 0.5));
    setAxisScaleDraw(QwtAxis::YLeft, new SpacedLabelScaleDraw);   // the top end sits close to a decade
    setAxisScale(QwtAxis::YLeft, YMin, YMax);

    auto* grid = new QwtPlotGrid;
    grid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    grid->attach(this);
}

TracePlot::~TracePlot() = default;

void TracePlot::createTraceCurves(const std::map<int, std::string>& channelNames,
                                  const std::map<int, double>& baselineOffsets, double rate,
                                  const std::vector<std::string>& traceNames, bool refined)
{
    sampleRate = rate;
    traceChannels.clear();
    for (QwtPlotCurve* curve : curves) {
        curve->detach();
        delete curve;
    }
    curves.clear();

    for (const auto& [number, name] : channelNames) {
        const int wavelength = parseWavelength(name);
        const QColor colour = wavelength < 1 ? QColor(Qt::gray) : wavelengthToColor(wavelength);

        const auto offset = baselineOffsets.find(number);
        const double baseline = offset != baselineOffsets.end() ? offset->second : 0.0;

        const std::string prefix = "fl" + std::to_string(number);
        const std::string refinedName = prefix + "_median_rf";
        const bool useRefined =
            refined && std::find(traceNames.begin(), traceNames.end(), refinedName) != traceNames.end();

        traceChannels.push_back(
            TraceChannel{useRefined ? refinedName : prefix + "_median", name, number, colour, baseline});

        const QString title = (useRefined ? QStringLiteral("FL%1 refined (%2)") : QStringLiteral("FL%1 (%2)"))
                                  .arg(QString::number(number), QString::fromStdString(name));
        auto* curve = new QwtPlotCurve(title);
        curve->setPen(colour, 2, Qt::SolidLine);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->attach(this);
        curve->setVisible(false);
        curves.push_back(curve);
    }
}

void TracePlot::hideAllCurves()
{
    for (QwtPlotCurve* curve : curves) {
        curve->setSamples(QVector<QPointF>());
        curve->setVisible(false);
    }
}

void TracePlot::setTraces(const std::map<std::string, std::vector<float>>& traces)
{
    if (traceChannels.empty() || traces.empty()) {
        hideAllCurves();
        replot();
        return;
    }

    const double dt = sampleRate > 0.0 ? 1e6 / sampleRate : 1.0;
    for (std::size_t i = 0; i < traceChannels.size(); ++i) {
        const TraceChannel& channel = traceChannels[i];
        QwtPlotCurve* curve = curves[i];
        const auto found = traces.find(channel.traceName);
        if (found == traces.end() || found->second.empty()) {
            curve->setSamples(QVector<QPointF>());
            curve->setVisible(false);
            continue;
        }
        const std::vector<float>& samples = found->second;
        QVector<double> xs(static_cast<qsizetype>(samples.size()));
        QVector<double> ys(static_cast<qsizetype>(samples.size()));
        for (std::size_t k = 0; k < samples.size(); ++k) {
            xs[static_cast<qsizetype>(k)] = static_cast<double>(k) * dt;
            ys[static_cast<qsizetype>(k)] = static_cast<double>(samples[k]) + channel.baselineOffset;
        }
        curve->setSamples(xs, ys);
        curve->setVisible(true);
    }

    setAxisAutoScale(QwtAxis::XBottom, true);
    setAxisScale(QwtAxis::YLeft, YMin, YMax);
    replot();
}

void TracePlot::clearTraces()
{
    hideAllCurves();
    replot();
}

bool TracePlot::hasTraces() const
{
    return !traceChannels.empty();
}

const std::vector<TraceChannel>& TracePlot::channels() const
{
    return traceChannels;
}

int TracePlot::parseWavelength(const std::string& name)
{
    const std::string number = name.substr(0, name.find('/'));
    try {
        return std::stoi(number);
    } catch (const std::logic_error&) {
        // std::invalid_argument (no digits) and std::out_of_range (beyond int)
        return 0;
    }
}

QColor TracePlot::wavelengthToColor(double nm)
{
    if (!(nm >= 380.0 && nm <= 780.0))
        return QColor(128, 128, 128);

    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    if (nm < 440.0) {
        r = (440.0 - nm) / 60.0;
        b = 1.0;
    } else if (nm < 490.0) {
        g = (nm - 440.0) / 50.0;
        b = 1.0;
    } else if (nm < 510.0) {
        g = 1.0;
        b = (510.0 - nm) / 20.0;
    } else if (nm < 580.0) {
        r = (nm - 510.0) / 70.0;
        g = 1.0;
    } else if (nm < 645.0) {
        r = 1.0;
        g = (645.0 - nm) / 65.0;
    } else {
        r = 1.0;
    }

    double factor = 1.0;
    if (nm < 420.0)
        factor = 0.3 + 0.7 * (nm - 380.0) / 40.0;
    else if (nm > 700.0)
        factor = 0.3 + 0.7 * (780.0 - nm) / 80.0;

    return QColor(colourComponent(r, factor), colourComponent(g, factor), colourComponent(b, factor));
}

} // namespace Tessary
