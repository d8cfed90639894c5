#include "widgets/statisticsdockwidget.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <limits>

using namespace Tessary;

namespace {

QTreeWidget* tableOf(StatisticsDockWidget& dock)
{
    return dock.findChild<QTreeWidget*>();
}

QStringList headerOf(QTreeWidget* table)
{
    QStringList labels;
    for (int i = 0; i < table->columnCount(); ++i)
        labels << table->headerItem()->text(i);
    return labels;
}

// Column texts of the row named statistic.
QStringList rowOf(QTreeWidget* table, const QString& statistic)
{
    for (int i = 0; i < table->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = table->topLevelItem(i);
        if (item->text(0) == statistic)
            return {item->text(1), item->text(2)};
    }
    return {};
}

// A column name as the header shows it whole or cut with "…" to the label
// space of the column's section as it is now.
QString elidedForSection(QTreeWidget* table, int column, const QString& name)
{
    QHeaderView* header = table->header();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    const int width = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width();
    return header->fontMetrics().elidedText(name, Qt::ElideRight, width);
}

} // namespace

TEST(StatisticsDockWidget, StartsWithHeaderOnly)
{
    StatisticsDockWidget dock;
    QTreeWidget* table = tableOf(dock);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(headerOf(table), (QStringList{"Statistic", "X", "Y"}));
    EXPECT_EQ(table->topLevelItemCount(), 0);
    EXPECT_FALSE(table->rootIsDecorated());
    EXPECT_TRUE(table->alternatingRowColors());
}

TEST(StatisticsDockWidget, RowsInOrderWithSixSignificantDigits)
{
    StatisticsDockWidget dock;
    dock.updateStatistics({1, 2, 3, 4}, {1.5e6, 1.5e6, 1.5e6, 1.5e6}, "Area [µm²]", "Deformation");
    QTreeWidget* table = tableOf(dock);
    EXPECT_EQ(headerOf(table), (QStringList{"Statistic", "Area [µm²]", "Deformation"}));

    ASSERT_EQ(table->topLevelItemCount(), 7);
    QStringList names;
    for (int i = 0; i < 7; ++i)
        names << table->topLevelItem(i)->text(0);
    EXPECT_EQ(names, (QStringList{"N", "Mean", "SD", "Q1", "Median", "Q3", "IQR"}));

    EXPECT_EQ(rowOf(table, "N"), (QStringList{"4", "4"}));
    EXPECT_EQ(rowOf(table, "Mean"), (QStringList{"2.5", "1.5e+06"}));
    EXPECT_EQ(rowOf(table, "SD"), (QStringList{"1.29099", "0"}));
    EXPECT_EQ(rowOf(table, "Q1"), (QStringList{"1.75", "1.5e+06"}));
    EXPECT_EQ(rowOf(table, "Median"), (QStringList{"2.5", "1.5e+06"}));
    EXPECT_EQ(rowOf(table, "Q3"), (QStringList{"3.25", "1.5e+06"}));
    EXPECT_EQ(rowOf(table, "IQR"), (QStringList{"1.5", "0"}));

    const QTreeWidgetItem* mean = table->topLevelItem(1);
    EXPECT_EQ(mean->textAlignment(1), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(mean->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));
}

TEST(StatisticsDockWidget, SmallValuesUseExponentForm)
{
    StatisticsDockWidget dock;
    dock.updateStatistics({1e-5}, {2.5}, "a", "b");
    EXPECT_EQ(rowOf(tableOf(dock), "Mean"), (QStringList{"1e-05", "2.5"}));
    EXPECT_EQ(rowOf(tableOf(dock), "SD"), (QStringList{"0", "0"}));
}

TEST(StatisticsDockWidget, EmptyColumnShowsNamedHeaderWithoutRows)
{
    StatisticsDockWidget dock;
    dock.updateStatistics({1, 2}, {3, 4}, "a", "b");
    dock.updateStatistics({1, 2}, {}, "Area", "Brightness");
    QTreeWidget* table = tableOf(dock);
    EXPECT_EQ(headerOf(table), (QStringList{"Statistic", "Area", "Brightness"}));
    EXPECT_EQ(table->topLevelItemCount(), 0);
}

TEST(StatisticsDockWidget, ClearRestoresDefaultHeader)
{
    StatisticsDockWidget dock;
    dock.updateStatistics({1, 2}, {3, 4}, "a", "b");
    dock.clear();
    QTreeWidget* table = tableOf(dock);
    EXPECT_EQ(headerOf(table), (QStringList{"Statistic", "X", "Y"}));
    EXPECT_EQ(table->topLevelItemCount(), 0);
}

TEST(StatisticsDockWidget, NaNColumnShowsNaNMeanAndSd)
{
    StatisticsDockWidget dock;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    dock.updateStatistics({1, nan, 3}, {1, 2, 3}, "a", "b");
    QTreeWidget* table = tableOf(dock);
    EXPECT_EQ(rowOf(table, "N"), (QStringList{"3", "3"}));
    EXPECT_EQ(rowOf(table, "Mean").value(0), "nan");
    EXPECT_EQ(rowOf(table, "SD").value(0), "nan");
    EXPECT_EQ(rowOf(table, "Mean").value(1), "2");
}

// In a dock of its minimum width, long axis names must not push the numbers
// out of sight: cut at the dock's edge, N = 1000000 would read as "1000".
TEST(StatisticsDockWidget, NumbersStayWholeInANarrowDock)
{
    StatisticsDockWidget dock;
    dock.resize(250, 300);
    dock.show();
    std::vector<double> x(1000000), y(1000000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = 378.123456 + double(i % 7);
        y[i] = 1.0e6 + double(i % 11);
    }
    dock.updateStatistics(x, y, "FL-1 maximum [a.u.]", "FL-2 maximum [a.u.]");
    QCoreApplication::processEvents();
    QTreeWidget* table = tableOf(dock);
    EXPECT_LE(table->header()->length(), table->viewport()->width());   // nothing scrolls out of sight
    const QFontMetrics metrics(table->font());
    for (int row = 0; row < table->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = table->topLevelItem(row);
        for (int column : {1, 2}) {
            EXPECT_LE(metrics.horizontalAdvance(item->text(column)), table->header()->sectionSize(column))
                << item->text(0).toStdString() << " " << item->text(column).toStdString();
            EXPECT_EQ(item->toolTip(column), item->text(column));
        }
    }
    EXPECT_EQ(table->topLevelItem(0)->text(1), "1000000");
}

// The header announces new section widths before it stores them; names must
// be cut for the width the section ends with, not the one it had.
TEST(StatisticsDockWidget, ColumnNamesFollowTheSectionWidthBothWays)
{
    StatisticsDockWidget dock;
    dock.resize(600, 300);
    dock.show();
    const QStringList names{"FL-1 maximum [a.u.]", "FL-2 maximum [a.u.]"};
    dock.updateStatistics({1, 2}, {3, 4}, names[0], names[1]);
    QTreeWidget* table = tableOf(dock);
    for (const int width : {260, 600}) {
        dock.resize(width, 300);
        QCoreApplication::processEvents();
        for (const int column : {1, 2}) {
            const QString shown = table->headerItem()->text(column);
            EXPECT_EQ(shown.toStdString(), elidedForSection(table, column, names[column - 1]).toStdString())
                << "dock width " << width;
            EXPECT_EQ(shown.endsWith(QChar(0x2026)), width == 260) << shown.toStdString();
            EXPECT_EQ(table->headerItem()->toolTip(column), names[column - 1]);
        }
    }
}
