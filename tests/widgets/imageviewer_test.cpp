#include "widgets/imageviewer.h"

#include "common/filesizelimit.h"
#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace Tessary;

namespace {

QPixmap shownPixmap(ImageViewer& viewer)
{
    return viewer.findChild<QLabel*>("imageLabel")->pixmap();
}

QString infoText(ImageViewer& viewer)
{
    return viewer.findChild<QLabel*>("infoLabel")->text();
}

void click(ImageViewer& viewer, const char* button, int times = 1)
{
    for (int i = 0; i < times; ++i)
        viewer.findChild<QPushButton*>(button)->click();
}

// A row-major grey image whose pixel i has the value values[i % size].
std::vector<uint8_t> pattern(int width, int height, std::vector<uint8_t> values)
{
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = values[i % values.size()];
    return pixels;
}

// Answers the modal dialogs the viewer opens while a call runs: file dialogs
// through the given function, message boxes by recording and closing them.
struct DialogAnswers
{
    std::function<void(QFileDialog*)> fileDialog;
    QStringList boxes; // "<title>|<text>" of each message box, in order
    bool dialogSeen = false;

    void run(const std::function<void()>& call)
    {
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                dialogSeen = true;
                if (fileDialog)
                    fileDialog(dialog);
                else
                    dialog->reject();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes << box->windowTitle() + "|" + box->text();
                // A question (replace the existing file?) is answered yes.
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
                else
                    box->done(QMessageBox::Ok);
            }
        });
        timer.start();
        call();
        timer.stop();
    }
};

// Types the full path into the dialog's name field: selectFile() hands the
// name to the dialog's asynchronous directory model, which may clear it again.
void chooseFile(QFileDialog* dialog, const QString& path, const QString& filter)
{
    dialog->selectNameFilter(filter);
    auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(nameEdit, nullptr);
    nameEdit->setText(path);
    // Runs the file dialog's own accept from an event of its own: the answers'
    // timer does not fire again while it runs, and the question whether to
    // replace an existing file must still be answered.
    QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
}

cv::Mat readImageFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cv::Mat();
    const QByteArray bytes = file.readAll();
    const std::vector<uchar> buffer(bytes.begin(), bytes.end());
    return cv::imdecode(buffer, cv::IMREAD_UNCHANGED);
}

} // namespace

// --- input ----------------------------------------------------------------------

TEST(ImageViewer, StartsEmpty)
{
    ImageViewer viewer;
    EXPECT_EQ(infoText(viewer), "No Image");
    EXPECT_TRUE(shownPixmap(viewer).isNull());
    EXPECT_TRUE(viewer.isMaskShown());
    EXPECT_FALSE(viewer.findChild<QCheckBox*>("showMaskCheck")->isEnabled());
    viewer.setMaskAvailable(true);
    EXPECT_TRUE(viewer.findChild<QCheckBox*>("showMaskCheck")->isEnabled());
}

TEST(ImageViewer, TooFewPixelsClearTheViewer)
{
    ImageViewer viewer;
    viewer.actualSize();
    viewer.displayImage(pattern(4, 4, {9}), 4, 4, "event 1");
    ASSERT_FALSE(shownPixmap(viewer).isNull());
    EXPECT_EQ(infoText(viewer), "event 1");

    viewer.displayImage(std::vector<uint8_t>(2399, 7), 80, 30, "short");
    EXPECT_EQ(infoText(viewer), "No Image");
    EXPECT_TRUE(shownPixmap(viewer).isNull());
}

TEST(ImageViewer, BadSizesClearTheViewer)
{
    ImageViewer viewer;
    viewer.actualSize();
    const auto pixels = pattern(4, 4, {9});
    for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {-4, -4}}) {
        viewer.displayImage(pixels, 4, 4, "ok");
        viewer.displayImage(pixels, w, h, "bad");
        EXPECT_EQ(infoText(viewer), "No Image") << w << " x " << h;
    }
    // 65536 x 65536 wraps to 0 in 32 bits and would pass a 32-bit size check.
    viewer.displayImage(pixels, 4, 4, "ok");
    viewer.displayImage(pixels, 65536, 65536, "huge");
    EXPECT_EQ(infoText(viewer), "No Image");

    viewer.displayImageWithMask(pixels, std::vector<uint8_t>(15, 1), 4, 4, "short mask");
    EXPECT_EQ(infoText(viewer), "No Image");
    viewer.displayImageWithMask(pixels, {}, 4, 4, "no mask");
    EXPECT_EQ(infoText(viewer), "No Image");
}

