#pragma once

#include <qwt_scale_engine.h>

namespace Tessary {

// Scale engine of a pseudo-logarithmic axis: decade major ticks outside the
// linear region, 0 and the ends inside it. The engine owns its transform.
class PseudoLogScaleEngine : public QwtScaleEngine
{
public:
    // a: linear half-width; w: transformed value at the seam. The program
    // always builds it with (100.0, 0.5).
    PseudoLogScaleEngine(double a, double w);
    ~PseudoLogScaleEngine() override;

    void autoScale(int maxNumSteps, double& x1, double& x2, double& stepSize) const override;
    QwtScaleDiv divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                            double stepSize = 0.0) const override;

private:
    QwtInterval align(const QwtInterval& interval, double stepSize) const;
    void buildTicks(const QwtInterval& interval, double stepSize, int maxMinorSteps,
                    QList<double> ticks[QwtScaleDiv::NTickTypes]) const;

    const double a;
    const double w;
};

} // namespace Tessary
