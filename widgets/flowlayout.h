#pragma once

#include <QLayout>
#include <QList>

namespace Tessary {

// Lays its items out left to right and starts a new line where the next one
// does not fit, so a row of buttons takes more height in a narrow dock instead
// of more width. Its minimum width is that of its widest item. An item that
// expands horizontally may shrink to its minimum to stay on a line, and each
// line gives its spare width to such items. Hidden items take no room.
// spacing() separates the items on a line and the lines.
class FlowLayout : public QLayout {
public:
    FlowLayout() = default;
    ~FlowLayout() override;

    // Whether the flow, as an item of another layout, asks for more width
    // than its one-line width when there is room (the default); a flow that
    // does not keeps its items together on one line as long as that fits,
    // and wraps them only where even a line of its own is too narrow.
    void setExpandsSideways(bool expands) { expanding = expands; }

    // The layout takes ownership of the added item or layout.
    void addItem(QLayoutItem* item) override;
    void addLayout(QLayout* layout);

    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;
    void invalidate() override;

private:
    // Places the visible items in rect (only measures when apply is false);
    // returns the height of all lines, margins included.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> items;
    bool expanding = true;
    // Layouts ask for the sizes many times between two changes.
    mutable int cachedWidth = -1;
    mutable int cachedHeight = -1;
    mutable QSize cachedMinimum;
    mutable QSize cachedHint;
};

} // namespace Tessary
