#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>

#include <string>

namespace Tessary::Testing {

// Whether a widget, as drawn, shows the accent face that marks an
// all-datasets action whose datasets differ: most of it in the accent colour.
inline bool showsAccent(QWidget* widget)
{
    widget->ensurePolished();
    const QSize size = widget->size().isEmpty() ? widget->sizeHint() : widget->size();
    const QImage image = widget->grab(QRect(QPoint(0, 0), size)).toImage();
    const QColor accent(0xa6, 0xd7, 0xd5);
    qint64 accentPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - accent.red()) + qAbs(c.green() - accent.green())
                    + qAbs(c.blue() - accent.blue()) < 12)
                ++accentPixels;
        }
    return accentPixels * 3 > qint64(image.width()) * image.height();
}

// The texts of the shown buttons and check boxes under root that stick out,
// sideways, of what shows them: the scroll area viewport that holds them, or
// root. Joined by " | ", empty when none does.
inline std::string buttonsCutAcross(QWidget* root)
{
    QStringList cut;
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root))
            continue;
        QWidget* frame = root;
        for (QWidget* w = button->parentWidget(); w && w != root; w = w->parentWidget())
            if (qobject_cast<QAbstractScrollArea*>(w->parentWidget()) && w->objectName() == "qt_scrollarea_viewport") {
                frame = w;
                break;
            }
        const int left = button->mapTo(frame, QPoint(0, 0)).x();
        if (left < 0 || left + button->width() > frame->width())
            cut << button->text();
    }
    return cut.join(" | ").toStdString();
}

// The texts of the shown value boxes under root whose value does not fit in
// them (a number cut short), joined by " | ".
inline std::string valuesCut(QWidget* root)
{
    QStringList cut;
    for (QAbstractSpinBox* box : root->findChildren<QAbstractSpinBox*>()) {
        if (!box->isVisibleTo(root))
            continue;
        const QLineEdit* edit = box->findChild<QLineEdit*>();
        const QMargins margins = edit->textMargins();
        const int room = edit->contentsRect().width() - margins.left() - margins.right() - 4;
        if (edit->fontMetrics().horizontalAdvance(edit->text()) > room)
            cut << edit->text();
    }
    return cut.join(" | ").toStdString();
}

// Whether root, or a scroll area under it, shows a horizontal scroll bar.
inline bool scrollsSideways(QWidget* root)
{
    QList<QScrollArea*> areas = root->findChildren<QScrollArea*>();
    if (auto* area = qobject_cast<QScrollArea*>(root))
        areas << area;
    for (QScrollArea* area : areas)
        if (area->isVisibleTo(root) && area->horizontalScrollBar()->isVisibleTo(root))
            return true;
    return false;
}

} // namespace Tessary::Testing
