#pragma once

#include "calc/emodulusparams.h"
#include "calc/isoelasticline.h"

#include <QObject>

#include <vector>

namespace Tessary {

class RTDCReader;

// Young's modulus from the finite-element look-up table. The table itself is
// not part of this build: compute says so on standard error and returns
// false, and there are no isoelastic lines to draw. Nothing pretends to have
// computed.
class EModulus : public QObject
{
    Q_OBJECT
public:
    explicit EModulus(QObject* parent = nullptr);

    // Would store "emodulus"; needs "area_um" and params.deformFeature.
    bool compute(RTDCReader* reader, EModulusParams params);

    // Lines of equal modulus for look-up table 0; empty without a table.
    std::vector<IsoelasticLine> isoelasticityLines(EModulusParams params) const;

    // True once a look-up table is loaded; the main window offers the
    // calculation and the quality assessment only then.
    bool isAvailable() const { return false; }

signals:
    void progressChanged(int percent);
};

} // namespace Tessary
