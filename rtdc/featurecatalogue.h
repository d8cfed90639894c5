#pragma once

#include <map>
#include <string>

namespace Tessary {

// Label and unit of one feature; the unit may be empty. UTF-8 text.
struct FeatureDefinition
{
    std::string label;
    std::string unit;
};

// The main catalogue of known features (105 entries).
extern const std::map<std::string, FeatureDefinition> featureDefinitions;
// Meanings of user-defined features in files of the maker's instrument (4 entries).
extern const std::map<std::string, FeatureDefinition> instrumentFeatureDefinitions;
// Fluorescence suffixes with their leading "_" (10 entries).
extern const std::map<std::string, FeatureDefinition> fluorescenceSuffixDefinitions;

// True for "fl" + digits + a known suffix (for example "fl4_max"); then label is
// "FL-<digits> <suffix label>" and unit the suffix's unit. Otherwise false and
// label and unit stay untouched.
bool parseFluorescenceFeature(const std::string& name, std::string& label, std::string& unit);

// The display text of a feature: label + " [" + unit + "]", the label alone when
// the unit is empty, the name itself when no table knows it. instrumentData
// selects the instrument's meanings of the user-defined features.
std::string featureLabelText(const std::string& name, bool instrumentData);

} // namespace Tessary
