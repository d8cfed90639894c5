#pragma once

#include <QMainWindow>

class QTreeWidget;
class QTreeWidgetItem;

namespace Tessary {

class MainWindow;

// Every filter group against every open dataset: one row per dataset (under
// its folders when the main window's dataset panel shows folders), one column
// per group, a check box where the group is switched on for the dataset. The
// window keeps no state of its own: it reads the main window and writes every
// change through the main window's group switches. The main window calls
// refresh() whenever datasets or groups change.
class FilterGroupsMatrixWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The main window passes no parent: this is a top-level tool window. With a
    // null main window the grid stays empty.
    explicit FilterGroupsMatrixWindow(MainWindow* mainWindow, QWidget* parent = nullptr);
    ~FilterGroupsMatrixWindow() override;

    QTreeWidget* grid() const { return tree; }

public slots:
    // Rebuilds columns and rows from the main window; writes nothing back.
    void refresh();

signals:
    void windowClosed(FilterGroupsMatrixWindow* self);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    // A group's header toggles the group across all datasets.
    void onColumnHeaderClicked(int column);
    // A dataset's name toggles every group for that dataset.
    void onItemClicked(QTreeWidgetItem* item, int column);

private:
    void setupUi();
    void rebuildColumns();
    void rebuildRows();

    MainWindow* mainWindow = nullptr;
    QTreeWidget* tree = nullptr;
    bool updating = false;                // check boxes set while rebuilding write nothing
    bool cellChanging = false;            // a ticked cell is being written: refresh() keeps the grid
    bool autoResizeFirstColumn = true;    // false once the user has set the dataset column's width
    bool resizingFirstColumn = false;     // the window itself is fitting that column
};

} // namespace Tessary
