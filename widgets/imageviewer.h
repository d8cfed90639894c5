#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QContextMenuEvent;
class QLabel;
class QPushButton;
class QScrollArea;

namespace Tessary {

// Shows the 8-bit grey image of one event, optionally with its segmentation
// mask laid over it in translucent yellow, zoomed by buttons or fitted to the
// available space, with an optional contrast stretch. The context menu saves
// the image as it was given. The viewer owns deep copies of the pixels.
class ImageViewer : public QWidget
{
    Q_OBJECT

public:
    explicit ImageViewer(QWidget* parent = nullptr);
    ~ImageViewer() override;

    // Shows width x height bytes of pixels, row after row, without a mask.
    // Sizes below 1 or too few pixels clear the viewer.
    void displayImage(const std::vector<uint8_t>& pixels, int width, int height,
                      const QString& info);
    // As displayImage, with a mask of the same size (non-zero: inside).
    void displayImageWithMask(const std::vector<uint8_t>& pixels, const std::vector<uint8_t>& mask,
                              int width, int height, const QString& info);
    // Forgets the image and mask and shows "No Image"; zoom and fit mode stay.
    void clearImage();
    // Enables or disables the "Show Mask" check box.
    void setMaskAvailable(bool available);
    // Whether "Show Mask" is checked.
    bool isMaskShown() const;

public slots:
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    void actualSize();

signals:
    void imageSaved(QString filename);
    void showMaskToggled(bool checked);
    void autoContrastToggled(bool checked);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void saveImage();

private:
    struct Frames;

    void setUpUi();
    bool hasImage() const;
    bool storeFrames(const std::vector<uint8_t>& pixels, const std::vector<uint8_t>* mask,
                     int width, int height);
    void showStoredImage(const QString& info);
    void setZoom(double factor);
    void render();

    QLabel* imageLabel = nullptr;
    QScrollArea* scrollArea = nullptr;
    QLabel* infoLabel = nullptr;
    QPushButton* zoomInButton = nullptr;
    QPushButton* zoomOutButton = nullptr;
    QPushButton* fitButton = nullptr;
    QPushButton* actualSizeButton = nullptr;
    QCheckBox* showMaskCheck = nullptr;
    QCheckBox* autoContrastCheck = nullptr;

    // The display image, the image and the mask; kept out of this header so
    // that its users need no OpenCV.
    std::unique_ptr<Frames> frames;
    double zoom = 1.0;
    bool fitMode = true;
    bool autoContrast = false;
};

} // namespace Tessary
