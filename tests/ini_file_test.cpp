// The profile (INI) file reader and writer behind the settings file.
#include "IniFile.h"
#include "Settings.h"
#include "SettingsLocation.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using quillon::IniFile;

class IniFileTest : public ::testing::Test {
protected:
    IniFileTest() : path(testsupport::private_root() + "/ini-file-test.INI")
    {
        std::filesystem::remove(path);
    }
    ~IniFileTest() override { std::filesystem::remove(path); }

    void write(const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }

    std::string text() const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string path;
};

TEST_F(IniFileTest, ReadsLfAndCrLfFilesAlike)
{
    for (const char* text :
         {"[Form]\nComPort=COM3\nBaudRate=19200\n", "[Form]\r\nComPort=COM3\r\nBaudRate=19200\r\n",
          "[Form]\r\nComPort=COM3\nBaudRate=19200"}) {
        SCOPED_TRACE(text);
        write(text);
        const IniFile file(path);
        EXPECT_EQ(file.read_string("Form", "ComPort", "-"), "COM3");
        EXPECT_EQ(file.read_integer("Form", "BaudRate", 0), 19200);
    }
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase)
{
    write("[FORM]\nbaudrate=19200\nComPORT=COM2\n[Other]\nUSB MODE=0\n");
    const IniFile file(path);
    EXPECT_EQ(file.read_integer("Form", "BaudRate", 0), 19200);
    EXPECT_EQ(file.read_string("form", "comport", "-"), "COM2");
    // A key of another section is not this section's.
    EXPECT_EQ(file.read_integer("Form", "USB MODE", 1), 1);
    EXPECT_EQ(file.read_integer("other", "usb mode", 1), 0);
    EXPECT_EQ(file.read_string("Missing", "ComPort", "fallback"), "fallback");
}

TEST_F(IniFileTest, ValuesReadWithoutSurroundingBlanksAndQuotes)
{
    write("[Form]\n  ComPort = \"COM3\"  \nName=\"a b\"\nHalf=\"open\nEquals=a=b\nEmpty=\n");
    const IniFile file(path);
    EXPECT_EQ(file.read_string("Form", "ComPort", "-"), "COM3");
    EXPECT_EQ(file.read_string("Form", "Name", "-"), "a b");
    EXPECT_EQ(file.read_string("Form", "Half", "-"), "\"open");
    EXPECT_EQ(file.read_string("Form", "Equals", "-"), "a=b");
    EXPECT_EQ(file.read_string("Form", "Empty", "-"), "");
}

TEST_F(IniFileTest, CommentLinesAreNoKeys)
{
    write("[Form]\n; BaudRate=19200\n;ComPort=COM9\n");
    const IniFile file(path);
    EXPECT_EQ(file.read_integer("Form", "BaudRate", 9600), 9600);
    EXPECT_EQ(file.read_string("Form", "ComPort", "COM1"), "COM1");
}

TEST_F(IniFileTest, IntegersAreReadByTheProgramsConversionWithTheFallbackForAnythingElse)
{
    write(
        "[Form]\nHex=0x2580\nUpperHex=0X4b00\nDollar=$FF\nNegative=-1\nSpaced= 42\n"
        "Trailing=12ab\nPrefixOnly=0x\nWords=nine\nEmpty=\nHuge=99999999999\n");
    const IniFile file(path);
    EXPECT_EQ(file.read_integer("Form", "Hex", 0), 9600);
    EXPECT_EQ(file.read_integer("Form", "UpperHex", 0), 19200);
    EXPECT_EQ(file.read_integer("Form", "Dollar", 0), 255);
    EXPECT_EQ(file.read_integer("Form", "Negative", 0), -1);
    EXPECT_EQ(file.read_integer("Form", "Spaced", 0), 42);
    EXPECT_EQ(file.read_integer("Form", "Trailing", 7), 7);
    EXPECT_EQ(file.read_integer("Form", "PrefixOnly", 7), 7);
    EXPECT_EQ(file.read_integer("Form", "Words", 7), 7);
    EXPECT_EQ(file.read_integer("Form", "Empty", 7), 7);
    EXPECT_EQ(file.read_integer("Form", "Huge", 7), 7);
    EXPECT_EQ(file.read_integer("Form", "Missing", 7), 7);
}

TEST_F(IniFileTest, AMissingFileReadsAsEmptyAndIsCreatedWithCrLf)
{
    IniFile file(path);
    EXPECT_EQ(file.read_integer("Form", "BaudRate", 9600), 9600);
    file.write_integer("Form", "BaudRate", 9600);
    file.write_string("Form", "ComPort", "COM1");
    file.write_integer("Form", "TYPE SELECT", -1);
    file.save();
    EXPECT_EQ(text(), "[Form]\r\nBaudRate=9600\r\nComPort=COM1\r\nTYPE SELECT=-1\r\n");
    const IniFile again(path);
    EXPECT_EQ(again.read_integer("Form", "TYPE SELECT", 0), -1);
}

