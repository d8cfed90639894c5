#include "calc/flcompensation.h"

#include "rtdc/rtdcreader.h"

#include <armadillo>

#include <cmath>
#include <iostream>
#include <limits>
#include <string>

namespace Tessary {

namespace {

void report(const QString& text)
{
    std::cerr << "FLCompensation: " << text.toStdString() << std::endl;
}

} // namespace

FLCompensation::FLCompensation(QObject* parent)
    : QObject(parent)
{
}

bool FLCompensation::compensate(const std::vector<std::vector<double>>& columns, const SpilloverMatrix& spillover,
                                std::vector<std::vector<double>>& compensated, QString* error)
{
    const size_t n = columns.size();
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (n == 0)
        return fail(QStringLiteral("no channels given"));
    if (spillover.rows() != n || spillover.cols() != n)
        return fail(QStringLiteral("spillover matrix is %1 x %2 for %3 channels")
                        .arg(spillover.rows()).arg(spillover.cols()).arg(n));
    arma::mat s(n, n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            s(i, j) = spillover(i, j);
    if (!s.is_finite())
        return fail(QStringLiteral("spillover matrix holds a value that is not a number"));
    const size_t events = columns.front().size();
    for (const auto& c : columns)
        if (c.size() != events)
            return fail(QStringLiteral("fluorescence columns differ in length"));

    // A tiny reciprocal condition number means the channels cannot be told
    // apart: any answer would be noise amplified without bound.
    const double rc = arma::rcond(s);
    if (!(rc > 1e3 * std::numeric_limits<double>::epsilon()))
        return fail(QStringLiteral("spillover matrix is singular"));
    arma::mat inverse;
    if (!arma::inv(inverse, s))
        return fail(QStringLiteral("spillover matrix is singular"));

    // t = S^-1 m for each event; a NaN peak spreads only to the channels it
    // feeds, through the arithmetic itself.
    std::vector<std::vector<double>> out(n, std::vector<double>(events));
    for (size_t e = 0; e < events; ++e) {
        for (size_t i = 0; i < n; ++i) {
            double sum = 0.0;
            for (size_t j = 0; j < n; ++j) {
                const double coeff = inverse(i, j);
                if (coeff != 0.0)
                    sum += coeff * columns[j][e];
            }
            out[i][e] = sum;
        }
    }
    compensated = std::move(out);
    return true;
}

std::string FLCompensation::featureName(int channel)
{
    return "fl" + std::to_string(channel) + "_max_ctc";
}

bool FLCompensation::compute(RTDCReader* reader, const std::vector<int>& channels, const SpilloverMatrix& spillover)
{
    if (!reader) {
        report(QStringLiteral("no dataset"));
        return false;
    }
    std::vector<std::vector<double>> columns;
    columns.reserve(channels.size());
    for (int c : channels) {
        const std::string name = "fl" + std::to_string(c) + "_max";
        if (!reader->hasFeature(name)) {
            report(QStringLiteral("feature %1 is missing").arg(QString::fromStdString(name)));
            return false;
        }
        columns.push_back(reader->readFeature(name));
    }
    emit progressChanged(30);
    std::vector<std::vector<double>> compensated;
    QString why;
    if (!compensate(columns, spillover, compensated, &why)) {
        report(why);
        return false;
    }
    emit progressChanged(70);
    for (size_t k = 0; k < channels.size(); ++k)
        reader->setComputedFeature(featureName(channels[k]), std::move(compensated[k]));
    emit progressChanged(100);
    return true;
}

} // namespace Tessary
