#include "calc/flrefinement.h"

#include "rtdc/metadatanumber.h"
#include "rtdc/rtdcreader.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <regex>
#include <string>

namespace Tessary {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Microseconds per sample from the fluorescence "sample rate" (Hz); 1 (that
// is, samples) when the metadata lack a usable rate.
double samplePeriodMicroseconds(const RTDCMetadata& metadata)
{
    const std::optional<double> rate = metadataNumber(metadata.fluorescence, "sample rate");
    if (!rate || *rate <= 0.0)
        return 1.0;
    return 1e6 / *rate;
}

// Linear interpolation of the sample position where the trace crosses level
// between samples a and b.
double crossing(const std::vector<float>& t, size_t a, size_t b, double level)
{
    const double ya = t[a], yb = t[b];
    if (ya == yb)
        return double(b);
    return double(a) + (level - ya) / (yb - ya) * (double(b) - double(a));
}

} // namespace

FLRefinement::FLRefinement(QObject* parent)
    : QObject(parent)
{
}

FLRefinement::Peak FLRefinement::findPeak(const std::vector<float>& trace, double samplePeriod, double threshold)
{
    size_t best = trace.size();
    for (size_t i = 0; i < trace.size(); ++i)
        if (std::isfinite(trace[i]) && (best == trace.size() || trace[i] > trace[best]))
            best = i;
    if (best == trace.size())
        return {kNaN, kNaN, kNaN};
    const double height = trace[best];
    if (!(height >= threshold))
        return {height, kNaN, kNaN};

    // Full width at half maximum, the half crossings found by walking out from
    // the maximum; a peak cut by the trace's end is measured to that end.
    const double half = height / 2.0;
    double left = 0.0;
    for (size_t i = best; i > 0; --i)
        if (trace[i - 1] < half) {
            left = crossing(trace, i - 1, i, half);
            break;
        }
    double right = double(trace.size() - 1);
    for (size_t i = best; i + 1 < trace.size(); ++i)
        if (trace[i + 1] < half) {
            right = crossing(trace, i, i + 1, half);
            break;
        }
    return {height, double(best) * samplePeriod, (right - left) * samplePeriod};
}

std::vector<int> FLRefinement::rawTraceChannels(const RTDCReader& reader)
{
    static const std::regex rawName("fl([0-9]+)_raw");
    std::vector<int> channels;
    for (const std::string& name : reader.traceNames()) {
        std::smatch m;
        if (!std::regex_match(name, m, rawName))
            continue;
        // The name comes from the file: a number beyond int is no channel.
        const std::string digits = m[1].str();
        int channel = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), channel);
        if (error == std::errc() && end == digits.data() + digits.size())
            channels.push_back(channel);
    }
    return channels;
}

std::vector<std::string> FLRefinement::featureNames(const RTDCReader& reader)
{
    std::vector<std::string> names;
    for (int c : rawTraceChannels(reader))
        for (const char* quantity : {"_max_rf", "_pos_rf", "_width_rf"})
            names.push_back("fl" + std::to_string(c) + quantity);
    return names;
}

bool FLRefinement::compute(RTDCReader* reader, const RTDCMetadata& metadata, RefinementSettings settings,
                           const std::atomic<bool>* stopRequested)
{
    const auto stopped = [stopRequested] { return stopRequested && stopRequested->load(std::memory_order_relaxed); };
    if (stopped())
        return false;
    if (!reader || !reader->hasTraces()) {
        std::cerr << "FLRefinement: the dataset has no fluorescence traces" << std::endl;
        return false;
    }
    const std::vector<int> channels = rawTraceChannels(*reader);
    if (channels.empty()) {
        std::cerr << "FLRefinement: the dataset has no raw fluorescence traces" << std::endl;
        return false;
    }

    reader->setTraceOptions(settings.hampel1Enabled, settings.hampel1Window, float(settings.hampel1Threshold),
                            settings.hampel2Enabled, settings.hampel2Window, float(settings.hampel2Threshold),
                            settings.medianEnabled, settings.medianWindow,
                            settings.rollingAverageEnabled, settings.rollingAverageWindow,
                            settings.savitzkyGolayEnabled, settings.savitzkyGolayWindow);
    std::vector<std::string> refinedNames;
    for (int c : channels) {
        const std::string base = "fl" + std::to_string(c);
        refinedNames.push_back(base + "_median_rf");
        reader->setComputedTrace(refinedNames.back(), base + "_raw");
    }

    const double period = samplePeriodMicroseconds(metadata);
    const size_t events = reader->eventCount();
    const size_t n = channels.size();
    std::vector<std::vector<double>> height(n, std::vector<double>(events)), position = height, width = height;
    int lastPercent = -1;
    for (size_t e = 0; e < events; ++e) {
        if (stopped())
            return false;
        for (size_t k = 0; k < n; ++k) {
            const Peak p = findPeak(reader->readTrace(refinedNames[k], e), period, settings.peakThreshold);
            height[k][e] = p.height;
            position[k][e] = p.position;
            width[k][e] = p.width;
        }
        const int percent = int((e + 1) * 100 / events);
        if (percent != lastPercent && !stopped()) {   // the bar may show the next run already
            lastPercent = percent;
            emit progressChanged(percent);
        }
    }
    for (size_t k = 0; k < n; ++k) {
        const std::string base = "fl" + std::to_string(channels[k]);
        reader->setComputedFeature(base + "_max_rf", std::move(height[k]));
        reader->setComputedFeature(base + "_pos_rf", std::move(position[k]));
        reader->setComputedFeature(base + "_width_rf", std::move(width[k]));
    }
    emit progressChanged(100);
    return true;
}

} // namespace Tessary
