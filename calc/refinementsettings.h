#pragma once

namespace Tessary {

// Settings of the fluorescence peak refinement: two Hampel filters, then
// optional moving median, rolling average and Savitzky-Golay smoothing, and the
// height a peak must reach to count.
struct RefinementSettings {
    bool hampel1Enabled = true;
    int hampel1Window = 5;
    double hampel1Threshold = 3.0;

    bool hampel2Enabled = true;
    int hampel2Window = 11;
    double hampel2Threshold = 3.0;

    bool medianEnabled = false;
    int medianWindow = 3;

    bool rollingAverageEnabled = false;
    int rollingAverageWindow = 3;

    bool savitzkyGolayEnabled = true;
    int savitzkyGolayWindow = 3;

    double peakThreshold = 400.0;
};

} // namespace Tessary
