#pragma once

#include <string>

namespace Tessary {

// Inputs of the Young's-modulus calculation. The defaults are those a newly
// opened dataset starts with; the main window copies the record whole into
// the calculation and replaces only the temperature.
struct EModulusParams {
    int lutModel = 0;               // 0: the look-up table "LUT_LE_2D_FEM.txt"
    int viscModel = 0;              // 0: "Herold-2017"
    int medium = 1;                 // 1: LumevaB
    double temperature = 23.0;      // degrees Celsius
    int tempSource = 2;             // 2: the temperature comes from the metadata
    double manualViscosity = 0.0;   // mPa s, used only with a manual viscosity
    double channelWidth = 20.0;     // µm
    double flowRate = 0.04;         // µL/s
    double pixelSize = 0.34;        // µm
    std::string deformFeature = "deform";
    bool applyPixelationCorrection = true;
};

} // namespace Tessary
