#include "python/version_check.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using tolvane::interpreter_version_supported;

struct VersionCase {
    std::string_view version;
    bool supported;
};

class VersionCheck : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionCheck, AcceptsOnlyTheCompiledMinorVersion) {
    EXPECT_EQ(interpreter_version_supported(GetParam().version), GetParam().supported)
        << "version string: '" << GetParam().version << "'";
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionCheck,
                         testing::Values(VersionCase{"3.14.0", true}, VersionCase{"3.14.2+", true},
                                         VersionCase{"3.14 ", true}, VersionCase{"3.14", true},
                                         VersionCase{"3.14.10 (main, Oct 26 2026) [GCC 16.2.0]", true},
                                         VersionCase{"3.13.1", false}, VersionCase{"3.140", false},
                                         VersionCase{"3.141.0", false}, VersionCase{"3.1", false},
                                         VersionCase{"", false}, VersionCase{"2.14.0", false}),
                         [](const testing::TestParamInfo<VersionCase>& param_info) {
                             return "case" + std::to_string(param_info.index) +
                                    (param_info.param.supported ? "_accepted" : "_refused");
                         });

TEST(VersionCheck, ComparesAgainstTheGivenCompiledVersion) {
    EXPECT_TRUE(interpreter_version_supported("3.13.1", "3.13"));
    EXPECT_FALSE(interpreter_version_supported("3.14.0", "3.13"));
}

}  // namespace
