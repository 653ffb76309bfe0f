// A series of captures read in the order they were captured, held against
// a reference and mapped, on the hand-made captures of tests/golden/series.
#include "Series.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace quillon;

const fs::path kSeries = fs::path(QUILLON_GOLDEN_DIR) / "series";

// The three captures and the broken file, with a copy of the first under a
// name that is no Autolog name, older than all of them by its time.
Series read_with_an_older_copy()
{
    const fs::path copy = fs::path(testsupport::private_root()) / "copied.txt";
    fs::copy_file(kSeries / "Autolog_20261209010000.txt", copy,
                  fs::copy_options::overwrite_existing);
    fs::last_write_time(copy, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 20));
    const std::vector<std::string> names{kSeries.string(), copy.string()};
    return read_series(series_files(names));
}

TEST(Series, CapturesAreOrderedByTheirNamesTimeElseTheFilesAndHeldAgainstAReference)
{
    Series series = read_with_an_older_copy();
    ASSERT_EQ(series.captures.size(), 4U);
    ASSERT_EQ(series.unreadable.size(), 1U);
    EXPECT_EQ(fs::path(series.unreadable[0].file).filename(), "broken.txt");
    std::vector<std::string> order;
    for (const SeriesCapture& capture : series.captures) {
        order.push_back(fs::path(capture.file).filename().string());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"copied.txt", "Autolog_20261209010000.txt",
                                               "Autolog_20261209020000.txt",
                                               "Autolog_20261209020000_2.txt"}));

    // Against its own copy: alike; the shifted capture lines up at its fired
    // record and differs in one record (at T+1: the map below); one stopped
    // early pairs by number.
    compare_with_reference(series, 1);
    EXPECT_TRUE(series.captures[0].against_reference.equal());
    const LogComparison& shifted = series.captures[2].against_reference;
    EXPECT_EQ(shifted.aligned_by, Alignment::FiredRecord);
    EXPECT_EQ(shifted.records_differing, 1);
    EXPECT_EQ(positions_differing(shifted),
              (std::vector<std::pair<std::size_t, int>>{{kDirectionBytes + 3, 1}}));
    EXPECT_EQ(series.captures[3].against_reference.aligned_by, Alignment::RecordNumber);

    // The shifted capture as the reference: the others differ at T+1.
    compare_with_reference(series, 2);
    EXPECT_EQ(series.captures[1].against_reference.records_differing, 1);
    EXPECT_TRUE(series.captures[2].against_reference.equal());
}

TEST(Series, TheMapCountsCapturesThatDifferAndValuesSeenAtEachOffset)
{
    Series series = read_with_an_older_copy();
    const FieldsFile fields =
        parse_fields(R"({"fields": [{"name": "s3", "direction": "send", "byte": 3}]})", "f.json");
    compare_with_reference(series, 1);
    VariationMap map = variation_map(series, fields.fields);
    EXPECT_EQ(map.captures_mapped, 3) << "the capture without a fired record is left out";
    EXPECT_EQ(map.first_offset, -6);
    EXPECT_EQ(map.rows, 9);
    const auto row = std::size_t(1 - map.first_offset);
    const VariationCell send_3 = map.bytes[row][kDirectionBytes + 3];
    EXPECT_EQ(send_3.differing, 1);
    EXPECT_EQ(send_3.distinct, 2);
    EXPECT_EQ(map.fields[row][0].differing, 1);
    EXPECT_EQ(map.fields[row][0].distinct, 2);
    for (int r = 0; r < map.rows; ++r) {
        EXPECT_EQ(map.differs(r), std::size_t(r) == row) << map.offset_of(r);
    }
    // T-6, held by one capture only, varies nowhere.
    EXPECT_FALSE(map.varies(0));

    const auto values = byte_values_at(series, 1, kDirectionBytes + 3);
    ASSERT_EQ(values.size(), 3U);
    EXPECT_EQ(values[2].capture, 2U);
    EXPECT_EQ(values[2].text, "00");
    EXPECT_EQ(values[1].text, "93");
    EXPECT_EQ(field_values_at(series, 1, fields.fields[0])[2].value, 0.0);

    // The ignored bits differ nowhere; the values seen stay as they are.
    const IgnoreRule ignore[] = {{Direction::Send, 3, 0xFF}};
    compare_with_reference(series, 1, ignore);
    map = variation_map(series);
    EXPECT_EQ(map.bytes[row][kDirectionBytes + 3].differing, 0);
    EXPECT_EQ(map.bytes[row][kDirectionBytes + 3].distinct, 2);
}

}  // namespace
