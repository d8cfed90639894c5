#include "rtdc/tracesmoothing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Tessary {

namespace {

// Element of rank floor(m/2) of window (the upper middle value for even m);
// reorders window. NaN samples rank above every number: plain < on them is no
// ordering, and selection with it may read past the window.
float windowMedian(std::vector<float>& window)
{
    const auto middle = window.begin() + static_cast<std::ptrdiff_t>(window.size() / 2);
    std::nth_element(window.begin(), middle, window.end(),
                     [](float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
    return *middle;
}

// Calls visit(i, first, last) for every sample with its clipped window bounds.
template <typename Visit>
void forEachWindow(std::size_t n, int halfWindow, Visit visit)
{
    const std::size_t w = static_cast<std::size_t>(std::max(halfWindow, 0));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t first = i > w ? i - w : 0;
        const std::size_t last = std::min(i + w, n - 1);
        visit(i, first, last);
    }
}

} // namespace

void hampelFilter(std::vector<float>& samples, int halfWindow, float threshold)
{
    const std::size_t n = samples.size();
    if (n == 0)
        return;
    std::vector<float> output = samples;
    std::vector<float> window;
    forEachWindow(n, halfWindow, [&](std::size_t i, std::size_t first, std::size_t last) {
        window.assign(samples.begin() + static_cast<std::ptrdiff_t>(first),
                      samples.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        const float median = windowMedian(window);
        for (float& value : window)
            value = std::fabs(value - median);
        const float scale = 1.4826f * windowMedian(window);
        if (scale > 0.0f && std::fabs(samples[i] - median) > threshold * scale)
            output[i] = median;
    });
    samples.swap(output);
}

void movingMedian(std::vector<float>& samples, int halfWindow)
{
    const std::size_t n = samples.size();
    if (n == 0 || halfWindow < 1)
        return;
    std::vector<float> output(n);
    std::vector<float> window;
    forEachWindow(n, halfWindow, [&](std::size_t i, std::size_t first, std::size_t last) {
        window.assign(samples.begin() + static_cast<std::ptrdiff_t>(first),
                      samples.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        output[i] = windowMedian(window);
    });
    samples.swap(output);
}

void movingMean(std::vector<float>& samples, int halfWindow)
{
    const std::size_t n = samples.size();
    if (n == 0 || halfWindow < 1)
        return;
    const std::size_t w = static_cast<std::size_t>(halfWindow);
    std::vector<float> output(n);
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t j = 0; j <= std::min(n - 1, w); ++j) {
        sum += samples[j];
        ++count;
    }
    output[0] = static_cast<float>(sum / static_cast<double>(count));
    for (std::size_t i = 1; i < n; ++i) {
        if (i + w < n) {
            sum += samples[i + w];
            ++count;
        }
        if (i >= w + 1) {
            sum -= samples[i - w - 1];
            --count;
        }
        output[i] = static_cast<float>(sum / static_cast<double>(count));
    }
    samples.swap(output);
}

void savitzkyGolaySmooth(std::vector<float>& samples, int halfWindow)
{
    if (halfWindow < 1)
        return;
    const std::size_t m = static_cast<std::size_t>(halfWindow);
    const std::size_t n = samples.size();
    if (n < 2 * m + 1)
        return;
    const double a = 3.0 * static_cast<double>(m) * static_cast<double>(m + 1) - 1.0;
    std::vector<double> coefficients(2 * m + 1);
    double total = 0.0;
    for (std::size_t k = 0; k < coefficients.size(); ++k) {
        const double j = static_cast<double>(k) - static_cast<double>(m);
        coefficients[k] = (a - 5.0 * j * j) * 3.0 / (static_cast<double>(2 * m + 1) * a);
        total += coefficients[k];
    }
    std::vector<float> weights(coefficients.size());
    for (std::size_t k = 0; k < coefficients.size(); ++k)
        weights[k] = static_cast<float>(coefficients[k] / total);

    std::vector<float> output = samples;
    for (std::size_t i = m; i + m < n; ++i) {
        float sum = 0.0f;
        for (std::size_t k = 0; k < weights.size(); ++k)
            sum += weights[k] * samples[i - m + k];
        output[i] = sum;
    }
    samples.swap(output);
}

void applyTraceOptions(std::vector<float>& samples, const TraceOptions& options)
{
    if (options.hampel1Enabled)
        hampelFilter(samples, options.hampel1Window, options.hampel1Threshold);
    if (options.hampel2Enabled)
        hampelFilter(samples, options.hampel2Window, options.hampel2Threshold);
    if (options.medianEnabled)
        movingMedian(samples, options.medianWindow);
    if (options.rollingAvgEnabled)
        movingMean(samples, options.rollingAvgWindow);
    if (options.savgolEnabled)
        savitzkyGolaySmooth(samples, options.savgolWindow);
}

} // namespace Tessary
