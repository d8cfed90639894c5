#pragma once

#include <QDoubleSpinBox>

namespace Tessary {

// The box of a range rule's bound. It accepts a huge range, whose longest
// text would make a plain spin box ask for a very wide place; this one is as
// wide as its value needs (at least a short number), so a narrow dock cuts
// no value and a wide one does not stretch it across the row.
class BoundSpinBox : public QDoubleSpinBox
{
public:
    explicit BoundSpinBox(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    // The box's size showing the longer of its value's text and the sample.
    QSize sizeShowing(const QString& sample) const;
};

} // namespace Tessary
