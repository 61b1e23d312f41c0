#include "PathText.h"

#include "NamedRow.h"

#include <gtest/gtest.h>

namespace ombrix {
namespace {

struct TildeCase {
    const char* name;
    QString path, home, expected;
    OMBRIX_NAMED_ROW(TildeCase)
};

class AbbreviatingWithTilde : public ::testing::TestWithParam<TildeCase> {};

TEST_P(AbbreviatingWithTilde, Cases) {
    EXPECT_EQ(PathText::abbreviatingWithTilde(GetParam().path, GetParam().home),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    PathText, AbbreviatingWithTilde,
    ::testing::Values(TildeCase{"Inside", "/home/me/src/app", "/home/me", "~/src/app"},
                      TildeCase{"HomeItself", "/home/me", "/home/me", "~"},
                      TildeCase{"HomeWithSlash", "/home/me/", "/home/me", "~"},
                      TildeCase{"HomeGivenWithSlash", "/home/me/src", "/home/me/", "~/src"},
                      TildeCase{"SharedPrefixOnly", "/home/meg/src", "/home/me", "/home/meg/src"},
                      TildeCase{"Outside", "/opt/flutter", "/home/me", "/opt/flutter"},
                      TildeCase{"RootHome", "/opt/flutter", "/", "/opt/flutter"},
                      TildeCase{"EmptyHome", "/opt/flutter", "", "/opt/flutter"},
                      TildeCase{"Relative", "home/me/src", "/home/me", "home/me/src"}),
    ombrix::testing::RowName());

} // namespace
} // namespace ombrix
