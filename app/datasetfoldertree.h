#pragma once
// Groups the open datasets by the folders their files lie in, for the folder
// view of the "Datasets" dock and the rows of the filter-group matrix window.

#include <QList>
#include <QString>

#include <vector>

namespace Tessary {

// One node of the folder forest: a folder (with its own name and its children
// in order) or a dataset (the index into the path list, no children).
struct DatasetFolderNode {
    QString name;                              // the folder's own component; empty for a dataset
    int datasetIndex = -1;                     // index into the path list; -1 for a folder
    std::vector<DatasetFolderNode> children;   // always empty for a dataset
};

// The root nodes for the datasets' file paths (one per dataset, in list order)
// and a folder depth: a folder is shown when the deepest dataset folder below
// it (itself included) lies at most depth levels down; datasets whose folder
// is not shown become roots. Order is the order of first appearance, nothing
// is sorted. Pure: paths are parsed, never looked up on disk. Relative and
// empty paths give root datasets; a drive-letter path ("D:/...") counts as
// absolute on every platform, so a list from a Windows session groups alike.
std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int depth);

} // namespace Tessary
