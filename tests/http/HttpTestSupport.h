#pragma once

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

// Runs each test in a fresh current folder (downloads and the trace log land
// there) and keeps proxy settings of the environment away from loopback.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    std::string InFolder(const std::string& name) const { return folder_.File(name); }

    TempDir folder_;
    std::filesystem::path previous_;
};
