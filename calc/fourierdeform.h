#pragma once

#include <QObject>

namespace Tessary {

class RTDCReader;

// Deformation from a Fourier decomposition of the event contour. The
// decomposition is not part of this build: compute reports that on standard
// error and returns false without storing anything.
class FourierDeform : public QObject
{
    Q_OBJECT
public:
    explicit FourierDeform(QObject* parent = nullptr);

    // Would store "deform_odd", "deform_even" and "deform_fc"; needs masks.
    bool compute(RTDCReader* reader);

    bool isAvailable() const { return false; }

signals:
    void progressChanged(int percent);
};

} // namespace Tessary
