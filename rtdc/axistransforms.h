#pragma once

#include <cmath>
#include <vector>

namespace Tessary {

// Axis scale modes as sessions and rules store them. Any other integer is
// read as linear by every transform below (and by the plots), so a gate
// always keeps the region that the axis shows.
constexpr int ScaleLinear = 0;
constexpr int ScaleLog = 1;
constexpr int ScalePseudoLog = 2;

// The mode an axis actually uses: 0, 1 or 2; anything else becomes linear.
inline int normalizeScaleMode(int mode)
{
    return (mode == ScaleLog || mode == ScalePseudoLog) ? mode : ScaleLinear;
}

// Every pseudo-logarithmic axis of the program: linear on [-100, 100],
// where the seam at +-100 maps to +-0.5, logarithmic outside.
constexpr double PseudoLogLinearWidth = 100.0;
constexpr double PseudoLogSeamValue = 0.5;

// The pseudo-logarithmic mapping: b*x on [-a, a], log10(|x|) shifted to meet
// it continuously outside, mirrored for negative values. NaN stays NaN.
class PseudoLogFormula
{
public:
    // a: half-width of the linear region; b: its slope.
    explicit PseudoLogFormula(double a = PseudoLogLinearWidth,
                              double b = PseudoLogSeamValue / PseudoLogLinearWidth);

    double linearWidth() const { return a; }
    double slope() const { return b; }

    double forward(double x) const
    {
        if (x > a)
            return std::log10(x) + offset;
        if (x < -a)
            return -(std::log10(-x) + offset);
        return b * x;
    }

    double inverse(double y) const
    {
        if (y > seam)
            return std::pow(10.0, y - offset);
        if (y < -seam)
            return -std::pow(10.0, -y - offset);
        return y / b;
    }

private:
    double a;
    double b;
    double seam;   // b*a, the transformed value at x = a
    double offset; // b*a - log10(a)
};

// The formula with the program's defaults (a = 100, b = 0.005); built once,
// read-only afterwards, safe to use from any thread.
const PseudoLogFormula& defaultPseudoLog();

// Feature values to plot coordinates for drawing and density estimation:
// linear copies, log10 for positive values on a log axis (anything else
// becomes 0.0), the default pseudo-log transform on a pseudo-log axis.
std::vector<double> transformAxisValues(const std::vector<double>& values, int mode);

// Maps one point from plot coordinates back to feature values, in place:
// 10^v on a log axis, the inverse pseudo-log transform on a pseudo-log axis.
void inverseTransformAxisRange(double& x, double& y, int xMode, int yMode);

// One value for filter evaluation. A log axis uses the natural logarithm here;
// zero, negative and NaN values sit where the value 1 would (0.0). Vertices
// and event values go through the same function, so the base does not matter.
// The three-argument form lets a loop hold the pseudo-log formula itself.
inline double transformRuleAxisValue(double value, int mode, const PseudoLogFormula& pseudoLog)
{
    if (mode == ScaleLog)
        return value > 0.0 ? std::log(value) : 0.0;
    if (mode == ScalePseudoLog)
        return pseudoLog.forward(value);
    return value;
}

inline double transformRuleAxisValue(double value, int mode)
{
    return transformRuleAxisValue(value, mode, defaultPseudoLog());
}

} // namespace Tessary
