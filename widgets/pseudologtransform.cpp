#include "widgets/pseudologtransform.h"

namespace Tessary {

PseudoLogTransform::PseudoLogTransform()
    : formula(PseudoLogLinearWidth, PseudoLogSeamValue / PseudoLogLinearWidth)
{
}

PseudoLogTransform::PseudoLogTransform(double a, double w)
    : formula(a, w / a)
{
}

PseudoLogTransform::~PseudoLogTransform() = default;

double PseudoLogTransform::transform(double x) const
{
    return formula.forward(x);
}

double PseudoLogTransform::invTransform(double y) const
{
    return formula.inverse(y);
}

QwtTransform* PseudoLogTransform::copy() const
{
    const double a = formula.linearWidth();
    return new PseudoLogTransform(a, formula.slope() * a);
}

} // namespace Tessary
