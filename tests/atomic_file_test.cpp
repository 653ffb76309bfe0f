// A file replaced by a writer that opens it by name (as SQLite does): the
// new content whole or the old file untouched, never a part, nothing left
// beside it.
#include "AtomicFile.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string text_of(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(AtomicFile, AFileReplacedByAWriterIsWholeOrAsItWas)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "replaced";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path target = folder / "week.db";
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto only_target_left = [&] {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1;
    };

    // A writer that fails part-way: its exception goes on, the old file
    // stays, and its part is gone.
    EXPECT_THROW(quillon::replace_file_by(target.string(),
                                          [](const std::string& temporary) {
                                              std::ofstream(temporary) << "half";
                                              throw std::invalid_argument("disk full");
                                          }),
                 std::invalid_argument);
    EXPECT_EQ(text_of(target), "old");
    EXPECT_TRUE(only_target_left());

    // One that finishes: the new content under the name, with the old
    // file's permissions.
    quillon::replace_file_by(target.string(), [](const std::string& temporary) {
        EXPECT_EQ(fs::file_size(temporary), 0u);
        std::ofstream(temporary) << "new";
    });
    EXPECT_EQ(text_of(target), "new");
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(only_target_left());

    // A folder in its place is never replaced, and the writer never runs.
    bool ran = false;
    EXPECT_THROW(
        quillon::replace_file_by(folder.string(), [&ran](const std::string&) { ran = true; }),
        std::runtime_error);
    EXPECT_FALSE(ran);
}

}  // namespace
