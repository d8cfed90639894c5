#include "windows/imagegallerywindow.h"

#include "app/datasetentry.h"
#include "app/mainwindow.h"
#include "rtdc/rtdcreader.h"
#include "widgets/savedialoghelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace Tessary {

namespace {

// A frame stretched to the full grey range, so dim images stay readable.
QImage renderFrame(const std::vector<std::uint8_t>& pixels, int width, int height)
{
    if (pixels.empty() || width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height))
        return {};
    const auto [lo, hi] = std::minmax_element(pixels.begin(), pixels.end());
    const int low = *lo, span = std::max(1, int(*hi) - low);
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        const std::uint8_t* src = pixels.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            line[x] = uchar((int(src[x]) - low) * 255 / span);
    }
    return image;
}

} // namespace

ImageGalleryWindow::ImageGalleryWindow(MainWindow* mainWindow, int datasetId, QWidget* parent)
    : QMainWindow(parent)
    , mainWindow(mainWindow)
    , shownDatasetId(datasetId)
{
    setWindowTitle(QStringLiteral("Image Gallery"));
    resize(900, 620);

    nameLabel = new QLabel;
    followActiveCheck = new QCheckBox(QStringLiteral("Follow Active Dataset"));
    previousButton = new QPushButton(QStringLiteral("< Previous"));
    nextButton = new QPushButton(QStringLiteral("Next >"));
    pageLabel = new QLabel;
    grid = new QListWidget;
    grid->setViewMode(QListView::IconMode);
    grid->setIconSize(QSize(160, 80));
    grid->setResizeMode(QListView::Adjust);
    grid->setMovement(QListView::Static);
    grid->setSpacing(6);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    top->addWidget(nameLabel, 1);
    top->addWidget(followActiveCheck);
    layout->addLayout(top);
    layout->addWidget(grid, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(previousButton);
    bottom->addStretch(1);
    bottom->addWidget(pageLabel);
    bottom->addStretch(1);
    bottom->addWidget(nextButton);
    layout->addLayout(bottom);
    setCentralWidget(central);

    addKeepOnTopAction(this);

    renderWatcher = new QFutureWatcher<Page>(this);
    connect(renderWatcher, &QFutureWatcher<Page>::finished, this, &ImageGalleryWindow::onPageRendered);
    connect(previousButton, &QPushButton::clicked, this, [this] { showPage(page - 1); });
    connect(nextButton, &QPushButton::clicked, this, [this] { showPage(page + 1); });

    refresh();
}

ImageGalleryWindow::~ImageGalleryWindow()
{
    waitForRendering();
}

void ImageGalleryWindow::waitForRendering()
{
    renderWatcher->waitForFinished();
}

int ImageGalleryWindow::pageCount() const
{
    return std::max(1, int((eventIndices.size() + kPageSize - 1) / kPageSize));
}

void ImageGalleryWindow::refresh()
{
    // A dataset that is not whole shows no events until the main window
    // refreshes this window with it whole.
    eventIndices = mainWindow->filteredEventIndices(shownDatasetId, false);
    // The page the user went to stays; only a shorter list moves it back.
    showPage(page, true);
}

bool ImageGalleryWindow::datasetWaiting() const
{
    return mainWindow->findDatasetById(shownDatasetId) && !mainWindow->isDatasetWhole(shownDatasetId);
}

void ImageGalleryWindow::showPage(int newPage, bool sameView)
{
    // A waiting dataset lists no events: its page is kept for when it is
    // whole rather than falling back to the first.
    const int previous = page;
    const bool waiting = datasetWaiting();
    page = waiting ? std::max(0, newPage) : std::clamp(newPage, 0, pageCount() - 1);
    // The images on screen stay until their re-render replaces them.
    const bool samePage = sameView && !waiting && page == previous;
    if (!samePage)
        grid->clear();
    updateLabels();
    const DatasetEntry* ds = mainWindow->findDatasetById(shownDatasetId);
    if (!ds || !ds->reader || !ds->reader->hasImage())
        return;
    Page request;
    request.generation = ++generation;
    request.samePage = samePage;
    const size_t first = size_t(page) * kPageSize;
    for (size_t i = first; i < std::min(eventIndices.size(), first + kPageSize); ++i)
        request.events.push_back(eventIndices[i]);
    // The task holds the reader itself, so a dataset removed meanwhile cannot
    // pull the file out from under it.
    std::shared_ptr<RTDCReader> reader = ds->reader;
    if (renderWatcher->isRunning())
        renderWatcher->waitForFinished();   // one render at a time; its result is dropped as stale
    renderWatcher->setFuture(QtConcurrent::run([reader, request]() mutable {
        for (int index : request.events) {
            int w = 0, h = 0;
            const std::vector<std::uint8_t> pixels = reader->readImage(size_t(index), w, h);
            request.images.push_back(renderFrame(pixels, w, h));
        }
        return request;
    }));
}

void ImageGalleryWindow::onPageRendered()
{
    const Page result = renderWatcher->result();
    if (result.generation != generation)
        return;
    const int scrolledTo = grid->verticalScrollBar()->value();
    const int currentRow = grid->currentRow();
    grid->clear();
    for (size_t i = 0; i < result.events.size(); ++i) {
        const QImage& image = result.images[i];
        auto* item = new QListWidgetItem(QStringLiteral("Event %1").arg(result.events[i]), grid);
        if (!image.isNull())
            item->setIcon(QIcon(QPixmap::fromImage(image.scaled(grid->iconSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation))));
    }
    if (!result.samePage)
        return;
    grid->doItemsLayout();   // the scroll range knows the new images only once they are laid out
    if (currentRow >= 0 && currentRow < grid->count())
        grid->setCurrentRow(currentRow);
    grid->verticalScrollBar()->setValue(scrolledTo);
}

void ImageGalleryWindow::updateLabels()
{
    const DatasetEntry* ds = mainWindow->findDatasetById(shownDatasetId);
    nameLabel->setText(ds ? ds->displayName : QStringLiteral("(no dataset)"));
    const bool waiting = datasetWaiting();
    if (waiting)
        pageLabel->setText(QStringLiteral("Waiting for the dataset to load..."));
    else
        pageLabel->setText(
            QStringLiteral("Page %1 of %2 (%3 events)").arg(page + 1).arg(pageCount()).arg(eventIndices.size()));
    previousButton->setEnabled(!waiting && page > 0);
    nextButton->setEnabled(!waiting && page + 1 < pageCount());
}

void ImageGalleryWindow::onActiveDatasetChanged(int datasetId)
{
    if (!followActiveCheck->isChecked() || datasetId == shownDatasetId || !mainWindow->findDatasetById(datasetId))
        return;
    shownDatasetId = datasetId;
    eventIndices = mainWindow->filteredEventIndices(shownDatasetId, false);
    showPage(0);   // another dataset starts at its first page
}

void ImageGalleryWindow::onDatasetRemoved(int datasetId)
{
    if (datasetId == shownDatasetId)
        close();
}

void ImageGalleryWindow::onDatasetRenamed(int datasetId, const QString& name)
{
    if (datasetId == shownDatasetId)
        nameLabel->setText(name);
}

void ImageGalleryWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    event->accept();
}

} // namespace Tessary
