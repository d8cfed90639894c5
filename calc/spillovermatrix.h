#pragma once

#include <cstddef>
#include <vector>

namespace Tessary {

// Dense row-major matrix of the crosstalk compensation (element (i, j): the
// share of channel j's dye seen in channel i). Kept free of any linear-algebra
// library so the dataset entry stays cheap to include; the compensation copies
// it into its own matrix type when it inverts it.
class SpilloverMatrix {
public:
    SpilloverMatrix() = default;
    SpilloverMatrix(std::size_t rows, std::size_t cols) { resize(rows, cols); }

    std::size_t rows() const { return nRows; }
    std::size_t cols() const { return nCols; }
    bool empty() const { return values.empty(); }

    // Every element becomes 0.0.
    void resize(std::size_t rows, std::size_t cols)
    {
        nRows = rows;
        nCols = cols;
        values.assign(rows * cols, 0.0);
    }

    double& operator()(std::size_t i, std::size_t j) { return values[i * nCols + j]; }
    double operator()(std::size_t i, std::size_t j) const { return values[i * nCols + j]; }

    // Row after row, rows() * cols() values.
    const std::vector<double>& data() const { return values; }

    bool operator==(const SpilloverMatrix& other) const
    {
        return nRows == other.nRows && nCols == other.nCols && values == other.values;
    }
    bool operator!=(const SpilloverMatrix& other) const { return !(*this == other); }

private:
    std::size_t nRows = 0;
    std::size_t nCols = 0;
    std::vector<double> values;
};

} // namespace Tessary
