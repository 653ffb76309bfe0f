// The test programs' entry: private folders made before any test and removed
// after the last.
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class PrivateFolders : public ::testing::Environment {
public:
    void SetUp() override { testsupport::make_private_folders(); }
    void TearDown() override { testsupport::remove_private_folders(); }
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateFolders);
    return RUN_ALL_TESTS();
}
