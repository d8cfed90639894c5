#pragma once
// Helpers shared by the tests of the event-file writers.

#include "app/datasetentry.h"
#include "app/displaytext.h"
#include "rtdc/rtdcreader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace Tessary::Testing {

// An entry as the main window holds it once the file has been opened.
inline DatasetEntry openedEntry(const std::string& path, const QString& displayName)
{
    DatasetEntry entry;
    entry.reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(entry.reader->open(path)) << path;
    entry.metadata = entry.reader->readMetadata();
    entry.filePath = path;
    setDatasetName(entry, displayName);
    return entry;
}

// The names in a folder, sorted (to see that no temporary file stays behind).
inline std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
        names.push_back(item.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string fileText(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace Tessary::Testing
