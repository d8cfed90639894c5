#include "widgets/flowlayout.h"

#include <QWidget>

#include <algorithm>
#include <vector>

namespace Tessary {

namespace {

bool expandsSideways(const QLayoutItem* item)
{
    return item->expandingDirections() & Qt::Horizontal;
}

// The width an item asks for on a line: an expanding one makes do with its minimum.
int wantedWidth(const QLayoutItem* item)
{
    return expandsSideways(item) ? item->minimumSize().width() : item->sizeHint().width();
}

int heightAt(const QLayoutItem* item, int width)
{
    return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

// Widths of the items of one line in a line of the given width: the spare
// width goes to the expanding items; a lone item wider than the line shrinks
// as far as its minimum allows.
std::vector<int> lineWidths(const std::vector<QLayoutItem*>& line, int width, int gap)
{
    std::vector<int> widths;
    int used = gap * (int(line.size()) - 1);
    int expanding = 0;
    for (const QLayoutItem* item : line) {
        widths.push_back(wantedWidth(item));
        used += widths.back();
        expanding += expandsSideways(item) ? 1 : 0;
    }
    int spare = width - used;
    if (spare < 0 && line.size() == 1)
        widths[0] = std::max(line[0]->minimumSize().width(), width);
    for (std::size_t i = 0; spare > 0 && expanding > 0 && i < line.size(); ++i) {
        if (!expandsSideways(line[i]))
            continue;
        const int share = spare / expanding--;
        widths[i] += share;
        spare -= share;
    }
    return widths;
}

} // namespace

FlowLayout::~FlowLayout()
{
    // Each item leaves the list before it goes (a child layout looks for
    // itself here when deleted); nothing is laid out again meanwhile.
    while (!items.isEmpty())
        delete items.takeFirst();
}

void FlowLayout::addItem(QLayoutItem* item)
{
    items.append(item);
    invalidate();
}

void FlowLayout::addLayout(QLayout* layout)
{
    addChildLayout(layout);
    addItem(layout);
}

int FlowLayout::count() const
{
    return int(items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const
{
    return index >= 0 && index < items.size() ? items.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= items.size())
        return nullptr;
    QLayoutItem* item = items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations FlowLayout::expandingDirections() const
{
    // A flow uses whatever width it is given: the wider, the fewer lines.
    return expanding ? Qt::Horizontal : Qt::Orientations();
}

bool FlowLayout::hasHeightForWidth() const
{
    return true;
}

int FlowLayout::heightForWidth(int width) const
{
    if (width != cachedWidth) {
        cachedHeight = arrange(QRect(0, 0, width, 0), false);
        cachedWidth = width;
    }
    return cachedHeight;
}

QSize FlowLayout::minimumSize() const
{
    if (cachedMinimum.isValid())
        return cachedMinimum;
    QSize size(0, 0);
    for (const QLayoutItem* item : items)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    cachedMinimum = size.grownBy(contentsMargins());
    return cachedMinimum;
}

QSize FlowLayout::sizeHint() const
{
    if (cachedHint.isValid())
        return cachedHint;
    // All on one line.
    int width = 0;
    int height = 0;
    int shown = 0;
    for (const QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
        ++shown;
    }
    width += std::max(spacing(), 0) * std::max(shown - 1, 0);
    cachedHint = QSize(width, height).grownBy(contentsMargins());
    return cachedHint;
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

void FlowLayout::invalidate()
{
    cachedWidth = -1;
    cachedMinimum = QSize();
    cachedHint = QSize();
    QLayout::invalidate();
}

int FlowLayout::arrange(const QRect& rect, bool apply) const
{
    const QMargins margins = contentsMargins();
    const QRect area = rect.marginsRemoved(margins);
    const int gap = std::max(spacing(), 0);
    int y = area.y();
    int lines = 0;
    std::vector<QLayoutItem*> line;
    int lineWidth = 0;

    const auto placeLine = [&] {
        if (lines++ > 0)
            y += gap;
        const std::vector<int> widths = lineWidths(line, area.width(), gap);
        int height = 0;
        for (std::size_t i = 0; i < line.size(); ++i)
            height = std::max(height, heightAt(line[i], widths[i]));
        if (apply) {
            // Each item gets the full line height; one of a fixed height is centred in it.
            int x = area.x();
            for (std::size_t i = 0; i < line.size(); ++i) {
                line[i]->setGeometry(QRect(x, y, widths[i], height));
                x += widths[i] + gap;
            }
        }
        y += height;
        line.clear();
        lineWidth = 0;
    };

    for (QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        const int wanted = wantedWidth(item);
        if (!line.empty() && lineWidth + gap + wanted > area.width())
            placeLine();
        lineWidth += (line.empty() ? 0 : gap) + wanted;
        line.push_back(item);
    }
    if (!line.empty())
        placeLine();
    return y - area.y() + margins.top() + margins.bottom();
}

} // namespace Tessary
