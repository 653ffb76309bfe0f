#include "SharedLibrary.h"

#include "Messages.h"
#include "Wording.h"

#include <dlfcn.h>
#include <unistd.h>
#include <climits>

namespace quillon {

namespace {

// The folder of the program at program_path, with its trailing slash.
std::string folder_of(const std::string& program_path)
{
    return program_path.substr(0, program_path.rfind('/') + 1);
}

}  // namespace

std::string running_program_path()
{
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "./quillon";
}

std::string SharedLibrary::program_library(const std::string& file_name)
{
    return program_library(running_program_path(), file_name);
}

std::string SharedLibrary::program_library(const std::string& program_path,
                                           const std::string& file_name)
{
    const std::string folder = folder_of(program_path);
    std::string beside = folder + file_name;
    std::string installed = folder + "../lib/quillon/" + file_name;
    if (::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) {
        return installed;
    }
    return beside;
}

bool SharedLibrary::runs_installed(const std::string& program_path)
{
    // The serial link library stands for both: they are installed together.
    const std::string library = "libtarnlink.so";
    return program_library(program_path, library) != folder_of(program_path) + library;
}

bool SharedLibrary::load_driver(const std::string& path, const std::function<bool()>& bind)
{
    missing_entry_.clear();
    if (!load(path)) {
        // load() has said why.
    } else if (!bind()) {
        failure_ = path + ": no entry point " + missing_entry_;
    } else {
        return true;
    }
    unload();
    show_message({QUILLON_TEXT("Message", "ERR_LOADCOMDLL"), QUILLON_TEXT("Message", "CHR_ERROR"),
                  MessageIcon::Error});
    return false;
}

bool SharedLibrary::load(const std::string& path)
{
    // RTLD_NOW: a library that cannot resolve its own needs fails here, not
    // in the middle of an exchange. The new handle is taken before the old
    // one goes, so that reloading the same library keeps its state.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* reason = handle == nullptr ? ::dlerror() : nullptr;
    // The loader's reason names the file.
    failure_ = handle != nullptr   ? std::string()
               : reason != nullptr ? std::string(reason)
                                   : path + ": " + QUILLON_TEXT("Message", "cannot be loaded");
    unload();
    handle_ = handle;
    return handle_ != nullptr;
}

void SharedLibrary::unload()
{
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

void* SharedLibrary::symbol(const char* name) const
{
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace quillon
