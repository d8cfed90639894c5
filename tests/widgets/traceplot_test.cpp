#include "widgets/traceplot.h"

#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include "widgets/pseudologscaleengine.h"

#include <QPen>

#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_text.h>

#include <gtest/gtest.h>

#include <limits>

using namespace Tessary;

namespace {

std::vector<QwtPlotCurve*> curvesOf(const TracePlot& plot)
{
    std::vector<QwtPlotCurve*> curves;
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotCurve))
        curves.push_back(static_cast<QwtPlotCurve*>(item));
    return curves;
}

const std::map<int, std::string> ThreeChannels{{1, "488/560"}, {2, "560/590"}, {3, "640/700"}};

::testing::AssertionResult hasColour(const QColor& colour, int r, int g, int b)
{
    if (colour == QColor(r, g, b))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour is (" << colour.red() << "," << colour.green()
                                         << "," << colour.blue() << "), expected (" << r << ","
                                         << g << "," << b << ")";
}

} // namespace

// --- look ---------------------------------------------------------------------

TEST(TracePlot, AxesAndPseudoLogIntensityScale)
{
    TracePlot plot;
    EXPECT_EQ(plot.axisTitle(QwtAxis::XBottom).text(), QString::fromUtf8("Time [µs]"));
    EXPECT_EQ(plot.axisTitle(QwtAxis::YLeft).text(), "Fluorescence [a.u.]");
    EXPECT_NE(dynamic_cast<PseudoLogScaleEngine*>(plot.axisScaleEngine(QwtAxis::YLeft)), nullptr);
    plot.updateAxes(); // the scale division is built lazily
    EXPECT_EQ(plot.axisScaleDiv(QwtAxis::YLeft).lowerBound(), -10.0);
    EXPECT_EQ(plot.axisScaleDiv(QwtAxis::YLeft).upperBound(), 35000.0);
    EXPECT_EQ(plot.minimumHeight(), 180);
    EXPECT_EQ(plot.maximumHeight(), 260);
    EXPECT_EQ(plot.minimumWidth(), 260);
    EXPECT_FALSE(plot.hasTraces());
}

// --- channels and curves --------------------------------------------------------

TEST(TracePlot, CurvesTitledAndColouredByChannelWavelength)
{
    TracePlot plot;
    plot.createTraceCurves(ThreeChannels, {}, 1e6, {}, false);
    ASSERT_TRUE(plot.hasTraces());

    const auto& channels = plot.channels();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0].traceName, "fl1_median");
    EXPECT_EQ(channels[1].traceName, "fl2_median");
    EXPECT_EQ(channels[2].traceName, "fl3_median");
    EXPECT_EQ(channels[2].channelName, "640/700");
    EXPECT_EQ(channels[2].channel, 3);

    const auto curves = curvesOf(plot);
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[0]->title().text(), "FL1 (488/560)");
    EXPECT_EQ(curves[1]->title().text(), "FL2 (560/590)");
    EXPECT_EQ(curves[2]->title().text(), "FL3 (640/700)");
    EXPECT_TRUE(hasColour(curves[0]->pen().color(), 0, 246, 255));
    EXPECT_TRUE(hasColour(curves[1]->pen().color(), 194, 255, 0));
    EXPECT_TRUE(hasColour(curves[2]->pen().color(), 255, 32, 0));
    for (QwtPlotCurve* curve : curves) {
        EXPECT_EQ(curve->pen().width(), 2);
        EXPECT_TRUE(curve->testRenderHint(QwtPlotItem::RenderAntialiased));
        EXPECT_FALSE(curve->isVisible()); // until an event's traces arrive
    }
}

TEST(TracePlot, ChannelWithoutWavelengthIsGrey)
{
    TracePlot plot;
    plot.createTraceCurves({{-1, "-5/600"}, {4, "FL4"}}, {}, 1e6, {}, false);
    const auto& channels = plot.channels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].traceName, "fl-1_median");
    EXPECT_EQ(channels[0].color, QColor(Qt::gray));
    EXPECT_EQ(channels[1].color, QColor(Qt::gray));
    EXPECT_EQ(curvesOf(plot)[0]->title().text(), "FL-1 (-5/600)");
}

