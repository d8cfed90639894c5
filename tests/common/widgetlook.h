#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>

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

} // namespace Tessary::Testing
