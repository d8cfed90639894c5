#include "app/datasetfoldertree.h"

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

// The forest in one line: a dataset is its index, a folder "name{children}".
std::string shape(const std::vector<DatasetFolderNode>& nodes)
{
    std::string out;
    for (const DatasetFolderNode& node : nodes) {
        out += out.empty() ? "" : ",";
        out += node.datasetIndex >= 0 ? std::to_string(node.datasetIndex)
                                      : node.name.toStdString() + '{' + shape(node.children) + '}';
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
    EXPECT_EQ(tree(drive, 4), "D:{data{run1{0,2},run2{1}}}");
    const QStringList posix{"/home/u/data/run1/a.rtdc", "/home/u/data/run2/b.rtdc", "/home/u/data/run1/c.rtdc"};
    EXPECT_EQ(tree(posix, 2), "data{run1{0,2},run2{1}}");
    EXPECT_EQ(tree(posix, 4), "home{u{data{run1{0,2},run2{1}}}}");
    // One file per folder keeps the common parent.
    EXPECT_EQ(tree({"/m/a/x.rtdc", "/m/b/y.rtdc", "/m/c/z.rtdc"}, 2), "m{a{0},b{1},c{2}}");
}

TEST(DatasetFolderTreeTest, DatasetAboveADeepBranchBecomesARoot)
{
    // x.rtdc lies three folder levels above the deepest dataset of its branch.
    EXPECT_EQ(tree({"D:/m/a/x.rtdc", "D:/m/a/b/c/y.rtdc"}, 2), "0,b{c{1}}");
    EXPECT_EQ(tree({"D:/m/a/x.rtdc", "D:/m/a/b/c/y.rtdc"}, 3), "a{0,b{c{1}}}");
}

TEST(DatasetFolderTreeTest, OrderDuplicatesCaseAndPathsWithoutFolders)
{
    EXPECT_EQ(tree({"/p/z.rtdc", "/p/q/b.rtdc", "/p/a.rtdc", "/o/c.rtdc"}, 2), "p{0,q{1},2},o{3}");
    EXPECT_EQ(tree({"/p/q/a.rtdc", "/p/q/a.rtdc"}, 1), "q{0,1}");
    EXPECT_EQ(tree({"/x/Run/a.rtdc", "/x/run/b.rtdc"}, 2), "x{Run{0},run{1}}");
    EXPECT_EQ(tree({"D:\\data\\run1\\a.rtdc", "D:/data/run1/b.rtdc"}, 2), "data{run1{0,1}}");
    EXPECT_EQ(tree({}, 2), "");
    EXPECT_EQ(tree({"", "relative/x.rtdc", "/d/e/f.rtdc"}, 2), "0,1,d{e{2}}");
}
