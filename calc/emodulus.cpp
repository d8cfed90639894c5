#include "calc/emodulus.h"

#include "rtdc/rtdcreader.h"

#include <iostream>

namespace Tessary {

EModulus::EModulus(QObject* parent)
    : QObject(parent)
{
}

bool EModulus::compute(RTDCReader* reader, EModulusParams params)
{
    if (!reader) {
        std::cerr << "EModulus: no dataset" << std::endl;
        return false;
    }
    if (!reader->hasFeature("area_um") || !reader->hasFeature(params.deformFeature)) {
        std::cerr << "EModulus: needs the features area_um and " << params.deformFeature << std::endl;
        return false;
    }
    std::cerr << "EModulus: the look-up table LUT_LE_2D_FEM.txt is not available in this build; "
                 "Young's modulus was not computed" << std::endl;
    return false;
}

std::vector<IsoelasticLine> EModulus::isoelasticityLines(EModulusParams) const
{
    return {};
}

} // namespace Tessary
