#include "app/datasetfoldertree.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace Tessary {

namespace {

struct FolderRecord {
    QString name;
    QString parentKey;   // empty for a top folder
    int level = 0;       // 1 for the top folder (the drive or the first folder)
    int deepest = 0;     // the largest component count of the paths at or below it
};

struct FlatNode {
    QString name;
    int datasetIndex = -1;
    std::vector<int> children;
};

// The components of the folder that holds the file, from the top.
QStringList folderComponents(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (!info.isRelative())
        return info.absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Outside Windows a drive-letter path reads as relative, yet it names a
    // folder exactly as it would where it was written.
    static const QRegularExpression drivePath(QStringLiteral("^[A-Za-z]:[/\\\\]"));
    if (!drivePath.match(path).hasMatch())
        return {};
    QString normal = path;
    normal.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return normal.left(normal.lastIndexOf(QLatin1Char('/'))).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

} // namespace

std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int depth)
{
    // Pass 1: every folder on the way to each file, with the deepest dataset
    // level below it; the folder key is the '/'-joined components from the top.
    QHash<QString, FolderRecord> folders;
    QStringList pathKeys;
    pathKeys.reserve(paths.size());
    for (const QString& path : paths) {
        const QStringList components = folderComponents(path);
        const int count = int(components.size());
        QString key;
        for (int k = 0; k < count; ++k) {
            const QString parentKey = key;
            key = k == 0 ? components[0] : key + QLatin1Char('/') + components[k];
            auto it = folders.find(key);
            if (it == folders.end())
                it = folders.insert(key, FolderRecord{components[k], parentKey, k + 1, count});
            it->deepest = std::max(it->deepest, count);
        }
        pathKeys << key;
    }
    const auto shown = [&](const QString& key) {
        const FolderRecord& r = *folders.constFind(key);
        return r.deepest - r.level + 1 <= depth;
    };

    // Pass 2: a flat table of nodes; folders are made on first use, bottom up
    // as far as they are shown.
    std::vector<FlatNode> nodes;
    std::vector<int> roots;
    QHash<QString, int> folderNode;
    std::function<int(const QString&)> folderEntry = [&](const QString& key) -> int {
        if (const auto it = folderNode.constFind(key); it != folderNode.constEnd())
            return *it;
        const FolderRecord record = folders.value(key);
        const int index = int(nodes.size());
        nodes.push_back(FlatNode{record.name, -1, {}});
        folderNode.insert(key, index);
        if (!record.parentKey.isEmpty() && shown(record.parentKey)) {
            const int parent = folderEntry(record.parentKey);
            nodes[size_t(parent)].children.push_back(index);
        } else {
            roots.push_back(index);
        }
        return index;
    };
    for (int i = 0; i < int(paths.size()); ++i) {
        const int index = int(nodes.size());
        nodes.push_back(FlatNode{QString(), i, {}});
        const QString& key = pathKeys[i];
        if (key.isEmpty() || !shown(key)) {
            roots.push_back(index);
        } else {
            const int folder = folderEntry(key);
            nodes[size_t(folder)].children.push_back(index);
        }
    }

    // Pass 3: the nested result.
    std::function<DatasetFolderNode(int)> toNode = [&](int index) {
        const FlatNode& flat = nodes[size_t(index)];
        DatasetFolderNode node;
        node.name = flat.name;
        node.datasetIndex = flat.datasetIndex;
        node.children.reserve(flat.children.size());
        for (int child : flat.children)
            node.children.push_back(toNode(child));
        return node;
    };
    std::vector<DatasetFolderNode> result;
    result.reserve(roots.size());
    for (int root : roots)
        result.push_back(toNode(root));
    return result;
}

} // namespace Tessary