TEST(TracePlot, RefinedTraceUsedOnlyWhereDatasetHasIt)
{
    TracePlot plot;
    const std::map<int, std::string> names{{1, "488/560"}, {2, "560/590"}};
    const std::vector<std::string> traceNames{"fl1_median", "fl1_median_rf", "fl2_median"};

    plot.createTraceCurves(names, {}, 1e6, traceNames, true);
    EXPECT_EQ(plot.channels()[0].traceName, "fl1_median_rf");
    EXPECT_EQ(plot.channels()[1].traceName, "fl2_median");
    auto curves = curvesOf(plot);
    EXPECT_EQ(curves[0]->title().text(), "FL1 refined (488/560)");
    EXPECT_EQ(curves[1]->title().text(), "FL2 (560/590)");

    plot.createTraceCurves(names, {}, 1e6, traceNames, false);
    EXPECT_EQ(plot.channels()[0].traceName, "fl1_median");
    curves = curvesOf(plot);
    ASSERT_EQ(curves.size(), 2u); // the earlier curves are gone, not stacked
    EXPECT_EQ(curves[0]->title().text(), "FL1 (488/560)");
}

// --- traces of one event ----------------------------------------------------------

TEST(TracePlot, SamplesSpacedByRateAndShiftedByOffset)
{
    TracePlot plot;
    plot.createTraceCurves({{1, "488"}, {2, "640"}}, {{2, 25.0}, {7, 1000.0}}, 2e6, {}, false);
    EXPECT_EQ(plot.channels()[0].baselineOffset, 0.0);
    EXPECT_EQ(plot.channels()[1].baselineOffset, 25.0);

    plot.setTraces({{"fl1_median", {1.5f, 2.5f, 3.5f}}, {"fl2_median", {10.f, 20.f}}});
    const auto curves = curvesOf(plot);
    ASSERT_EQ(curves[0]->dataSize(), 3u);
    ASSERT_EQ(curves[1]->dataSize(), 2u);
    // 2 MHz: half a microsecond per sample.
    EXPECT_EQ(curves[0]->sample(2), QPointF(1.0, 3.5));
    EXPECT_EQ(curves[1]->sample(0), QPointF(0.0, 35.0));
    EXPECT_EQ(curves[1]->sample(1), QPointF(0.5, 45.0));
    EXPECT_TRUE(curves[0]->isVisible());
    EXPECT_TRUE(curves[1]->isVisible());
    EXPECT_EQ(plot.axisScaleDiv(QwtAxis::YLeft).upperBound(), 35000.0);
}

TEST(TracePlot, OnePointPerMicrosecondAtOneMegahertzAndPerSampleWithoutRate)
{
    TracePlot plot;
    plot.createTraceCurves({{1, "488"}}, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {0.f, 0.f, 0.f, 7.f}}});
    EXPECT_EQ(curvesOf(plot)[0]->sample(3), QPointF(3.0, 7.0));

    for (double rate : {0.0, -5.0}) {
        plot.createTraceCurves({{1, "488"}}, {}, rate, {}, false);
        plot.setTraces({{"fl1_median", {0.f, 0.f, 0.f, 7.f}}});
        EXPECT_EQ(curvesOf(plot)[0]->sample(3), QPointF(3.0, 7.0));
    }
}

TEST(TracePlot, MissingOrEmptyTraceHidesOnlyItsCurve)
{
    TracePlot plot;
    plot.createTraceCurves(ThreeChannels, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {1.f, 2.f}}, {"fl3_median", {}}});
    const auto curves = curvesOf(plot);
    EXPECT_TRUE(curves[0]->isVisible());
    EXPECT_FALSE(curves[1]->isVisible());
    EXPECT_FALSE(curves[2]->isVisible());
    EXPECT_EQ(curves[1]->dataSize(), 0u);
}

