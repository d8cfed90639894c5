#pragma once

#include <qwt_interval.h>
#include <qwt_scale_engine.h>

namespace Tessary {

// Scale engine of a linear axis: Qwt's, except that a range too narrow to be
// mapped onto pixels (a scale map divides the axis length by the range's
// width, which overflows below about 1e-300) is widened about its centre.
class LinearScaleEngine : public QwtLinearScaleEngine
{
public:
    LinearScaleEngine();

    void autoScale(int maxNumSteps, double& x1, double& x2, double& stepSize) const override;

    // interval, or when its width is above zero and below the narrowest range
    // an axis can show, that width about the same centre. A width of zero is
    // left to the engine, which gives such a range its own default.
    static QwtInterval mappable(const QwtInterval& interval);
};

} // namespace Tessary
