#include "widgets/imageviewer.h"

#include "widgets/filefailuretext.h"
#include "widgets/savedialoghelpers.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

namespace Tessary {

namespace {

constexpr double MinZoom = 0.1;
constexpr double MaxZoom = 10.0;
constexpr double ZoomStep = 1.25;

const char* const ButtonStyle =
    "QPushButton { padding: 2px 6px; min-height: 16px; min-width: 20px; }";

// Matrix of height rows and width columns holding a copy of the first
// width x height bytes.
cv::Mat copyToMatrix(const std::vector<uint8_t>& bytes, int width, int height)
{
    cv::Mat matrix(height, width, CV_8UC1);
    const std::size_t rowBytes = static_cast<std::size_t>(width);
    for (int row = 0; row < height; ++row)
        std::memcpy(matrix.ptr(row), bytes.data() + static_cast<std::size_t>(row) * rowBytes, rowBytes);
    return matrix;
}

// Whether the vector holds at least width x height bytes; the product is taken
// in 64 bits, since two int sizes overflow an int long before memory runs out.
bool holdsFrame(const std::vector<uint8_t>& bytes, int width, int height)
{
    if (bytes.empty() || width < 1 || height < 1)
        return false;
    const unsigned long long needed =
        static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
    return needed <= static_cast<unsigned long long>(bytes.size());
}

// One scaled length: never below one pixel (tiny images at the smallest zoom)
// and never beyond what a matrix can hold.
int scaledLength(int length, double factor)
{
    const double scaled = std::floor(static_cast<double>(length) * factor);
    return static_cast<int>(std::clamp(scaled, 1.0, static_cast<double>(INT_MAX)));
}

// The QImage wraps the matrix with its own row stride (rows may be padded)
// and is deep-copied, so the pixmap never points into a matrix that goes away.
QPixmap toPixmap(const cv::Mat& matrix)
{
    if (matrix.empty())
        return QPixmap();
    if (matrix.type() == CV_8UC1) {
        const QImage view(matrix.data, matrix.cols, matrix.rows,
                          static_cast<qsizetype>(matrix.step), QImage::Format_Grayscale8);
        return QPixmap::fromImage(view.copy());
    }
    if (matrix.type() == CV_8UC3) {
        cv::Mat rgb;
        cv::cvtColor(matrix, rgb, cv::COLOR_BGR2RGB);
        const QImage view(rgb.data, rgb.cols, rgb.rows,
                          static_cast<qsizetype>(rgb.step), QImage::Format_RGB888);
        return QPixmap::fromImage(view.copy());
    }
    return QPixmap();
}

} // namespace

struct ImageViewer::Frames
{
    cv::Mat displayImage; // the image as given; what a save writes
    cv::Mat image;        // the image as given (8-bit, one channel)
    cv::Mat mask;         // same size as image, empty when none
};

ImageViewer::ImageViewer(QWidget* parent)
    : QWidget(parent)
    , frames(std::make_unique<Frames>())
{
    setUpUi();
}

ImageViewer::~ImageViewer() = default;

void ImageViewer::setUpUi()
{
    auto* layout = new QVBoxLayout(this);

    infoLabel = new QLabel(tr("No Image"), this);
    infoLabel->setObjectName(QStringLiteral("infoLabel"));
    infoLabel->setAlignment(Qt::AlignCenter);
    QFont infoFont = infoLabel->font();
    infoFont.setPointSize(12);
    infoFont.setWeight(QFont::Bold);
    infoLabel->setFont(infoFont);
    layout->addWidget(infoLabel);

    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setWidgetResizable(false);
    scrollArea->setAlignment(Qt::AlignCenter);
    imageLabel = new QLabel;
    imageLabel->setObjectName(QStringLiteral("imageLabel"));
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setScaledContents(false);
    imageLabel->setMinimumSize(100, 100);
    scrollArea->setWidget(imageLabel);
    layout->addWidget(scrollArea, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(2);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    const auto makeButton = [this, buttonRow](const QString& text, const QString& tip,
                                              const QString& name) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setToolTip(tip);
        button->setStyleSheet(QString::fromLatin1(ButtonStyle));
        buttonRow->addWidget(button);
        return button;
    };
    zoomInButton = makeButton(QStringLiteral("+"), tr("Zoom In"), QStringLiteral("zoomInButton"));
    zoomOutButton = makeButton(QStringLiteral("-"), tr("Zoom Out"), QStringLiteral("zoomOutButton"));
    actualSizeButton = makeButton(QStringLiteral("1:1"), tr("Actual Size"), QStringLiteral("actualSizeButton"));
    fitButton = makeButton(tr("Fit"), tr("Fit to Window"), QStringLiteral("fitButton"));
    buttonRow->addStretch();
    layout->addLayout(buttonRow);

    auto* checkRow = new QHBoxLayout;
    checkRow->setSpacing(8);
    checkRow->setContentsMargins(0, 0, 0, 0);
    showMaskCheck = new QCheckBox(tr("Show Mask"), this);
    showMaskCheck->setObjectName(QStringLiteral("showMaskCheck"));
    showMaskCheck->setChecked(true);
    showMaskCheck->setEnabled(false);
    showMaskCheck->setToolTip(tr("Show mask overlay"));
    autoContrastCheck = new QCheckBox(tr("Auto Contrast"), this);
    autoContrastCheck->setObjectName(QStringLiteral("autoContrastCheck"));
    autoContrastCheck->setChecked(false);
    autoContrastCheck->setToolTip(tr("Stretch image contrast to full range"));
    checkRow->addWidget(showMaskCheck);
    checkRow->addWidget(autoContrastCheck);
    checkRow->addStretch();
    layout->addLayout(checkRow);

    connect(zoomInButton, &QPushButton::clicked, this, &ImageViewer::zoomIn);
    connect(zoomOutButton, &QPushButton::clicked, this, &ImageViewer::zoomOut);
    connect(actualSizeButton, &QPushButton::clicked, this, &ImageViewer::actualSize);
    connect(fitButton, &QPushButton::clicked, this, &ImageViewer::fitToWindow);
    connect(showMaskCheck, &QCheckBox::toggled, this, &ImageViewer::showMaskToggled);
    connect(autoContrastCheck, &QCheckBox::toggled, this, [this](bool checked) {
        autoContrast = checked;
        render();
        emit autoContrastToggled(checked);
    });
}

bool ImageViewer::hasImage() const
{
    return !frames->displayImage.empty();
}

bool ImageViewer::storeFrames(const std::vector<uint8_t>& pixels, const std::vector<uint8_t>* mask,
                              int width, int height)
{
    if (!holdsFrame(pixels, width, height) || (mask && !holdsFrame(*mask, width, height)))
        return false;
    frames->image = copyToMatrix(pixels, width, height);
    frames->mask = mask ? copyToMatrix(*mask, width, height) : cv::Mat();
    frames->displayImage = frames->image.clone();
    return true;
}

void ImageViewer::showStoredImage(const QString& info)
{
    infoLabel->setText(info);
    if (fitMode)
        fitToWindow();
    else
        render();
}

void ImageViewer::displayImage(const std::vector<uint8_t>& pixels, int width, int height,
                               const QString& info)
{
    if (!storeFrames(pixels, nullptr, width, height)) {
        clearImage();
        return;
    }
    showStoredImage(info);
}

void ImageViewer::displayImageWithMask(const std::vector<uint8_t>& pixels,
                                       const std::vector<uint8_t>& mask, int width, int height,
                                       const QString& info)
{
    if (!storeFrames(pixels, &mask, width, height)) {
        clearImage();
        return;
    }
    showStoredImage(info);
}

void ImageViewer::clearImage()
{
    frames->displayImage.release();
    frames->image.release();
    frames->mask.release();
    imageLabel->clear();
    infoLabel->setText(tr("No Image"));
}

void ImageViewer::setMaskAvailable(bool available)
{
    showMaskCheck->setEnabled(available);
}

bool ImageViewer::isMaskShown() const
{
    return showMaskCheck->isChecked();
}

void ImageViewer::setZoom(double factor)
{
    zoom = std::clamp(factor, MinZoom, MaxZoom);
}

void ImageViewer::zoomIn()
{
    setZoom(zoom * ZoomStep);
    fitMode = false;
    render();
}

void ImageViewer::zoomOut()
{
    setZoom(zoom / ZoomStep);
    fitMode = false;
    render();
}

void ImageViewer::actualSize()
{
    fitMode = false;
    zoom = 1.0;
    render();
}

void ImageViewer::fitToWindow()
{
    fitMode = true;
    if (!hasImage())
        return;
    const QSize viewport = scrollArea->viewport()->size();
    const cv::Mat& shown = frames->image.empty() ? frames->displayImage : frames->image;
    setZoom(std::min(static_cast<double>(viewport.width()) / shown.cols,
                     static_cast<double>(viewport.height()) / shown.rows));
    render();
}

void ImageViewer::render()
{
    if (frames->displayImage.empty())
        return;

    cv::Mat src = frames->image.empty() ? frames->displayImage.clone() : frames->image.clone();

    if (autoContrast) {
        cv::Mat grey;
        if (src.channels() == 1)
            grey = src;
        else
            cv::cvtColor(src, grey, cv::COLOR_BGR2GRAY);
        double lo = 0.0;
        double hi = 0.0;
        cv::minMaxLoc(grey, &lo, &hi);
        if (hi > lo) {
            const double scale = 255.0 / (hi - lo);
            src.convertTo(src, -1, scale, -lo * scale);
        }
    }

    cv::Mat result;
    if (!frames->mask.empty()) {
        cv::Mat colour;
        if (src.channels() == 1)
            cv::cvtColor(src, colour, cv::COLOR_GRAY2BGR);
        else
            colour = src;
        cv::Mat overlay = colour.clone();
        overlay.setTo(cv::Scalar(0, 204, 254), frames->mask != 0);
        cv::addWeighted(colour, 0.7, overlay, 0.3, 0.0, result);
    } else {
        result = src;
    }

    cv::Mat scaled;
    try {
        cv::resize(result, scaled,
                   cv::Size(scaledLength(result.cols, zoom), scaledLength(result.rows, zoom)), 0, 0,
                   cv::INTER_LINEAR);
    } catch (const cv::Exception&) {
        // Out of memory for an enormous zoomed image: show nothing rather than crash.
        scaled.release();
    }

    const QPixmap pixmap = toPixmap(scaled);
    imageLabel->setPixmap(pixmap);
    imageLabel->resize(pixmap.size());
}

void ImageViewer::contextMenuEvent(QContextMenuEvent* event)
{
    if (!hasImage()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    QAction* save = menu.addAction(tr("Save Image..."));
    connect(save, &QAction::triggered, this, &ImageViewer::saveImage);
    menu.exec(event->globalPos());
}

void ImageViewer::saveImage()
{
    if (!hasImage()) {
        QMessageBox::warning(this, tr("No Image"), tr("There is no image to save."), QMessageBox::Ok);
        return;
    }

    QString selectedFilter;
    QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save Image"), QString(),
        tr("PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)"), &selectedFilter);
    if (fileName.isEmpty())
        return;
    fileName = ensureFilterSuffix(fileName, selectedFilter);

    // The encoder picks the format by suffix; the bytes are written by our
    // own code, which takes any path the system does, and replace an existing
    // file only once all of them are written.
    QString failure;
    try {
        const std::string suffix = "." + QFileInfo(fileName).suffix().toStdString();
        std::vector<uchar> encoded;
        if (!cv::imencode(suffix, frames->displayImage, encoded)) {
            failure = tr("Failed to save image: %1").arg(tr("the image could not be encoded."));
        } else {
            const std::string_view bytes(reinterpret_cast<const char*>(encoded.data()), encoded.size());
            FileFailure fileFailure;
            if (!replaceFileContent(fileName.toStdString(), bytes, &fileFailure))
                failure = fileFailureText(fileFailure, fileName);
        }
    } catch (const cv::Exception& e) {
        failure = tr("Failed to save image: %1").arg(QString::fromStdString(e.what()));
    }

    if (!failure.isEmpty()) {
        QMessageBox::critical(this, tr("Error"), failure);
        return;
    }
    emit imageSaved(fileName);
    QMessageBox::information(this, tr("Success"), tr("Image saved successfully."));
}

} // namespace Tessary
