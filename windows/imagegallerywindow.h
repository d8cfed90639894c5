#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QMainWindow>

#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace Tessary {

class MainWindow;

// The event images of one dataset's filtered events, a page at a time. Pages
// render on the global thread pool; every request carries a generation
// number, and a result of an older generation is dropped.
class ImageGalleryWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kPageSize = 24;

    ImageGalleryWindow(MainWindow* mainWindow, int datasetId, QWidget* parent = nullptr);
    ~ImageGalleryWindow() override;

    void refresh();
    void onActiveDatasetChanged(int datasetId);
    void onDatasetRemoved(int datasetId);
    void onDatasetRenamed(int datasetId, const QString& name);

    int datasetId() const { return shownDatasetId; }
    int currentPage() const { return page; }
    int pageCount() const;
    // Blocks until the running page render (if any) has delivered.
    void waitForRendering();

signals:
    void windowClosed(ImageGalleryWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Page
    {
        quint64 generation = 0;
        bool samePage = false;   // a re-render of the page on screen: keeps its scroll and current image
        std::vector<int> events;
        std::vector<QImage> images;
    };

    // sameView: a refresh, which keeps what the user scrolled to.
    void showPage(int newPage, bool sameView = false);
    void onPageRendered();
    void updateLabels();
    // The dataset exists but is still loading or calculating.
    bool datasetWaiting() const;

    MainWindow* mainWindow;
    int shownDatasetId;
    std::vector<int> eventIndices;
    int page = 0;
    quint64 generation = 0;
    QFutureWatcher<Page>* renderWatcher = nullptr;

    QLabel* nameLabel = nullptr;
    QLabel* pageLabel = nullptr;
    QCheckBox* followActiveCheck = nullptr;
    QPushButton* previousButton = nullptr;
    QPushButton* nextButton = nullptr;
    QListWidget* grid = nullptr;
};

} // namespace Tessary