TEST_F(IniFileTest, SettingsReadWithTheirDefaultsAndTheLogModeClamped)
{
    using quillon::Settings;
    const struct {
        const char* file;
        Settings expected;
    } cases[] = {
        {"", Settings{}},
        {"[Form]\nComPort=COM7\nBaudRate=115200\nUSB MODE=0\nAUTO SAVE=1\nTYPE SELECT=1\n",
         {"COM7", 115200, 0, 1, 1}},
        {"[form]\nusb mode=5\nTYPE SELECT=9\n", {"COM1", 9600, 5, 0, 1}},
        {"[Form]\nTYPE SELECT=-7\nBaudRate=fast\n", {"COM1", 9600, 1, 0, -1}},
    };
    for (const auto& c : cases) {
        write(c.file);
        const Settings read = quillon::read_settings(path);
        EXPECT_EQ(read.com_port, c.expected.com_port) << c.file;
        EXPECT_EQ(read.baud_rate, c.expected.baud_rate) << c.file;
        EXPECT_EQ(read.usb_mode, c.expected.usb_mode) << c.file;
        EXPECT_EQ(read.log_save_condition, c.expected.log_save_condition) << c.file;
        EXPECT_EQ(read.log_mode, c.expected.log_mode) << c.file;
    }
    std::filesystem::remove(path);
    quillon::write_settings(path, {"COM3", 19200, 0, 1, -1});
    EXPECT_EQ(text(),
              "[Form]\r\nBaudRate=19200\r\nComPort=COM3\r\nUSB MODE=0\r\nAUTO SAVE=1\r\n"
              "TYPE SELECT=-1\r\n");
}

TEST_F(IniFileTest, AKeepConditionReadsBackAsTypedWhateverItHolds)
{
    using quillon::KeepIfWindow;
    write("[Series]\nFolder=night\n");
    const std::string conditions[] = {
        "alarm = \"overload\"",
        "\"a\" = 1 and `x; y` != 0\t\\",
        "position@T-3 > 2 ; x=1",
        "位置 = 1",
        "",
    };
    for (const std::string& condition : conditions) {
        SCOPED_TRACE(condition);
        quillon::write_keep_if_setting(path, KeepIfWindow::Main, condition);
        quillon::write_keep_if_setting(path, KeepIfWindow::Series, condition + " or x = 2");
        EXPECT_EQ(quillon::read_keep_if_setting(path, KeepIfWindow::Main), condition);
        EXPECT_EQ(quillon::read_keep_if_setting(path, KeepIfWindow::Series),
                  condition + " or x = 2");
        EXPECT_EQ(quillon::read_series_settings(path).folder, "night");
    }
    write("[Series]\nKeepIf=\"\\q\n");
    EXPECT_EQ(quillon::read_keep_if_setting(path, KeepIfWindow::Main), "");
}

TEST_F(IniFileTest, WritingAKeyKeepsEveryOtherLineAndReplacesTheKeyInPlace)
{
    write("; settings\n[Other]\nBaudRate=1\n\n[form]\n; a note\nbaudrate=0x2580\nExtra = kept\n");
    IniFile file(path);
    file.write_integer("Form", "BaudRate", 19200);
    file.save();
    const std::string written = text();
    EXPECT_TRUE(written ==
                    "; settings\r\n[Other]\r\nBaudRate=1\r\n\r\n[form]\r\n; a note\r\n"
                    "BaudRate=19200\r\nExtra = kept\r\n" ||
                written ==
                    "; settings\r\n[Other]\r\nBaudRate=1\r\n\r\n[form]\r\n; a note\r\n"
                    "baudrate=19200\r\nExtra = kept\r\n")
        << written;
    EXPECT_EQ(IniFile(path).read_integer("Other", "BaudRate", 0), 1);
}

TEST_F(IniFileTest, ANewKeyFollowsTheSectionsLastNonBlankLine)
{
    write("[Form]\nBaudRate=9600\n\n\n[Other]\nX=1\n");
    IniFile file(path);
    file.write_string("Form", "ComPort", "COM2");
    file.save();
    EXPECT_EQ(text(), "[Form]\r\nBaudRate=9600\r\nComPort=COM2\r\n\r\n\r\n[Other]\r\nX=1\r\n");

    // In the last section as well, trailing blank lines after it.
    write("[Other]\nX=1\n[Form]\nBaudRate=9600\n\n");
    IniFile last(path);
    last.write_string("Form", "ComPort", "COM2");
    last.save();
    EXPECT_EQ(text(), "[Other]\r\nX=1\r\n[Form]\r\nBaudRate=9600\r\nComPort=COM2\r\n\r\n");

    // An empty section takes the key right under its header.
    write("[Form]\n\n[Other]\nX=1\n");
    IniFile empty(path);
    empty.write_string("Form", "ComPort", "COM2");
    empty.save();
    EXPECT_EQ(text(), "[Form]\r\nComPort=COM2\r\n\r\n[Other]\r\nX=1\r\n");
}

