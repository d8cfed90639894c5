#include "app/datasetfoldertree.h"

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

// The forest in one line: a dataset is its index, a folder "name{children}".
std::string shape(const std::vector<DatasetFolderNode>& nodes)
{
    std::string out;
    for (const DatasetFolderNode& node : nodes) {
        if (!out.empty())
            out += ',';
        if (node.datasetIndex >= 0) {
            out += std::to_string(node.datasetIndex);
            EXPECT_TRUE(node.children.empty());
            EXPECT_TRUE(node.name.isEmpty());
        } else {
            out += node.name.toStdString() + '{' + shape(node.children) + '}';
        }
    }
    return out;
}

std::string tree(const QStringList& paths, int depth)
{
    return shape(buildDatasetFolderTree(paths, depth));
}

} // namespace

TEST(DatasetFolderTreeTest, DepthLimitsTheFolderLevelsAboveTheDatasets)
{
    const QStringList drive{"D:/data/run1/a.rtdc", "D:/data/run2/b.rtdc", "D:/data/run1/c.rtdc"};
    EXPECT_EQ(tree(drive, 1), "run1{0,2},run2{1}");
    EXPECT_EQ(tree(drive, 2), "data{run1{0,2},run2{1}}");
    EXPECT_EQ(tree(drive, 3), "D:{data{run1{0,2},run2{1}}}");
    EXPECT_EQ(tree(drive, 4), "D:{data{run1{0,2},run2{1}}}");

    const QStringList posix{"/home/u/data/run1/a.rtdc", "/home/u/data/run2/b.rtdc", "/home/u/data/run1/c.rtdc"};
    EXPECT_EQ(tree(posix, 2), "data{run1{0,2},run2{1}}");
    EXPECT_EQ(tree(posix, 3), "u{data{run1{0,2},run2{1}}}");
    EXPECT_EQ(tree(posix, 4), "home{u{data{run1{0,2},run2{1}}}}");
}

TEST(DatasetFolderTreeTest, OneFilePerFolderKeepsTheCommonParent)
{
    const QStringList paths{"/m/a/x.rtdc", "/m/b/y.rtdc", "/m/c/z.rtdc"};
    EXPECT_EQ(tree(paths, 1), "a{0},b{1},c{2}");
    EXPECT_EQ(tree(paths, 2), "m{a{0},b{1},c{2}}");
}

TEST(DatasetFolderTreeTest, DatasetAboveADeepBranchBecomesARoot)
{
    // x.rtdc lies three levels above the deepest dataset: its folder a is not
    // shown, while y.rtdc keeps its two folders.
    EXPECT_EQ(tree({"D:/m/a/x.rtdc", "D:/m/a/b/c/y.rtdc"}, 2), "0,b{c{1}}");
    EXPECT_EQ(tree({"D:/m/a/x.rtdc", "D:/m/a/b/c/y.rtdc"}, 3), "a{0,b{c{1}}}");
}

TEST(DatasetFolderTreeTest, OrderIsFirstAppearanceWithFoldersAndDatasetsInterleaved)
{
    EXPECT_EQ(tree({"/p/z.rtdc", "/p/q/b.rtdc", "/p/a.rtdc", "/o/c.rtdc"}, 2), "p{0,q{1},2},o{3}");
    // Duplicates of one path are separate datasets of the same folder.
    EXPECT_EQ(tree({"/p/q/a.rtdc", "/p/q/a.rtdc"}, 1), "q{0,1}");
}

TEST(DatasetFolderTreeTest, PathsWithoutFoldersAreRootDatasets)
{
    EXPECT_EQ(tree({}, 2), "");
    EXPECT_EQ(tree({"", "relative/x.rtdc", "/d/e/f.rtdc"}, 2), "0,1,d{e{2}}");
}

TEST(DatasetFolderTreeTest, FolderNamesAreCaseSensitiveAndBackslashesSeparate)
{
    EXPECT_EQ(tree({"/x/Run/a.rtdc", "/x/run/b.rtdc"}, 2), "x{Run{0},run{1}}");
    EXPECT_EQ(tree({"D:\\data\\run1\\a.rtdc", "D:/data/run1/b.rtdc"}, 2), "data{run1{0,1}}");
}
