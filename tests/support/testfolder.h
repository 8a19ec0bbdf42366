#pragma once

#include <gtest/gtest.h>

#include <string>

namespace reedtab::testing {

/// "Suite.Name" of the running test. ctest runs each test case as its own process, possibly
/// beside the others, so scratch folders are named after it to keep runs apart.
inline std::string testFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

} // namespace reedtab::testing
