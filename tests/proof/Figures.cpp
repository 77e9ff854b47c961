#include "Figures.h"

#include <gtest/gtest.h>

#include <iostream>

namespace proof {

void reportFigure(const std::string& name, std::int64_t value)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string testName = test ? std::string(test->test_suite_name()) + "." + test->name() : "?";
    std::cout << "[figure] " << testName << ": " << name << " = " << value << std::endl;
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

} // namespace proof
