#pragma once

// A shown scatter plot of fixed size with helpers to reach its canvas in pixels.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QStringList>
#include <QTest>
#include <QWheelEvent>

#include <qwt_plot_canvas.h>
#include <qwt_interval.h>
#include <qwt_scale_div.h>

#include <gtest/gtest.h>

#include <memory>

#include "widgets/scatterplot.h"

namespace Tessary::Testing {

class ScatterPlotFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plot = std::make_unique<ScatterPlot>();
        plot->resize(640, 480);
        plot->show();
        QApplication::processEvents();
    }

    QWidget* canvas() const { return plot->canvas(); }

    // Fixed axis ranges, so pixel positions do not depend on autoscaling.
    void setRanges(double x0, double x1, double y0, double y1)
    {
        plot->setAxisScale(QwtAxis::XBottom, x0, x1);
        plot->setAxisScale(QwtAxis::YLeft, y0, y1);
        plot->replot();
        QApplication::processEvents();
    }

    QPoint pixelOf(double x, double y) const
    {
        return QPoint(qRound(plot->transform(QwtAxis::XBottom, x)), qRound(plot->transform(QwtAxis::YLeft, y)));
    }

    QPointF dataAt(const QPoint& p) const
    {
        return QPointF(plot->invTransform(QwtAxis::XBottom, p.x()), plot->invTransform(QwtAxis::YLeft, p.y()));
    }

    QImage canvasImage() const { return canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QwtInterval range(int axis) const
    {
        const QwtScaleDiv& div = plot->axisScaleDiv(axis);
        return QwtInterval(div.lowerBound(), div.upperBound());
    }

    void wheel(const QPoint& at, int angle)
    {
        QWheelEvent event(QPointF(at), QPointF(canvas()->mapToGlobal(at)), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas(), &event);
    }

    void doubleClick(const QPoint& at, Qt::MouseButton button = Qt::LeftButton)
    {
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(at), QPointF(canvas()->mapToGlobal(at)), button,
                          button, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }

    void click(const QPoint& at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(canvas(), button, mods, at);
        QTest::mouseRelease(canvas(), button, mods, at);
    }

    void drag(const QPoint& from, const QPoint& to, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(canvas(), Qt::LeftButton, mods, from);
        QTest::mouseMove(canvas(), (from + to) / 2);
        QTest::mouseMove(canvas(), to);
        QTest::mouseRelease(canvas(), Qt::LeftButton, mods, to);
    }

    // Every signal of the plot, in the order it arrived.
    void recordSignals()
    {
        auto text = [](const QPolygonF& p) {
            QStringList parts;
            for (const QPointF& v : p)
                parts << QStringLiteral("(%1,%2)").arg(v.x(), 0, 'g', 4).arg(v.y(), 0, 'g', 4);
            return parts.join(QLatin1Char(' '));
        };
        QObject::connect(plot.get(), &ScatterPlot::pointClicked, [this](int i) { log << QStringLiteral("clicked %1").arg(i); });
        QObject::connect(plot.get(), &ScatterPlot::pointHovered, [this](int i) { log << QStringLiteral("hovered %1").arg(i); });
        QObject::connect(plot.get(), &ScatterPlot::polygonCompleted,
                         [this, text](const QPolygonF& p) { log << QStringLiteral("completed ") + text(p); });
        QObject::connect(plot.get(), &ScatterPlot::polygonDrawingStopped, [this] { log << QStringLiteral("drawingStopped"); });
        QObject::connect(plot.get(), &ScatterPlot::polygonEdited, [this, text](int id, const QPolygonF& p) {
            log << QStringLiteral("edited %1 ").arg(id) + text(p);
        });
        QObject::connect(plot.get(), &ScatterPlot::polygonEditingStopped,
                         [this](int id) { log << QStringLiteral("editingStopped %1").arg(id); });
    }

    std::unique_ptr<ScatterPlot> plot;
    QStringList log;
};

} // namespace Tessary::Testing