TEST(TracePlot, EmptyTraceMapHidesEveryCurveAndKeepsAxes)
{
    TracePlot plot;
    plot.createTraceCurves(ThreeChannels, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", std::vector<float>(200, 50.f)}});
    const QwtInterval xBefore = plot.axisInterval(QwtAxis::XBottom);
    const QwtInterval yBefore = plot.axisInterval(QwtAxis::YLeft);

    plot.setTraces({});
    for (QwtPlotCurve* curve : curvesOf(plot)) {
        EXPECT_FALSE(curve->isVisible());
        EXPECT_EQ(curve->dataSize(), 0u);
    }
    EXPECT_EQ(plot.axisInterval(QwtAxis::XBottom), xBefore);
    EXPECT_EQ(plot.axisInterval(QwtAxis::YLeft), yBefore);
}

TEST(TracePlot, ClearTracesKeepsChannels)
{
    TracePlot plot;
    plot.createTraceCurves(ThreeChannels, {}, 1e6, {}, false);
    plot.setTraces({{"fl1_median", {1.f, 2.f}}});
    plot.clearTraces();
    EXPECT_TRUE(plot.hasTraces());
    EXPECT_EQ(plot.channels().size(), 3u);
    EXPECT_FALSE(curvesOf(plot)[0]->isVisible());
    EXPECT_EQ(curvesOf(plot)[0]->dataSize(), 0u);
}

// --- wavelengths ----------------------------------------------------------------

TEST(TracePlot, ParseWavelengthReadsLeadingNumber)
{
    EXPECT_EQ(TracePlot::parseWavelength("488/560"), 488);
    EXPECT_EQ(TracePlot::parseWavelength("640 nm"), 640);
    EXPECT_EQ(TracePlot::parseWavelength("  561/x"), 561);
    EXPECT_EQ(TracePlot::parseWavelength("+405"), 405);
    EXPECT_EQ(TracePlot::parseWavelength("-7/8"), -7);
    EXPECT_EQ(TracePlot::parseWavelength("FL1"), 0);
    EXPECT_EQ(TracePlot::parseWavelength(""), 0);
    EXPECT_EQ(TracePlot::parseWavelength("/560"), 0);
    EXPECT_EQ(TracePlot::parseWavelength("99999999999/1"), 0);
}

TEST(TracePlot, WavelengthColoursAcrossSpectrum)
{
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(380), 97, 0, 97));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(500), 0, 255, 146));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(780), 97, 0, 0));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(488), 0, 246, 255));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(560), 194, 255, 0));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(640), 255, 32, 0));
    // Band edges: 440 is pure blue, 645 pure red.
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(440), 0, 0, 255));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(645), 255, 0, 0));
}

TEST(TracePlot, WavelengthOutsideVisibleRangeIsGrey)
{
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(379), 128, 128, 128));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(781), 128, 128, 128));
    EXPECT_TRUE(hasColour(TracePlot::wavelengthToColor(std::numeric_limits<double>::quiet_NaN()),
                          128, 128, 128));
}

// --- with a measurement file ---------------------------------------------------------

TEST(TracePlot, DrawsTracesReadFromFile)
{
    Fixtures::TempDir dir;
    std::vector<int16_t> fl1(2 * 4), fl2(2 * 4);
    for (std::size_t i = 0; i < fl1.size(); ++i) {
        fl1[i] = static_cast<int16_t>(100 + i);
        fl2[i] = static_cast<int16_t>(-5 * static_cast<int>(i));
    }
    Fixtures::RtdcFileBuilder()
        .feature("area_um", std::vector<float>{1.f, 2.f})
        .attribute("setup:module composition", "Vireon, Fluorescence")
        .trace("fl1_median", fl1, 2, 4)
        .trace("fl2_median", fl2, 2, 4)
        .write(dir.file("traces.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("traces.rtdc")));

    TracePlot plot;
    plot.createTraceCurves({{1, "488/560"}, {2, "560/590"}}, {{2, 10.0}}, 1e6,
                           reader.traceNames(), true);
    std::map<std::string, std::vector<float>> traces;
    for (const TraceChannel& channel : plot.channels())
        traces[channel.traceName] = reader.readTrace(channel.traceName, 1);
    plot.setTraces(traces);

    const auto curves = curvesOf(plot);
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0]->title().text(), "FL1 (488/560)"); // no refined trace in the file
    ASSERT_EQ(curves[0]->dataSize(), 4u);
    EXPECT_EQ(curves[0]->sample(3), QPointF(3.0, 107.0));
    EXPECT_EQ(curves[1]->sample(1), QPointF(1.0, -25.0 + 10.0));
}
