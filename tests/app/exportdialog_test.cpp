#include "app/exportdialog.h"
#include "app/statsummaryexportdialog.h"

#include "mainwindowtesting.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <functional>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;

namespace {

void click(QWidget& dialog, const QString& text)
{
    for (auto* button : dialog.findChildren<QPushButton*>())
        if (button->text() == text)
            return button->click();
    ADD_FAILURE() << "no button " << text.toStdString();
}

bool isGrey(const QWidget* w)
{
    return w->palette().color(QPalette::WindowText) == QColor(160, 160, 160);
}

class ExportDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        // The current dataset has images; the other one has masks, traces and one more feature.
        RtdcFileBuilder a;
        a.attribute("setup:module composition", "Vireon")
            .feature("deform", std::vector<double>{0.1, 0.2})
            .feature("area_um", std::vector<double>{1, 2})
            .image(std::vector<uint8_t>(2 * 4 * 5, 7), 2, 4, 5);
        a.write(dir.file("a.rtdc"));
        RtdcFileBuilder b;
        b.attribute("setup:module composition", "Vireon")
            .feature("area_um", std::vector<double>{1, 2})
            .feature("bright_avg", std::vector<double>{1, 2})
            .mask(std::vector<uint8_t>(2 * 4 * 5, 1), 2, 4, 5)
            .trace("fl1_raw", std::vector<float>(2 * 3, 1.f), 2, 3);
        b.write(dir.file("b.rtdc"));
        current = Testing::addLoadedDataset(window, dir.file("a.rtdc"), "A");
        ASSERT_NE(current, nullptr);
    }
    void addOther() { ASSERT_NE(Testing::addLoadedDataset(window, dir.file("b.rtdc"), "B"), nullptr); }
    std::unique_ptr<ExportDialog> dialog(const ExportOptions* previous = nullptr, bool expert = false)
    {
        return std::make_unique<ExportDialog>(current, window.datasetEntries, expert, nullptr, previous);
    }

    Fixtures::TempDir dir;
    MainWindow window;
    DatasetEntry* current = nullptr;
};

} // namespace

TEST_F(ExportDialogTest, OneDatasetOffersItsOwnFeaturesAndData)
{
    ExportOptions remembered;
    remembered.allDatasets = true;
    auto d = dialog(&remembered);
    EXPECT_EQ(d->allDatasetsRadio()->text(), "All datasets (1)");
    EXPECT_FALSE(d->allDatasetsRadio()->isEnabled());
    EXPECT_TRUE(d->currentOnlyRadio()->isChecked());   // the remembered scope is not offered
    EXPECT_TRUE(d->reanalysisCheck->isHidden());

    const ExportOptions fresh = dialog()->exportOptions();
    EXPECT_EQ(fresh.features, (std::vector<std::string>{"area_um", "deform"}));   // byte order
    EXPECT_TRUE(fresh.images);
    EXPECT_FALSE(d->masksCheck->isChecked() || d->masksCheck->isEnabled());
    // Masks and traces, never offered, stay wanted for a dataset that has them.
    EXPECT_TRUE(fresh.masks && fresh.traces);
    EXPECT_FALSE(fresh.formatTsv || fresh.formatAvi || fresh.allDatasets);
    EXPECT_EQ(QString::fromStdString(fresh.outputDirectory), QString::fromStdString(dir.path()));
    EXPECT_FALSE(d->directoryEdit->isEnabled());
    d->customDirectoryCheck->setChecked(true);
    EXPECT_TRUE(d->directoryEdit->isEnabled() && d->browseButton->isEnabled());
}

TEST_F(ExportDialogTest, FormatsSwitchTheNonScalarData)
{
    auto d = dialog();
    d->tsvRadio->setChecked(true);
    for (QCheckBox* box : {d->imagesCheck, d->masksCheck, d->tracesCheck}) {
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->toolTip(), "Not available in TSV format");
    }
    d->rtdcRadio->setChecked(true);
    EXPECT_TRUE(d->imagesCheck->isChecked() && d->imagesCheck->isEnabled());
    EXPECT_FALSE(d->masksCheck->isEnabled());

    d->aviRadio->setChecked(true);
    EXPECT_FALSE(d->aviOptionsGroup->isHidden());
    EXPECT_TRUE(d->imagesCheck->isChecked());
    EXPECT_FALSE(d->imagesCheck->isEnabled());
    EXPECT_EQ(d->imagesCheck->toolTip(), "Images are always included in AVI export");
    EXPECT_EQ(d->masksCheck->toolTip(), "Only images are exported in AVI format");
    for (QCheckBox* box : d->featureChecks()) {
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isHidden());
    }
    EXPECT_TRUE(d->exportOptions().formatAvi);
}

