#include "app/statsummary.h"

#include "app/statsummaryexportdialog.h"
#include "widgets/columnstatistics.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace Tessary {

double sortedPercentile(const std::vector<double>& v, double p)
{
    if (v.empty())
        return 0.0;
    const double h = double(v.size() - 1) * (p / 100.0);
    const size_t i = size_t(h);
    const double f = h - double(i);
    if (i + 1 < v.size())
        return (1.0 - f) * v[i] + f * v[i + 1];
    return v.back();
}

namespace {

double mean(const std::vector<double>& v)
{
    return computeColumnMoments(v).mean;
}

double sampleSd(const std::vector<double>& v)
{
    if (v.size() < 2)
        return 0.0;
    return std::sqrt(computeColumnMoments(v).squares / double(v.size() - 1));
}

double median(const std::vector<double>& v)
{
    const size_t n = v.size();
    if (n == 0)
        return 0.0;
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) * 0.5;
}

double skewness(const std::vector<double>& v)
{
    if (v.size() < 3)
        return 0.0;
    const ColumnMoments d = computeColumnMoments(v);
    const double m2 = d.squares / double(v.size());
    const double m3 = d.cubes / double(v.size());
    const double sd = std::sqrt(m2);
    return sd == 0.0 ? 0.0 : m3 / (sd * sd * sd);
}

} // namespace

std::vector<SummaryStatistic> chosenSummaryStatistics(const StatSummaryOptions& o)
{
    const double p = o.percentile;
    const auto percentileAt = [](double q) {
        return [q](const std::vector<double>& v) { return sortedPercentile(v, q); };
    };
    const std::pair<bool, SummaryStatistic> all[] = {
        {o.statN, {"N", [](const std::vector<double>& v) { return double(v.size()); }, true}},
        {o.statMedian, {"Median", median}},
        {o.statIqr, {"IQR", [](const std::vector<double>& v) { return sortedPercentile(v, 75) - sortedPercentile(v, 25); }}},
        {o.statQ1, {"Q1", percentileAt(25.0)}},
        {o.statQ3, {"Q3", percentileAt(75.0)}},
        {o.statPercentile, {"P" + QString::number(p, 'f', 1).toStdString(), percentileAt(p)}},
        {o.statMean, {"Mean", mean}},
        {o.statSd, {"SD", sampleSd}},
        {o.statSem, {"SEM", [](const std::vector<double>& v) {
             return v.size() < 2 ? 0.0 : sampleSd(v) / std::sqrt(double(v.size()));
         }}},
        {o.statCv, {"CV (%)", [](const std::vector<double>& v) {
             const double m = mean(v);
             return v.size() < 2 || m == 0.0 ? 0.0 : sampleSd(v) * 100.0 / std::fabs(m);
         }}},
        {o.statMin, {"Min", [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.front(); }}},
        {o.statMax, {"Max", [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.back(); }}},
        {o.statSkewness, {"Skewness", skewness}},
    };
    std::vector<SummaryStatistic> chosen;
    for (const auto& [on, statistic] : all)
        if (on)
            chosen.push_back(statistic);
    return chosen;
}

std::vector<double> sortedFiniteValues(const std::vector<double>& column, const std::vector<int>& indices)
{
    std::vector<double> values;
    values.reserve(indices.size());
    for (int index : indices)
        if (index >= 0 && size_t(index) < column.size() && std::isfinite(column[size_t(index)]))
            values.push_back(column[size_t(index)]);
    std::sort(values.begin(), values.end());
    return values;
}

} // namespace Tessary
