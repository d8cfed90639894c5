#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QTreeWidget;

namespace Tessary {

// Table of summary statistics (N, mean, SD, quartiles, IQR) of the two plotted
// columns: the x and y values of the events the scatter plot shows.
class StatisticsDockWidget : public QWidget
{
    Q_OBJECT

public:
    explicit StatisticsDockWidget(QWidget* parent = nullptr);
    ~StatisticsDockWidget() override;

    // Replaces the rows with the statistics of x and y; the header names the
    // two columns. An empty x or y leaves only the header.
    void updateStatistics(const std::vector<double>& x, const std::vector<double>& y,
                          const QString& xName, const QString& yName);
    // Removes every row and restores the header "Statistic", "X", "Y".
    void clear();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Sets the column names, each cut with an ellipsis to its section's width.
    void setColumnNames(const QString& xName, const QString& yName);
    void elideColumnNames();
    void elideColumnName(int column, int sectionWidth);

    QTreeWidget* table = nullptr; // owned through the Qt parent tree
    QString columnNames[2]; // whole; the header shows them elided, the tooltips whole
};

} // namespace Tessary
