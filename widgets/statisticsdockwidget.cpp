#include "widgets/statisticsdockwidget.h"

#include "widgets/columnstatistics.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tessary {

StatisticsDockWidget::StatisticsDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    table = new QTreeWidget(this);
    table->setColumnCount(3);
    table->setHeaderLabels({tr("Statistic"), tr("X"), tr("Y")});
    table->setRootIsDecorated(false);
    table->setAlternatingRowColors(true);
    // The columns share the dock's width: a table wider than the dock would
    // scroll sideways and cut right-aligned numbers at the dock's edge, where
    // "1000000" reads as "1000". Long headers and numbers are elided instead.
    QHeaderView* header = table->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setTextElideMode(Qt::ElideRight);
    layout->addWidget(table);
}

StatisticsDockWidget::~StatisticsDockWidget() = default;

void StatisticsDockWidget::updateStatistics(const std::vector<double>& x,
                                            const std::vector<double>& y,
                                            const QString& xName, const QString& yName)
{
    table->clear();
    table->setHeaderLabels({tr("Statistic"), xName, yName});
    // A header cut by a narrow dock still names its column in full.
    table->headerItem()->setToolTip(1, xName);
    table->headerItem()->setToolTip(2, yName);
    if (x.empty() || y.empty())
        return;

    const ColumnStatistics sx = computeColumnStatistics(x);
    const ColumnStatistics sy = computeColumnStatistics(y);

    const auto addRow = [this](const QString& name, const QString& xText, const QString& yText) {
        auto* item = new QTreeWidgetItem(table);
        item->setText(0, name);
        item->setText(1, xText);
        item->setText(2, yText);
        // An elided value still reads in full.
        item->setToolTip(1, xText);
        item->setToolTip(2, yText);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    };
    const auto number = [](double v) { return QString::number(v, 'g', 6); };

    // The caller passes x and y of one set of events, so N is that of x.
    const QString count = QString::number(static_cast<qulonglong>(x.size()));
    addRow(tr("N"), count, count);
    addRow(tr("Mean"), number(sx.mean), number(sy.mean));
    addRow(tr("SD"), number(sx.sd), number(sy.sd));
    addRow(tr("Q1"), number(sx.q1), number(sy.q1));
    addRow(tr("Median"), number(sx.median), number(sy.median));
    addRow(tr("Q3"), number(sx.q3), number(sy.q3));
    addRow(tr("IQR"), number(sx.iqr), number(sy.iqr));
}

void StatisticsDockWidget::clear()
{
    table->clear();
    table->setHeaderLabels({tr("Statistic"), tr("X"), tr("Y")});
    table->headerItem()->setToolTip(1, QString());
    table->headerItem()->setToolTip(2, QString());
}

} // namespace Tessary
