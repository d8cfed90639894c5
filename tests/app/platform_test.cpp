#include "app/platform.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>

using namespace Tessary;

TEST(PlatformTest, ExecutableDirectoryHoldsTheRunningProgram)
{
    const QString dir = executableDirectory();
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_EQ(QFileInfo(dir).canonicalFilePath(), QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath());
}

TEST(PlatformTest, ArgumentStoreOffersTerminatedArgv)
{
    ArgumentStore store({"tessary", "-platform", "offscreen", "ümlaut"});
    ASSERT_EQ(store.argc(), 4);
    EXPECT_STREQ(store.argv()[0], "tessary");
    EXPECT_STREQ(store.argv()[3], "ümlaut");
    EXPECT_EQ(store.argv()[4], nullptr);
}

TEST(PlatformTest, ArgumentsPassThroughOutsideWindows)
{
    char a0[] = "prog", a1[] = "x y";
    char* argv[] = {a0, a1, nullptr};
    const auto args = processArguments(2, argv);
#ifndef _WIN32
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[1], "x y");
#else
    EXPECT_FALSE(args.empty());
#endif
}