TEST_F(ExportDialogTest, AviOptionsFitTheDialogOnScreen)
{
    auto d = dialog();
    d->show();
    QCoreApplication::processEvents();
    d->aviRadio->setChecked(true);
    QCoreApplication::processEvents();
    EXPECT_GE(d->width(), d->sizeHint().width());
    EXPECT_GE(d->aviOptionsGroup->width(), d->aviOptionsGroup->minimumSizeHint().width());
}

TEST_F(ExportDialogTest, WhatOnlyOtherDatasetsHaveShowsGreyForAllDatasets)
{
    addOther();
    auto d = dialog();
    ASSERT_EQ(d->featureChecks().size(), 3u);
    QCheckBox* bright = d->featureChecks()[2];   // after the current dataset's features
    EXPECT_EQ(bright->text(), QString::fromStdString(current->reader->featureLabel("bright_avg") + "  [bright_avg]"));
    EXPECT_TRUE(bright->isHidden());
    EXPECT_FALSE(bright->isChecked());
    EXPECT_TRUE(isGrey(bright));

    click(*d, "Select All");
    EXPECT_FALSE(bright->isChecked());   // hidden boxes stay as they are
    d->allDatasetsRadio()->setChecked(true);
    EXPECT_FALSE(bright->isHidden());
    EXPECT_TRUE(d->masksCheck->isEnabled());
    EXPECT_FALSE(d->masksCheck->isChecked());
    EXPECT_TRUE(isGrey(d->masksCheck));
    EXPECT_EQ(d->masksCheck->toolTip(), "Not available in current dataset (available in other datasets)");
    EXPECT_FALSE(isGrey(d->imagesCheck));
    d->masksCheck->setChecked(true);
    click(*d, "Select All");
    EXPECT_EQ(d->exportOptions().features, (std::vector<std::string>{"area_um", "deform", "bright_avg"}));

    d->currentOnlyRadio()->setChecked(true);
    EXPECT_TRUE(bright->isHidden());
    EXPECT_FALSE(d->masksCheck->isChecked() || d->masksCheck->isEnabled());
    click(*d, "Deselect All");
    EXPECT_TRUE(d->exportOptions().features.empty());   // hidden boxes are unchecked too
}

TEST_F(ExportDialogTest, RestoresTheRememberedOptions)
{
    addOther();
    ExportOptions remembered;
    remembered.allDatasets = true;
    remembered.formatTsv = true;
    remembered.mjpeg = false;
    remembered.skipDuplicateFrames = true;
    remembered.forReanalysis = true;
    remembered.features = {"bright_avg"};
    remembered.offeredFeatures = {"area_um", "deform", "bright_avg"};
    remembered.useCustomDirectory = true;
    remembered.outputDirectory = "/somewhere/Ördner";
    auto d = dialog(&remembered, true);
    const ExportOptions read = d->exportOptions();
    EXPECT_TRUE(read.allDatasets && read.formatTsv && read.skipDuplicateFrames && read.forReanalysis);
    EXPECT_FALSE(read.mjpeg || read.images);
    EXPECT_EQ(read.features, remembered.features);
    EXPECT_EQ(read.outputDirectory, remembered.outputDirectory);
    EXPECT_FALSE(d->featureChecks()[2]->isHidden());

    // Without expert mode a remembered reanalysis is not taken over.
    EXPECT_FALSE(dialog(&remembered, false)->exportOptions().forReanalysis);

    d->show();
    EXPECT_TRUE(d->grab().save(QString::fromStdString(dir.file("export_dialog.png"))));

    // The remembered data choice holds wherever the data exists, also after
    // a format without such data; data that is missing stays off.
    ExportOptions choice;
    choice.images = false;
    choice.masks = true;
    auto c = dialog(&choice);
    EXPECT_FALSE(c->imagesCheck->isChecked());
    EXPECT_TRUE(c->imagesCheck->isEnabled());
    EXPECT_FALSE(c->masksCheck->isChecked() || c->masksCheck->isEnabled());
    c->tsvRadio->setChecked(true);
    c->rtdcRadio->setChecked(true);
    EXPECT_FALSE(c->exportOptions().images);
    c->allDatasetsRadio()->setChecked(true);
    EXPECT_TRUE(c->masksCheck->isChecked() && c->masksCheck->isEnabled());
    EXPECT_FALSE(c->tracesCheck->isChecked());
}

