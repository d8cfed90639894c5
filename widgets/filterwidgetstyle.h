#pragma once

#include <QPixmap>
#include <QString>

#include <vector>

class QLayout;
class QVBoxLayout;
class QPushButton;
class QWidget;

namespace Tessary {

// The shared look of the filter dock, its rule rows and its group widgets.
namespace FilterStyle {
extern const char* const plainSmallButton;
// An all-datasets action whose datasets currently differ.
extern const char* const accentSmallButton;
extern const char* const deleteButton;
extern const char* const editButton;
QString groupAddButton(int minWidth);
} // namespace FilterStyle

// The gate icon of polygon rows: round(size * ratio) pixels square, drawn for
// that device pixel ratio.
QPixmap makePolygonIcon(int size, double ratio);

// A short centred grey line between two rule rows; owned by parent.
QWidget* makeRuleSeparator(QWidget* parent);

// The "×" button of a row or group, 20 x 24, in the delete style; owned by parent.
QPushButton* makeDeleteButton(QWidget* parent);

// The per-rule all-datasets buttons shared by range and polygon rows.
struct RuleAllButtons {
    QPushButton* applyAllButton = nullptr;   // "Apply to All"
    QPushButton* updateAllButton = nullptr;  // "Update in All"
    QPushButton* checkAllButton = nullptr;   // "Uncheck in All" / "Check in All"
    QPushButton* deleteAllButton = nullptr;  // "Delete from All"

    // Creates the four buttons as children of parent, laid out in one
    // indented row that wraps where it is too narrow, the last three hidden;
    // returns the row.
    QLayout* create(QWidget* parent);

    // Visibility, enabled state, check-button text and accent styles for a
    // row in the given state. A row inside a group shows none of them.
    void update(bool inGroup, bool hasPropagationId, bool ruleChecked, bool multiDataset,
                bool updateDiffers, bool checkDiffers);
};

// Long lists of rows (rule rows, group widgets) keep their rows in blocks of
// at most kListBlockSize widgets, each block a widget of its own in the list's
// layout, which holds nothing else. Qt compares every widget it repaints with
// all of that widget's later siblings: thousands of rows under one parent
// would cost rows x rows on every repaint.
constexpr int kListBlockSize = 64;

// The block that takes the list's next widget (the last block, or a new one
// when that is full); create a row with it as parent to spare a reparenting.
QWidget* listBlockForNext(QVBoxLayout* list);
// Appends widget to the list's last block.
void appendToList(QVBoxLayout* list, QWidget* widget);
// Takes widget out of its block, hides it and deletes it later; a block left
// empty goes with it.
void removeFromList(QWidget* widget);

// Rule rows with a separator between each two: appends row (a separator first
// when rows exist), or empties the list and deletes the rows and separators
// later (a row may be the sender of the signal being handled), in time linear
// in the rows.
void appendRuleRow(QVBoxLayout* list, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators, QWidget* row);
void clearRuleRows(QVBoxLayout* list, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators);

// Sets the plain or the accent small-button style.
void setSmallButtonAccent(QPushButton* button, bool accent);

} // namespace Tessary
