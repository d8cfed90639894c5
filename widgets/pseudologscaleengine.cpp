#include "widgets/pseudologscaleengine.h"

#include "widgets/linearscaleengine.h"
#include "widgets/pseudologtransform.h"

#include <QtGlobal>
#include <qwt_interval.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Tessary {

namespace {

// True when a and b differ by more than the relative tolerance 1e-12.
bool fuzzyDiffers(double a, double b)
{
    return std::fabs(a - b) * 1e12 > std::min(std::fabs(a), std::fabs(b));
}

bool fuzzyIsZero(double v)
{
    return std::fabs(v) * 1e12 <= 0.0;
}

} // namespace

PseudoLogScaleEngine::PseudoLogScaleEngine(double a, double w)
    : QwtScaleEngine(10), a(a), w(w)
{
    setTransformation(new PseudoLogTransform(a, w));
}

PseudoLogScaleEngine::~PseudoLogScaleEngine() = default;

void PseudoLogScaleEngine::autoScale(int maxNumSteps, double& x1, double& x2,
                                     double& stepSize) const
{
    QwtInterval interval = QwtInterval(x1, x2).normalized();
    interval.setMinValue(interval.minValue() - lowerMargin());
    interval.setMaxValue(interval.maxValue() + upperMargin());

    if (testAttribute(QwtScaleEngine::Symmetric))
        interval = interval.symmetrize(reference());
    if (testAttribute(QwtScaleEngine::IncludeReference))
        interval = interval.extend(reference());
    // Near zero the transform is linear: a range narrower than a linear axis
    // can show cannot be shown here either.
    interval = LinearScaleEngine::mappable(interval);
    if (interval.width() == 0.0)
        interval = buildInterval(interval.minValue());

    stepSize = QwtScaleArithmetic::divideInterval(interval.width(), std::max(maxNumSteps, 1), 10);
    if (!testAttribute(QwtScaleEngine::Floating))
        interval = align(interval, stepSize);

    x1 = interval.minValue();
    x2 = interval.maxValue();
    if (testAttribute(QwtScaleEngine::Inverted)) {
        std::swap(x1, x2);
        stepSize = -stepSize;
    }
}

QwtScaleDiv PseudoLogScaleEngine::divideScale(double x1, double x2, int maxMajorSteps,
                                              int maxMinorSteps, double stepSize) const
{
    const QwtInterval interval = QwtInterval(x1, x2).normalized();

    const long double width = static_cast<long double>(interval.maxValue())
                              - static_cast<long double>(interval.minValue());
    if (width > static_cast<long double>(DBL_MAX)) {
        qWarning("PseudoLogScaleEngine::divideScale: overflow");
        return QwtScaleDiv();
    }
    // Also catches a NaN end, which would otherwise reach the tick walk.
    if (!(width > 0.0L))
        return QwtScaleDiv();

    stepSize = std::fabs(stepSize);
    if (stepSize == 0.0)
        stepSize = QwtScaleArithmetic::divideInterval(interval.width(),
                                                      std::max(maxMajorSteps, 1), 10);

    QwtScaleDiv scaleDiv;
    if (stepSize != 0.0) {
        QList<double> ticks[QwtScaleDiv::NTickTypes];
        buildTicks(interval, stepSize, maxMinorSteps, ticks);
        scaleDiv = QwtScaleDiv(interval, ticks);
    }
    if (x1 > x2)
        scaleDiv.invert();
    return scaleDiv;
}

QwtInterval PseudoLogScaleEngine::align(const QwtInterval& interval, double stepSize) const
{
    double x1 = interval.minValue();
    double x2 = interval.maxValue();

    if (-DBL_MAX + stepSize <= x1) {
        const double f = QwtScaleArithmetic::floorEps(x1, stepSize);
        if (std::fabs(f) <= 1e-12 || fuzzyDiffers(x1, f))
            x1 = f;
    }
    if (DBL_MAX - stepSize >= x2) {
        const double c = QwtScaleArithmetic::ceilEps(x2, stepSize);
        if (std::fabs(c) <= 1e-12 || fuzzyDiffers(x2, c))
            x2 = c;
    }
    return QwtInterval(x1, x2);
}

void PseudoLogScaleEngine::buildTicks(const QwtInterval& interval, double stepSize,
                                      int maxMinorSteps,
                                      QList<double> ticks[QwtScaleDiv::NTickTypes]) const
{
    const QwtInterval aligned = align(interval, stepSize);
    const double lo = aligned.minValue();
    const double hi = aligned.maxValue();

    // Major ticks: the ends, decades at or beyond the linear half-width, and 0.
    QList<double>& major = ticks[QwtScaleDiv::MajorTick];
    const double expected = std::round(aligned.width() / stepSize) + 1.0;
    if (std::isfinite(expected) && expected > 0.0)
        major.reserve(static_cast<int>(std::min(expected, 10000.0)));
    major.append(lo);
    double v = lo;
    for (int steps = 0; hi > v && steps < 100; ++steps) {
        double next;
        if (v < 0.0)
            next = -std::pow(10.0, std::floor(std::log10(-v)) - 1.0);
        else if (v > 0.0)
            next = std::pow(10.0, std::floor(std::log10(v)) + 1.0);
        else
            next = 1.0;
        v = std::round(next);
        if (hi > v && std::fabs(v) >= a)
            major.append(v);
        if (fuzzyIsZero(v))
            major.append(v);
    }
    major.append(hi);

    // Minor ticks: the decade of each major tick in steps of its power of
    // ten, or tenths of the linear half-width from zero.
    if (maxMinorSteps > 0) {
        QList<double>& minor = ticks[QwtScaleDiv::MinorTick];
        for (int i = 0; i + 1 < major.size(); ++i) {
            const double t = major[i];
            const double tNext = major[i + 1];
            double step;
            if (std::fabs(t) <= 1e-12) {
                step = a / 10.0;
            } else {
                double m = std::floor(std::log10(std::fabs(t)));
                if (t < 0.0)
                    m -= 1.0;
                step = std::pow(10.0, m);
            }
            double value = t;
            for (int k = 0; k < 10; ++k) {
                value += step;
                if (value > tNext)
                    break;
                minor.append(value);
            }
        }
    }

    const double zeroEps = std::fabs(stepSize * 1e-6);
    for (int type = 0; type < QwtScaleDiv::NTickTypes; ++type) {
        ticks[type] = strip(ticks[type], interval);
        for (double& tick : ticks[type])
            if (std::fabs(tick) <= zeroEps)
                tick = 0.0;
    }
}

} // namespace Tessary
