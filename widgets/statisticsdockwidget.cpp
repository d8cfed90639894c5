#include "widgets/statisticsdockwidget.h"

#include "widgets/columnstatistics.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
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
    columnNames[0] = tr("X");
    columnNames[1] = tr("Y");
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
    // The header draws its labels semibold within the style sheet's padding
    // and would cut a long one at the edge: the labels are elided here.
    QFont headerFont = header->font();
    headerFont.setWeight(QFont::DemiBold);
    header->setFont(headerFont);
    // The header announces a new section width before it stores it: the
    // signal's width is the one to elide for, not sectionSize().
    connect(header, &QHeaderView::sectionResized, this,
            [this](int section, int, int newWidth) { elideColumnName(section, newWidth); });
    connect(header, &QHeaderView::geometriesChanged, this, [this] { elideColumnNames(); });
    layout->addWidget(table);
}

StatisticsDockWidget::~StatisticsDockWidget()
{
    // The base destructor deletes the table, whose header still announces
    // its geometry on the way out: this part of the dock is gone by then.
    table->header()->disconnect(this);
}

void StatisticsDockWidget::updateStatistics(const std::vector<double>& x,
                                            const std::vector<double>& y,
                                            const QString& xName, const QString& yName)
{
    table->clear();
    setColumnNames(xName, yName);
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
    setColumnNames(tr("X"), tr("Y"));
}

void StatisticsDockWidget::setColumnNames(const QString& xName, const QString& yName)
{
    columnNames[0] = xName;
    columnNames[1] = yName;
    table->headerItem()->setText(0, tr("Statistic"));
    // A header cut by a narrow dock still names its column in full.
    table->headerItem()->setToolTip(1, xName);
    table->headerItem()->setToolTip(2, yName);
    elideColumnNames();
}

void StatisticsDockWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    elideColumnNames();
}

void StatisticsDockWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Names set while the dock was hidden are whole; the sections may keep their widths.
    elideColumnNames();
}

void StatisticsDockWidget::elideColumnNames()
{
    for (int column = 1; column <= 2; ++column)
        elideColumnName(column, table->header()->sectionSize(column));
}

void StatisticsDockWidget::elideColumnName(int column, int sectionWidth)
{
    if (column < 1 || column > 2)
        return;
    QHeaderView* header = table->header();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.rect = QRect(0, 0, sectionWidth, header->height());
    const int width = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width();
    const QString& name = columnNames[column - 1];
    // Until the header is laid out its sections have no width of their own.
    const QString shown =
        header->isVisible() && width > 0 ? header->fontMetrics().elidedText(name, Qt::ElideRight, width) : name;
    if (table->headerItem()->text(column) != shown)
        table->headerItem()->setText(column, shown);
}

} // namespace Tessary