TEST(ImageViewer, CallerBufferIsCopied)
{
    ImageViewer viewer;
    viewer.actualSize();
    auto pixels = pattern(3, 2, {10, 20, 30});
    viewer.displayImage(pixels, 3, 2, "copy");
    pixels.assign(pixels.size(), 255);
    viewer.actualSize(); // renders again from the viewer's own copy
    const QImage shown = shownPixmap(viewer).toImage();
    EXPECT_EQ(qGray(shown.pixel(1, 1)), 20);
}

// --- rendering at 1:1 -------------------------------------------------------------

TEST(ImageViewer, OddWidthRowsRenderWithoutShear)
{
    // 5 pixels per row: a QImage that assumed 4-byte aligned rows would shift
    // each row against the one before.
    ImageViewer viewer;
    viewer.actualSize();
    std::vector<uint8_t> pixels(5 * 3, 0);
    for (int row = 0; row < 3; ++row)
        pixels[row * 5 + row] = 200;
    viewer.displayImage(pixels, 5, 3, "odd");
    const QImage shown = shownPixmap(viewer).toImage();
    ASSERT_EQ(shown.size(), QSize(5, 3));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 5; ++col)
            EXPECT_EQ(qGray(shown.pixel(col, row)), col == row ? 200 : 0) << col << "," << row;
    }
}

