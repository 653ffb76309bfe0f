#include "SettingsLocation.h"

#include "PortPath.h"
#include "SharedLibrary.h"

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

namespace quillon {

namespace {

// mkdir -p, each folder it makes readable by the user alone.
void make_private_folders(const std::filesystem::path& folder)
{
    std::error_code error;
    if (folder.empty() || std::filesystem::exists(folder, error)) {
        return;
    }
    make_private_folders(folder.parent_path());
    ::mkdir(folder.c_str(), 0700);
}

}  // namespace

std::string settings_path_of(const std::string& program_path)
{
    std::string in_config_folder = tarnlink::user_config_folder() + "/quillon.INI";
    // Never beside an installed program: root may write /usr/bin, and a file
    // there would become every user's settings.
    if (SharedLibrary::runs_installed(program_path)) {
        return in_config_folder;
    }
    const std::filesystem::path beside =
        std::filesystem::path(program_path).replace_extension(".INI");
    std::error_code error;
    if (std::filesystem::exists(beside, error) ||
        ::access(beside.parent_path().c_str(), W_OK) == 0) {
        return beside.string();
    }
    return in_config_folder;
}

void make_settings_folder(const std::string& settings_path)
{
    const std::filesystem::path folder = std::filesystem::path(settings_path).parent_path();
    if (folder == std::filesystem::path(tarnlink::user_config_folder())) {
        // When it cannot be made, the save that follows fails naming the file.
        make_private_folders(folder);
    }
}

}  // namespace quillon
