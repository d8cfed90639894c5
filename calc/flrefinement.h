#pragma once

#include "calc/refinementsettings.h"

#include <QObject>

#include <atomic>
#include <string>
#include <vector>

namespace Tessary {

class RTDCReader;
struct RTDCMetadata;

// Fluorescence peak refinement: each channel's raw trace is smoothed by the
// reader's trace chain (Hampel, median, rolling mean, Savitzky-Golay as the
// settings say), and the peak of the smoothed trace gives the refined height,
// position and width of every event.
class FLRefinement : public QObject
{
    Q_OBJECT
public:
    explicit FLRefinement(QObject* parent = nullptr);

    struct Peak
    {
        double height;     // maximum of the trace
        double position;   // time of the maximum, in µs (in samples without a sample rate)
        double width;      // full width at half maximum, same unit
    };

    // The peak of one smoothed trace. samplePeriod converts samples to time.
    // An empty trace gives NaN everywhere; a maximum below threshold keeps its
    // height but gives NaN position and width, since a peak that low is noise.
    static Peak findPeak(const std::vector<float>& trace, double samplePeriod, double threshold);

    // The channels c of the reader's raw traces "fl<c>_raw", in trace order.
    static std::vector<int> rawTraceChannels(const RTDCReader& reader);
    // The columns compute() stores for those channels.
    static std::vector<std::string> featureNames(const RTDCReader& reader);

    // Stores "fl<c>_max_rf", "fl<c>_pos_rf" and "fl<c>_width_rf" for every
    // channel c with a raw trace "fl<c>_raw", and registers the smoothed trace
    // "fl<c>_median_rf". False, with a line on standard error, when the reader
    // has no raw fluorescence traces. Runs on the calling thread.
    //
    // A refinement of a large file runs for minutes. Setting stopRequested
    // (from any thread) makes this run return false within one event,
    // storing nothing; each run has its own flag, so stopping one leaves the
    // next to run.
    bool compute(RTDCReader* reader, const RTDCMetadata& metadata, RefinementSettings settings,
                 const std::atomic<bool>* stopRequested = nullptr);

signals:
    void progressChanged(int percent);
};

} // namespace Tessary
