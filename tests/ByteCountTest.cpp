#include "ByteCount.h"

#include "NamedRow.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using ombrix::platform::formatByteCount;

struct Row {
    const char* name;
    std::int64_t bytes;
    const char* text;
    OMBRIX_NAMED_ROW(Row)
};

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = KiB * 1024;
constexpr std::int64_t GiB = MiB * 1024;
constexpr std::int64_t TiB = GiB * 1024;
constexpr std::int64_t EiB = TiB * 1024 * 1024;

const Row kRows[] = {
    {"ZeroIsKilobytes", 0, "Zero KB"},
    {"OneIsSingular", 1, "1 byte"},
    {"TwoIsPlural", 2, "2 bytes"},
    {"BytesAreGrouped", 1023, "1,023 bytes"},
    {"OneKilobyte", KiB, "1 KB"},
    {"KilobyteJustBelowHalf", 1535, "1 KB"},
    {"KilobyteHalfRoundsToEvenUp", 1536, "2 KB"},
    {"KilobyteHalfRoundsToEvenDown", 2560, "2 KB"},
    {"RoundingUpStaysInKilobytes", MiB - 1, "1,024 KB"},
    {"OneMegabyte", MiB, "1 MB"},
    {"MegabyteHalfToEvenDown", 1'310'720, "1.2 MB"},
    {"MegabyteHalfToEvenUp", 1'835'008, "1.8 MB"},
    {"MegabyteTrailingZeroDropped", MiB * 3, "3 MB"},
    {"RoundingUpStaysInMegabytes", GiB - 1, "1,024 MB"},
    {"GigabyteTwoDigits", 1'342'177'280, "1.25 GB"},
    {"GigabyteHalfToEvenDown", 1'207'959'552, "1.12 GB"},
    {"GigabyteHalfToEvenUp", 1'476'395'008, "1.38 GB"},
    {"GigabyteJustAboveHalf", 1'207'959'553, "1.13 GB"},
    {"GigabyteOneTrailingZeroDropped", GiB * 3 / 2, "1.5 GB"},
    {"GigabyteFractionLeadingZero", GiB + GiB / 20, "1.05 GB"},
    {"GigabytesAreGrouped", TiB - 1, "1,024 GB"},
    {"OneTerabyte", TiB, "1 TB"},
    {"OnePetabyte", TiB * 1024, "1 PB"},
    // One byte above the half is below a double's precision at this size.
    {"ExabyteJustAboveHalfNeedsExactArithmetic", EiB + EiB / 8 + 1, "1.13 EB"},
    {"ExabyteHalfToEven", EiB + EiB / 8, "1.12 EB"},
    {"LargestCount", std::numeric_limits<std::int64_t>::max(), "8 EB"},
    {"NegativeByte", -1, "-1 byte"},
    {"NegativeKilobytes", -1536, "-2 KB"},
    {"SmallestCountDoesNotOverflow", std::numeric_limits<std::int64_t>::min(), "-8 EB"},
};

class ByteCountTest : public ::testing::TestWithParam<Row> {};

TEST_P(ByteCountTest, Formats) {
    EXPECT_EQ(formatByteCount(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, ByteCountTest, ::testing::ValuesIn(kRows),
                         ombrix::testing::RowName());

} // namespace
