#include "rtdc/axistransforms.h"

namespace Tessary {

PseudoLogFormula::PseudoLogFormula(double a, double b)
    : a(a), b(b), seam(b * a), offset(b * a - std::log10(a))
{
}

const PseudoLogFormula& defaultPseudoLog()
{
    static const PseudoLogFormula formula;
    return formula;
}

std::vector<double> transformAxisValues(const std::vector<double>& values, int mode)
{
    mode = normalizeScaleMode(mode);
    if (mode == ScaleLinear)
        return values;

    std::vector<double> out(values.size());
    if (mode == ScaleLog) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double v = values[i];
            out[i] = v > 0.0 ? std::log10(v) : 0.0;
        }
    } else {
        const PseudoLogFormula& formula = defaultPseudoLog();
        for (std::size_t i = 0; i < values.size(); ++i)
            out[i] = formula.forward(values[i]);
    }
    return out;
}

static double inverseAxisValue(double v, int mode)
{
    switch (normalizeScaleMode(mode)) {
    case ScaleLog:
        return std::pow(10.0, v);
    case ScalePseudoLog:
        return defaultPseudoLog().inverse(v);
    default:
        return v;
    }
}

void inverseTransformAxisRange(double& x, double& y, int xMode, int yMode)
{
    x = inverseAxisValue(x, xMode);
    y = inverseAxisValue(y, yMode);
}

} // namespace Tessary
