#pragma once

#include <vector>

namespace Tessary {

// Settings of the smoothing chain applied to computed traces. Windows are half
// widths: a filter at sample i looks at samples i - w .. i + w, clipped to the trace.
struct TraceOptions
{
    bool hampel1Enabled = true;
    int hampel1Window = 5;
    float hampel1Threshold = 3.0f;
    bool hampel2Enabled = true;
    int hampel2Window = 11;
    float hampel2Threshold = 3.0f;
    bool medianEnabled = false;
    int medianWindow = 3;
    bool rollingAvgEnabled = false;
    int rollingAvgWindow = 3;
    bool savgolEnabled = true;
    int savgolWindow = 3;
};

// Each filter replaces the samples in place; windows always read the input.
// Replaces outliers (|x - median| > threshold * 1.4826 * MAD) by the window median.
void hampelFilter(std::vector<float>& samples, int halfWindow, float threshold);
// Window median (upper middle value for even windows); unchanged when halfWindow < 1.
void movingMedian(std::vector<float>& samples, int halfWindow);
// Window mean with windows shrinking at the ends; unchanged when halfWindow < 1.
void movingMean(std::vector<float>& samples, int halfWindow);
// Quadratic Savitzky-Golay smoothing; the first and last halfWindow samples stay.
void savitzkyGolaySmooth(std::vector<float>& samples, int halfWindow);

// Runs the enabled steps of the chain in their fixed order.
void applyTraceOptions(std::vector<float>& samples, const TraceOptions& options);

} // namespace Tessary
