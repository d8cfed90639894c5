#pragma once
// Small helpers shared by the data-layer tests.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace Tessary::Testing {

// Captures what is written to standard error (any thread) while it lives.
class StderrCapture
{
public:
    StderrCapture() { ::testing::internal::CaptureStderr(); }
    ~StderrCapture()
    {
        if (!taken)
            ::testing::internal::GetCapturedStderr();
    }
    // The captured lines; ends the capture.
    std::vector<std::string> lines()
    {
        taken = true;
        std::istringstream in(::testing::internal::GetCapturedStderr());
        std::vector<std::string> result;
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

private:
    bool taken = false;
};

inline bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace Tessary::Testing
