#include "widgets/linearscaleengine.h"

#include <cmath>

namespace Tessary {

namespace {

// Far below any measured value, far above what overflows: an axis of even
// 2^24 pixels over this width keeps 1e290 of headroom in its scale factor.
constexpr double kNarrowestWidth = 1e-290;

} // namespace

LinearScaleEngine::LinearScaleEngine() : QwtLinearScaleEngine(10) {}

void LinearScaleEngine::autoScale(int maxNumSteps, double& x1, double& x2, double& stepSize) const
{
    const QwtInterval interval = mappable(QwtInterval(x1, x2).normalized());
    x1 = interval.minValue();
    x2 = interval.maxValue();
    QwtLinearScaleEngine::autoScale(maxNumSteps, x1, x2, stepSize);
}

QwtInterval LinearScaleEngine::mappable(const QwtInterval& interval)
{
    const double width = interval.maxValue() - interval.minValue();
    if (!(width > 0.0 && width < kNarrowestWidth))
        return interval;
    // Halves first: the sum of two ends may overflow, their halves cannot.
    const double centre = interval.minValue() / 2.0 + interval.maxValue() / 2.0;
    return QwtInterval(centre - kNarrowestWidth / 2.0, centre + kNarrowestWidth / 2.0);
}

} // namespace Tessary
