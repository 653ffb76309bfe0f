#include "TestEnvironment.h"

#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

namespace {

std::string& root_slot()
{
    static std::string root;
    return root;
}

}  // namespace

void make_private_folders()
{
    char pattern[] = "/tmp/quillon-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    root_slot() = made;
    const std::string config = root_slot() + "/config";
    const std::string runtime = root_slot() + "/runtime";
    std::filesystem::create_directories(config);
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

void remove_private_folders()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_slot(), ignored);
}

std::string bin_dir()
{
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    return std::filesystem::path(std::string(path, static_cast<std::size_t>(length)))
        .parent_path()
        .string();
}

std::string built_library(const std::string& name)
{
    return bin_dir() + "/lib" + name + ".so";
}

std::string built_program(const std::string& name)
{
    return bin_dir() + "/" + name;
}

bool under_wine()
{
    return false;
}

std::string private_root()
{
    return root_slot();
}

}  // namespace testsupport