TEST(ImageViewer, AutoContrastStretchesRangeToFull)
{
    ImageViewer viewer;
    viewer.actualSize();
    // Values 50..150: v * 2.55 - 127.5, so 70 -> 51 and 110 -> 153.
    viewer.displayImage(pattern(4, 1, {50, 70, 110, 150}), 4, 1, "stretch");
    QSignalSpy toggled(&viewer, &ImageViewer::autoContrastToggled);
    viewer.findChild<QCheckBox*>("autoContrastCheck")->setChecked(true);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_TRUE(toggled.first().first().toBool());

    const QImage shown = shownPixmap(viewer).toImage();
    EXPECT_EQ(qGray(shown.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(shown.pixel(1, 0)), 51);
    EXPECT_EQ(qGray(shown.pixel(2, 0)), 153);
    EXPECT_EQ(qGray(shown.pixel(3, 0)), 255);

    viewer.findChild<QCheckBox*>("autoContrastCheck")->setChecked(false);
    EXPECT_EQ(qGray(shownPixmap(viewer).toImage().pixel(1, 0)), 70);
}

TEST(ImageViewer, AutoContrastLeavesUniformImage)
{
    ImageViewer viewer;
    viewer.actualSize();
    viewer.findChild<QCheckBox*>("autoContrastCheck")->setChecked(true);
    viewer.displayImage(pattern(3, 3, {77}), 3, 3, "flat");
    const QImage shown = shownPixmap(viewer).toImage();
    EXPECT_EQ(qGray(shown.pixel(0, 0)), 77);
    EXPECT_EQ(qGray(shown.pixel(2, 2)), 77);
}

TEST(ImageViewer, MaskOverlayBlendsThirtyPercentYellow)
{
    ImageViewer viewer;
    viewer.actualSize();
    // Row: 100 masked, 100 unmasked, 200 masked, 0 masked.
    viewer.displayImageWithMask({100, 100, 200, 0}, {1, 0, 255, 1}, 4, 1, "mask");
    const QImage shown = shownPixmap(viewer).toImage();
    ASSERT_EQ(shown.size(), QSize(4, 1));
    // 0.7 * grey + 0.3 * (254, 204, 0), rounded.
    EXPECT_EQ(shown.pixel(0, 0), qRgb(146, 131, 70));
    EXPECT_EQ(shown.pixel(1, 0), qRgb(100, 100, 100));
    EXPECT_EQ(shown.pixel(2, 0), qRgb(216, 201, 140));
    EXPECT_EQ(shown.pixel(3, 0), qRgb(76, 61, 0));
}

TEST(ImageViewer, OverlayAppliesAfterContrastStretch)
{
    ImageViewer viewer;
    viewer.actualSize();
    viewer.findChild<QCheckBox*>("autoContrastCheck")->setChecked(true);
    viewer.displayImageWithMask({50, 150}, {1, 0}, 2, 1, "both");
    const QImage shown = shownPixmap(viewer).toImage();
    EXPECT_EQ(shown.pixel(0, 0), qRgb(76, 61, 0)); // stretched to 0, then blended
    EXPECT_EQ(shown.pixel(1, 0), qRgb(255, 255, 255));
}

TEST(ImageViewer, ShowsFrameAndMaskReadFromFile)
{
    // 7 x 3 frames straight from a measurement file: odd width, mask as 0/255.
    Fixtures::TempDir dir;
    std::vector<uint8_t> images(2 * 21), masks(2 * 21, 0);
    for (std::size_t i = 0; i < images.size(); ++i)
        images[i] = static_cast<uint8_t>(10 * (i % 21));
    masks[21 + 8] = 255; // event 1, row 1, column 1
    Fixtures::RtdcFileBuilder()
        .feature("area_um", std::vector<float>{1.f, 2.f})
        .attribute("setup:module composition", "Vireon")
        .image(images, 2, 3, 7)
        .mask(masks, 2, 3, 7)
        .write(dir.file("frames.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("frames.rtdc")));
    int width = 0, height = 0, maskWidth = 0, maskHeight = 0;
    const auto pixels = reader.readImage(1, width, height);
    const auto mask = reader.readMask(1, maskWidth, maskHeight);
    ASSERT_EQ(width, 7);
    ASSERT_EQ(height, 3);

    ImageViewer viewer;
    viewer.actualSize();
    viewer.displayImageWithMask(pixels, mask, width, height, "event 1");
    const QImage shown = shownPixmap(viewer).toImage();
    ASSERT_EQ(shown.size(), QSize(7, 3));
    EXPECT_EQ(shown.pixel(6, 2), qRgb(200, 200, 200));
    // 80 under the mask: 56 + 0.3 * (254, 204, 0).
    EXPECT_EQ(shown.pixel(1, 1), qRgb(132, 117, 56));
}

// --- zoom -------------------------------------------------------------------------

TEST(ImageViewer, ZoomStepsStopAtTheLimits)
{
    ImageViewer viewer;
    viewer.actualSize();
    viewer.displayImage(std::vector<uint8_t>(1000, 1), 1000, 1, "strip");
    EXPECT_EQ(shownPixmap(viewer).width(), 1000);

    click(viewer, "zoomInButton", 10); // 1.25^10 = 9.3132...
    EXPECT_EQ(shownPixmap(viewer).width(), 9313);
    click(viewer, "zoomInButton");
    EXPECT_EQ(shownPixmap(viewer).width(), 10000);
    click(viewer, "zoomInButton");
    EXPECT_EQ(shownPixmap(viewer).width(), 10000);

    click(viewer, "actualSizeButton");
    EXPECT_EQ(shownPixmap(viewer).width(), 1000);
    click(viewer, "zoomOutButton", 10); // 0.8^10 = 0.1073...
    EXPECT_EQ(shownPixmap(viewer).width(), 107);
    click(viewer, "zoomOutButton");
    EXPECT_EQ(shownPixmap(viewer).width(), 100);
    click(viewer, "zoomOutButton");
    EXPECT_EQ(shownPixmap(viewer).width(), 100);
}

TEST(ImageViewer, TinyImageAtSmallestZoomKeepsOnePixel)
{
    ImageViewer viewer;
    viewer.actualSize();
    click(viewer, "zoomOutButton", 11);
    viewer.displayImageWithMask(pattern(7, 3, {5}), pattern(7, 3, {1}), 7, 3, "tiny");
    EXPECT_EQ(shownPixmap(viewer).size(), QSize(1, 1));
}

TEST(ImageViewer, FitFollowsNewImagesUntilAnotherZoomAction)
{
    ImageViewer viewer;
    viewer.resize(500, 500);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    const QSize viewport = viewer.findChild<QScrollArea*>("scrollArea")->viewport()->size();
    const auto fitted = [&viewport](int w, int h) {
        const double zoom = std::min(double(viewport.width()) / w, double(viewport.height()) / h);
        return QSize(int(std::floor(w * zoom)), int(std::floor(h * zoom)));
    };

    // Fit is the initial mode.
    viewer.displayImage(pattern(50, 50, {1}), 50, 50, "a");
    EXPECT_EQ(shownPixmap(viewer).size(), fitted(50, 50));
    viewer.displayImage(pattern(100, 20, {1}), 100, 20, "b");
    EXPECT_EQ(shownPixmap(viewer).size(), fitted(100, 20));

    // After "+" the zoom is kept for the next image.
    const double zoom = std::min(double(viewport.width()) / 100, double(viewport.height()) / 20) * 1.25;
    click(viewer, "zoomInButton");
    viewer.displayImage(pattern(30, 40, {1}), 30, 40, "c");
    EXPECT_EQ(shownPixmap(viewer).size(), QSize(int(std::floor(30 * zoom)), int(std::floor(40 * zoom))));

    click(viewer, "actualSizeButton");
    viewer.displayImage(pattern(60, 10, {1}), 60, 10, "d");
    EXPECT_EQ(shownPixmap(viewer).size(), QSize(60, 10));

    click(viewer, "fitButton");
    viewer.displayImage(pattern(80, 30, {1}), 80, 30, "e");
    EXPECT_EQ(shownPixmap(viewer).size(), fitted(80, 30));
}

TEST(ImageViewer, ClearKeepsZoom)
{
    ImageViewer viewer;
    viewer.actualSize();
    click(viewer, "zoomInButton", 2); // 1.5625
    viewer.clearImage();
    viewer.displayImage(pattern(100, 10, {1}), 100, 10, "again");
    EXPECT_EQ(shownPixmap(viewer).width(), 156);
}

// --- mask check box, context menu and saving -----------------------------------------

TEST(ImageViewer, ShowMaskCheckEmitsItsSignal)
{
    ImageViewer viewer;
    viewer.setMaskAvailable(true);
    QSignalSpy spy(&viewer, &ImageViewer::showMaskToggled);
    viewer.findChild<QCheckBox*>("showMaskCheck")->setChecked(false);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.first().first().toBool());
    EXPECT_FALSE(viewer.isMaskShown());
}

TEST(ImageViewer, ContextMenuOnlyWithImage)
{
    ImageViewer viewer;
    QContextMenuEvent empty(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(&viewer, &empty);
    EXPECT_FALSE(empty.isAccepted()); // the base handler ignores it

    viewer.displayImage(pattern(4, 4, {1}), 4, 4, "menu");
    QStringList offered;
    QTimer::singleShot(50, [&offered] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                offered << action->text();
            menu->close();
        }
    });
    QContextMenuEvent withImage(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(&viewer, &withImage);
    EXPECT_EQ(offered, QStringList{"Save Image..."});
}

TEST(ImageViewer, SaveWithoutImageWarns)
{
    ImageViewer viewer;
    DialogAnswers answers;
    answers.run([&viewer] { QMetaObject::invokeMethod(&viewer, "saveImage"); });
    EXPECT_FALSE(answers.dialogSeen);
    EXPECT_EQ(answers.boxes, QStringList{"No Image|There is no image to save."});
}

TEST(ImageViewer, SavesImageAsGivenToNonAsciiPath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString chosen = dir.filePath(QString::fromUtf8("Zellbild_äöü_µ"));

    ImageViewer viewer;
    viewer.actualSize();
    viewer.findChild<QCheckBox*>("autoContrastCheck")->setChecked(true);
    const std::vector<uint8_t> pixels{50, 60, 70, 80, 90, 100};
    viewer.displayImageWithMask(pixels, {1, 1, 1, 0, 0, 0}, 3, 2, "save");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);

    DialogAnswers answers;
    answers.fileDialog = [&chosen](QFileDialog* dialog) {
        chooseFile(dialog, chosen, "PNG Images (*.png)");
    };
    answers.run([&viewer] { QMetaObject::invokeMethod(&viewer, "saveImage"); });

    const QString expected = chosen + ".png";
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.first().first().toString(), expected);
    EXPECT_EQ(answers.boxes, QStringList{"Success|Image saved successfully."});

    // The file holds the grey image as given: no stretch, no overlay.
    const cv::Mat written = readImageFile(expected);
    ASSERT_FALSE(written.empty());
    ASSERT_EQ(written.type(), CV_8UC1);
    ASSERT_EQ(written.cols, 3);
    ASSERT_EQ(written.rows, 2);
    const std::vector<uint8_t> back(written.datastart, written.dataend);
    EXPECT_EQ(back, pixels);
}

