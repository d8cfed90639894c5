#pragma once

#include "rtdc/axistransforms.h"

#include <qwt_transform.h>

namespace Tessary {

// Pseudo-logarithmic axis transform: linear on [-a, a] with slope b,
// logarithmic outside. Input is not clamped (bounded() is the base's).
class PseudoLogTransform : public QwtTransform
{
public:
    PseudoLogTransform(); // a = 100, b = 0.005
    // w is the transformed value at the seam x = a, so b = w / a.
    PseudoLogTransform(double a, double w);
    ~PseudoLogTransform() override;

    double transform(double x) const override;
    double invTransform(double y) const override;
    QwtTransform* copy() const override; // the caller owns the copy

    double linearWidth() const { return formula.linearWidth(); } // a
    double slope() const { return formula.slope(); }              // b

private:
    const PseudoLogFormula formula;
};

} // namespace Tessary
