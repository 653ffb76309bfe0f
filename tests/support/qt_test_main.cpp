// The entry of test programs that drive the windows: offscreen Qt, the
// tests' own fonts, private folders, one QApplication for all tests.
#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <QApplication>

#include <cstdlib>

namespace {

class PrivateFolders : public ::testing::Environment {
public:
    void SetUp() override { testsupport::make_private_folders(); }
    void TearDown() override { testsupport::remove_private_folders(); }
};

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Sizes measured in the windows hold whichever faces the machine prefers.
    ::setenv("FONTCONFIG_FILE", QUILLON_TEST_FONTS, 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillon");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateFolders);
    return RUN_ALL_TESTS();
}
