#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Tessary {

// A polygon filter that the file records: the two features it gates and its
// vertices (x, y) in file order.
struct PolygonFilterInfo
{
    std::string xFeature;
    std::string yFeature;
    std::vector<std::pair<double, double>> points;
};

// The root attributes of one file as text: one map per known section (key to
// value), every attribute by its full name ("section:key"), and the polygon filters.
struct RTDCMetadata
{
    std::map<std::string, std::string> experiment;     // section "experiment"
    std::map<std::string, std::string> setup;          // section "setup"
    std::map<std::string, std::string> imaging;        // section "imaging"
    std::map<std::string, std::string> onlineContour;  // section "online_contour"
    std::map<std::string, std::string> onlineFilter;   // section "online_filter"
    std::map<std::string, std::string> offlineFilter;  // section "offline_filter"
    std::map<std::string, std::string> fluorescence;   // section "fluorescence"
    std::map<std::string, std::string> exportInfo;     // section "export"
    std::map<std::string, std::string> allAttributes;
    std::vector<PolygonFilterInfo> polygonFilters;
};

} // namespace Tessary
