#include "widgets/boundspinbox.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace Tessary {

BoundSpinBox::BoundSpinBox(QWidget* parent)
    : QDoubleSpinBox(parent)
{
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    // The text changes with the value and the decimals, also while the box's
    // own signals are blocked; its edit's signal still tells.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { updateGeometry(); });
}

QSize BoundSpinBox::sizeHint() const
{
    return sizeShowing(QStringLiteral("-12345.6"));
}

QSize BoundSpinBox::minimumSizeHint() const
{
    return sizeHint();
}

QSize BoundSpinBox::sizeShowing(const QString& sample) const
{
    ensurePolished();
    const QFontMetrics metrics = fontMetrics();
    // The measure of a plain spin box: the text, a space and room for the cursor.
    const QString value = textFromValue(this->value()) + QLatin1Char(' ');
    const int textWidth = std::max(metrics.horizontalAdvance(value), metrics.horizontalAdvance(sample)) + 2;
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize content(textWidth, lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}

} // namespace Tessary
