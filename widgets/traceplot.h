#pragma once

#include <QColor>

#include <qwt_plot.h>

#include <map>
#include <string>
#include <vector>

class QwtPlotCurve;

namespace Tessary {

// One shown fluorescence channel of the trace plot.
struct TraceChannel
{
    std::string traceName;   // "fl<N>_median" or "fl<N>_median_rf"
    std::string channelName; // as named in the metadata
    int channel = 0;         // channel number N
    QColor color;
    double baselineOffset = 0.0; // added to every sample before drawing
};

// The fluorescence traces of the event on display: one curve per channel over
// time in microseconds, on a pseudo-logarithmic intensity axis, each curve in
// the colour of its channel's wavelength. Reads no files; the caller hands over
// the channel list and then each event's traces.
class TracePlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit TracePlot(QWidget* parent = nullptr);
    ~TracePlot() override;

    // Rebuilds the channels and their (hidden) curves. channelNames maps channel
    // numbers to names, baselineOffsets channel numbers to offsets; traceNames
    // lists the traces the dataset holds; refined picks each channel's refined
    // trace where the dataset has one. The plot owns the curves.
    void createTraceCurves(const std::map<int, std::string>& channelNames,
                           const std::map<int, double>& baselineOffsets, double sampleRate,
                           const std::vector<std::string>& traceNames, bool refined);
    // Draws one event's traces, keyed by trace name; a channel whose trace is
    // missing or empty is hidden. An empty map hides every curve.
    void setTraces(const std::map<std::string, std::vector<float>>& traces);
    // Hides every curve and drops its samples; the channels stay.
    void clearTraces();
    bool hasTraces() const;
    const std::vector<TraceChannel>& channels() const;

    // The leading number of a channel name ("488/560" gives 488), 0 when there is none.
    static int parseWavelength(const std::string& name);
    // The colour of light of the wavelength nm, dimmed towards the ends of the
    // visible range; grey outside 380..780 nm.
    static QColor wavelengthToColor(double nm);

private:
    void hideAllCurves();

    double sampleRate = 0.0;
    std::vector<TraceChannel> traceChannels;
    std::vector<QwtPlotCurve*> curves; // attached to and owned by the plot
};

} // namespace Tessary
