// A small measurement for the filter widget tests: a reader on a file with a
// few columns whose finite ranges land in each decimals class, with bounds
// that do not fit two decimals.
#pragma once

#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace Tessary::FilterTest {

inline const double nan = std::numeric_limits<double>::quiet_NaN();

// Sorted feature names: "area_um", "const_one", "deform", "fl1_max", "nan_only",
// "porosity", "volume". "area_um" spans 10.123456789 .. 50.987654321 (2 decimals).
struct Measurement {
    Fixtures::TempDir dir;
    std::shared_ptr<RTDCReader> reader = std::make_shared<RTDCReader>();

    Measurement()
    {
        Fixtures::RtdcFileBuilder builder;
        builder.feature("area_um", std::vector<double>{10.123456789, 20.0, 35.5, 50.987654321, nan})
            .feature("deform", std::vector<double>{0.01, 0.02, 0.06, 0.03, 0.04})   // range 0.05
            .feature("porosity", std::vector<double>{1.0, 1.5, 1.2, 1.1, 1.3})      // range 0.5
            .feature("volume", std::vector<double>{0.0, 1000.0, 5000.0, 2500.0, 10.0}) // 5000
            .feature("const_one", std::vector<double>{1.0, 1.0, 1.0, 1.0, 1.0})
            .feature("nan_only", std::vector<double>{nan, nan, nan, nan, nan})
            .feature("fl1_max", std::vector<double>{100.0, 200.0, 300.0, 400.0, 500.0})
            .attribute("setup:module composition", "Vireon, Fluorescence");
        const std::string path = dir.file("filters.rtdc");
        builder.write(path);
        reader->open(path);
        reader->readMetadata();
    }

    std::vector<std::string> scalarFeatures() const
    {
        std::vector<std::string> names;
        for (const std::string& name : reader->features())
            if (RTDCReader::isScalarFeatureName(name))
                names.push_back(name);
        return names;
    }
};

inline FilterRule rangeRule(const std::string& feature, double lo, double hi)
{
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

inline FilterRule polygonRule(const std::string& x, const std::string& y, std::size_t vertices)
{
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    for (std::size_t i = 0; i < vertices; ++i) {
        const double angle = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(vertices);
        rule.polygonVertices.emplace_back(30.0 + 10.0 * std::cos(angle),
                                          0.03 + 0.01 * std::sin(angle));
    }
    return rule;
}

} // namespace Tessary::FilterTest