TEST_F(IniFileTest, AMissingSectionIsAppendedBehindEverythingElse)
{
    write("; settings\n[Other]\nX=1\n");
    IniFile file(path);
    file.write_string("Form", "ComPort", "COM2");
    file.write_integer("Form", "BaudRate", 4800);
    file.save();
    const std::string written = text();
    const std::string kept = "; settings\r\n[Other]\r\nX=1\r\n";
    ASSERT_EQ(written.substr(0, kept.size()), kept) << written;
    // A blank line between the sections is allowed, nothing else.
    std::string added = written.substr(kept.size());
    if (added.starts_with("\r\n")) {
        added.erase(0, 2);
    }
    EXPECT_EQ(added, "[Form]\r\nComPort=COM2\r\nBaudRate=4800\r\n");
    const IniFile again(path);
    EXPECT_EQ(again.read_integer("Other", "X", 0), 1);
    EXPECT_EQ(again.read_string("Form", "ComPort", "-"), "COM2");
}

TEST_F(IniFileTest, SavingWhereNoFileCanBeMadeThrowsNamingTheFile)
{
    const std::string regular_file = testsupport::private_root() + "/ini-plain-file";
    std::ofstream(regular_file) << "x";
    for (const std::string& target :
         {testsupport::private_root() + "/no-folder/x.INI", regular_file + "/x.INI"}) {
        SCOPED_TRACE(target);
        IniFile file(target);
        file.write_integer("Form", "BaudRate", 9600);
        try {
            file.save();
            ADD_FAILURE() << "save() did not throw";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(target), std::string::npos) << error.what();
        }
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    EXPECT_EQ(std::filesystem::file_size(regular_file), 1u);
}

// Where the settings file lives: beside a program whose folder the user may
// write, or whose settings file is there already; else in the user's
// configuration folder.
class SettingsLocationTest : public ::testing::Test {
protected:
    SettingsLocationTest() : root(testsupport::private_root() + "/settings-location")
    {
        std::filesystem::create_directories(root + "/bin");
    }
    ~SettingsLocationTest() override
    {
        std::filesystem::permissions(root + "/bin", std::filesystem::perms::owner_all);
        std::filesystem::remove_all(root);
    }

    static std::string in_config_folder()
    {
        return std::string(std::getenv("XDG_CONFIG_HOME")) + "/quillon/quillon.INI";
    }

    std::string root;
};

TEST_F(SettingsLocationTest, BesideAProgramInAWritableFolderElseInTheConfigurationFolder)
{
    EXPECT_EQ(quillon::settings_path_of(root + "/bin/quillon"), root + "/bin/quillon.INI");
    EXPECT_EQ(quillon::settings_path_of(root + "/bin/quillon.bin"), root + "/bin/quillon.INI");
    // A folder that is not there cannot be written either.
    EXPECT_EQ(quillon::settings_path_of(root + "/missing/quillon"), in_config_folder());
}

TEST_F(SettingsLocationTest, BesideTheProgramInABuildTreeNeverBesideAnInstalledOne)
{
    // Each program folder writable (as /usr/bin is by root) and holding a
    // settings file: only the build tree's is taken.
    struct Tree {
        std::string name;
        std::string library;  // relative to the tree
        bool installed;
    };
    const std::vector<Tree> trees = {
        {"build", "bin/libtarnlink.so", false},
        {"installed", "lib/quillon/libtarnlink.so", true},
    };
    for (const auto& tree : trees) {
        SCOPED_TRACE(tree.name);
        const std::string top = root + "/" + tree.name + "/";
        std::filesystem::create_directories(top + "bin");
        std::filesystem::create_directories(
            std::filesystem::path(top + tree.library).parent_path());
        std::ofstream(top + tree.library).flush();
        std::ofstream(top + "bin/quillon.INI") << "[Form]\n";
        EXPECT_EQ(quillon::settings_path_of(top + "bin/quillon"),
                  tree.installed ? in_config_folder() : top + "bin/quillon.INI");
    }
}

TEST_F(SettingsLocationTest, AReadOnlyProgramFolderKeepsTheFileThatIsThere)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write any folder; the installed-tree test runs this as nobody";
    }
    ::chmod((root + "/bin").c_str(), 0555);
    EXPECT_EQ(quillon::settings_path_of(root + "/bin/quillon"), in_config_folder());
    ::chmod((root + "/bin").c_str(), 0755);
    std::ofstream(root + "/bin/quillon.INI") << "[Form]\n";
    ::chmod((root + "/bin").c_str(), 0555);
    EXPECT_EQ(quillon::settings_path_of(root + "/bin/quillon"), root + "/bin/quillon.INI");
}

}  // namespace