TEST(ImageViewer, CancelledSaveDoesNothing)
{
    ImageViewer viewer;
    viewer.displayImage(pattern(4, 4, {1}), 4, 4, "cancel");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    DialogAnswers answers; // rejects the file dialog
    answers.run([&viewer] { QMetaObject::invokeMethod(&viewer, "saveImage"); });
    EXPECT_TRUE(answers.dialogSeen);
    EXPECT_TRUE(answers.boxes.isEmpty());
    EXPECT_EQ(saved.count(), 0);
}

TEST(ImageViewer, FailedSavesReportErrorNotSuccess)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        QString path;
        QString filter;
        const char* what;
        QString message;
    };
    const Case cases[] = {
        // The encoder succeeds, the write fails without any exception: the step and the system's reason.
        {dir.filePath("missing/folder/image.png"), "PNG Images (*.png)", "folder that does not exist",
         "Error|Failed to create: " + dir.filePath("missing/folder/image.png") + "\nNo such file or directory"},
        // "All Files" adds no suffix; the encoder knows no ".xyz" and throws.
        {dir.filePath("image.xyz"), "All Files (*)", "unknown format", "Error|Failed to save image: "},
    };
    for (const Case& failing : cases) {
        ImageViewer viewer;
        viewer.displayImage(pattern(4, 4, {1}), 4, 4, "fail");
        QSignalSpy saved(&viewer, &ImageViewer::imageSaved);

        DialogAnswers answers;
        answers.fileDialog = [&failing](QFileDialog* dialog) {
            chooseFile(dialog, failing.path, failing.filter);
        };
        answers.run([&viewer] { QMetaObject::invokeMethod(&viewer, "saveImage"); });
        ASSERT_EQ(answers.boxes.size(), 1) << failing.what;
        EXPECT_TRUE(answers.boxes.first().startsWith(failing.message))
            << failing.what << ": " << answers.boxes.first().toStdString();
        EXPECT_EQ(saved.count(), 0) << failing.what;
        EXPECT_FALSE(QFile::exists(failing.path)) << failing.what;
    }

#ifdef __unix__
    // A full disk while the encoded image (smaller than the file's buffer)
    // goes out: an error, and the old file stays as it was, alone.
    const QString old = dir.filePath("old.png");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old image") == 9);
    }
    ImageViewer viewer;
    cv::Mat noise(64, 64, CV_8UC1);
    cv::randu(noise, 0, 256);
    viewer.displayImage(std::vector<uint8_t>(noise.datastart, noise.dataend), 64, 64, "full disk");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    DialogAnswers answers;
    answers.fileDialog = [&old](QFileDialog* dialog) { chooseFile(dialog, old, "PNG Images (*.png)"); };
    {
        const Testing::FileSizeLimit limit(1024);
        answers.run([&viewer] { QMetaObject::invokeMethod(&viewer, "saveImage"); });
    }
    ASSERT_EQ(answers.boxes.size(), 2);   // after the question whether to replace it
    EXPECT_EQ(answers.boxes.last(), "Error|Failed to write: " + old + "\nFile too large");
    EXPECT_EQ(saved.count(), 0);
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old image");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.png"});
#endif
}
