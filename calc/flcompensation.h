#pragma once

#include "calc/spillovermatrix.h"

#include <QObject>

#include <string>
#include <vector>

namespace Tessary {

class RTDCReader;

// Crosstalk compensation of the fluorescence peaks. The spillover matrix S has
// one row and one column per channel; S(i, j) is the share of channel j's dye
// that channel i records (the diagonal is 1). An event's measured peaks m are
// then m = S t, and the compensated peaks t solve that system.
class FLCompensation : public QObject
{
    Q_OBJECT
public:
    explicit FLCompensation(QObject* parent = nullptr);

    // Reads "fl<c>_max" for each channel c and stores the compensated peaks as
    // "fl<c>_max_ctc". False, with a line on standard error, when a column is
    // missing, the matrix does not fit the channels or is singular. Runs on
    // the calling thread; emits progressChanged.
    bool compute(RTDCReader* reader, const std::vector<int>& channels, const SpilloverMatrix& spillover);
    // The column compute() stores for channel c.
    static std::string featureName(int channel);

    // The solving step alone: columns[k] holds channel k's measured peaks, all
    // of one length. Fills compensated (same shape) and returns true, or
    // returns false and leaves it untouched when the system cannot be solved.
    static bool compensate(const std::vector<std::vector<double>>& columns, const SpilloverMatrix& spillover,
                           std::vector<std::vector<double>>& compensated, QString* error = nullptr);

signals:
    void progressChanged(int percent);
};

} // namespace Tessary
