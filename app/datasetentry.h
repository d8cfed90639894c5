#pragma once

#include "calc/emodulusparams.h"
#include "calc/spillovermatrix.h"
#include "rtdc/eventfilter.h"
#include "rtdc/rtdcmetadata.h"

#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessary {

class RTDCReader;

// One opened measurement: its reader, plot settings, own filter, calculation
// state and filter-group switches. The main window owns every entry; everyone
// else holds the id and looks the entry up on each use. Two entries are
// duplicates of one dataset exactly when they share the same reader.
// Header-only on purpose: the filter dock reads entries without linking the
// main window's library.
struct DatasetEntry {
    int id = -1;
    std::shared_ptr<RTDCReader> reader;
    RTDCMetadata metadata;
    std::string filePath;              // UTF-8
    QString displayName;               // the name as lists, titles and messages show it: cut when long
    QString fullName;                  // the same name in full, as exports and sessions write it

    std::string xFeatureName;
    std::string yFeatureName;
    std::string colorFeatureName;      // a feature, a "__density_" key, or empty
    int currentEventIndex = -1;
    bool loaded = false;               // the background preload has finished

    EventFilter filter;

    int contourMode = 0;               // 0 off, 1 points and contours, 2 contours only
    double contourFraction1 = 0.1;
    double contourFraction2 = 0.67;
    int scaleXMode = 0;                // 0 linear, 1 logarithmic, 2 pseudo-logarithmic
    int scaleYMode = 0;

    bool flRefinementApplied = false;
    bool ctcApplied = false;
    std::vector<int> ctcChannels;
    SpilloverMatrix spilloverMatrix;   // n x n for the n channels once compensated
    bool emodApplied = false;
    EModulusParams emodParams;
    bool fcDeformApplied = false;
    bool imageFeaturesApplied = false;

    // Filter group id -> switched on; a missing id reads as off.
    std::unordered_map<int, bool> groupEnabled;
};

// The calculation state: applied flags, crosstalk channels and matrix and
// the Young's-modulus parameters. A dataset on the same reader shows the same
// calculated columns, and needs this state to have them recomputed once the
// dataset it was copied from is gone. (The refinement settings are not kept:
// a session recomputes the refinement with the defaults.)
inline void copyCalculationState(const DatasetEntry& from, DatasetEntry& to)
{
    to.flRefinementApplied = from.flRefinementApplied;
    to.ctcApplied = from.ctcApplied;
    to.ctcChannels = from.ctcChannels;
    to.spilloverMatrix = from.spilloverMatrix;
    to.emodApplied = from.emodApplied;
    to.emodParams = from.emodParams;
    to.fcDeformApplied = from.fcDeformApplied;
    to.imageFeaturesApplied = from.imageFeaturesApplied;
}

} // namespace Tessary