TEST_F(ExportDialogTest, BoxesHeldOffByTheFormatOrMissingDataKeepTheRememberedChoice)
{
    addOther();
    DatasetEntry* other = window.datasetEntries.back().get();   // masks and traces, no images
    // The dialog that follows an export of `from`, which `use` set up, switched to .rtdc.
    const auto after = [&](DatasetEntry* from, const std::function<void(ExportDialog&)>& use) {
        const ExportOptions remembered = [&] {
            ExportDialog d(from, window.datasetEntries, false, nullptr, nullptr);
            use(d);
            return d.exportOptions();
        }();
        auto next = dialog(&remembered);
        next->rtdcRadio->setChecked(true);
        return next;
    };
    for (QRadioButton* ExportDialog::*format : {&ExportDialog::tsvRadio, &ExportDialog::aviRadio}) {
        const auto choose = [format](ExportDialog& d) { (d.*format)->setChecked(true); };
        EXPECT_TRUE(after(current, choose)->imagesCheck->isChecked());
        auto all = after(other, choose);
        all->allDatasetsRadio()->setChecked(true);
        EXPECT_TRUE(all->masksCheck->isChecked() && all->tracesCheck->isChecked());
    }
    // A dataset without images leaves them wanted; the user's own "no" holds through TSV.
    EXPECT_TRUE(after(other, [](ExportDialog&) {})->imagesCheck->isChecked());
    const auto declined = after(current, [](ExportDialog& d) {
        d.imagesCheck->setChecked(false);
        d.tsvRadio->setChecked(true);
    });
    EXPECT_FALSE(declined->imagesCheck->isChecked());
    EXPECT_TRUE(declined->imagesCheck->isEnabled());
}

// The last dialog's choices carry over, also through a dialog that lists a
// feature only hidden; a feature no dialog offered starts as without them.
TEST_F(ExportDialogTest, RemembersTheChoicesOfferedNotTheFeaturesNeverShown)
{
    addOther();
    DatasetEntry* other = window.datasetEntries.back().get();   // area_um and bright_avg
    const auto checkedIn = [](const std::vector<QCheckBox*>& boxes, const QString& name) {
        for (QCheckBox* box : boxes)
            if (box->text().endsWith("[" + name + "]"))
                return box->isChecked();
        ADD_FAILURE() << "no box for " << name.toStdString();
        return false;
    };
    const ExportOptions fromCurrent = dialog()->exportOptions();   // bright_avg listed, hidden
    ExportDialog toOther(other, window.datasetEntries, false, nullptr, &fromCurrent);
    EXPECT_TRUE(checkedIn(toOther.featureChecks(), "bright_avg"));
    EXPECT_TRUE(checkedIn(toOther.featureChecks(), "area_um"));

    // A feature unchecked on purpose stays unchecked, through the dialog of
    // a dataset that lacks it and lists it hidden.
    for (QCheckBox* box : toOther.featureChecks())
        box->setChecked(!box->text().endsWith("[bright_avg]"));
    const ExportOptions withoutBright = toOther.exportOptions();
    const ExportOptions throughCurrent = dialog(&withoutBright)->exportOptions();
    EXPECT_EQ(throughCurrent.features, (std::vector<std::string>{"area_um", "deform"}));
    ExportDialog backToOther(other, window.datasetEntries, false, nullptr, &throughCurrent);
    EXPECT_FALSE(checkedIn(backToOther.featureChecks(), "bright_avg"));
    EXPECT_TRUE(checkedIn(backToOther.featureChecks(), "area_um"));

    // The statistical summary remembers the same way.
    const StatSummaryOptions summary = StatSummaryExportDialog(current, window.datasetEntries, nullptr, nullptr)
                                           .exportOptions();
    StatSummaryExportDialog summaryOfOther(other, window.datasetEntries, nullptr, &summary);
    EXPECT_TRUE(checkedIn(summaryOfOther.featureChecks(), "bright_avg"));
}
