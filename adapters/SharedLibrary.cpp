#include "SharedLibrary.h"

#include "Messages.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace quillon {

std::string running_program_path()
{
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "./quillon";
}

std::string SharedLibrary::beside_program(const std::string& file_name)
{
    std::string folder = running_program_path();
    folder.erase(folder.rfind('/') + 1);
    return folder + file_name;
}

bool SharedLibrary::load_driver(const std::string& path, const std::function<bool()>& bind)
{
    if (load(path) && bind()) {
        return true;
    }
    unload();
    show_message({"ERR_LOADCOMDLL", "CHR_ERROR", MessageIcon::Error});
    return false;
}

bool SharedLibrary::load(const std::string& path)
{
    // RTLD_NOW: a library that cannot resolve its own needs fails here, not
    // in the middle of an exchange. The new handle is taken before the old
    // one goes, so that reloading the same library keeps its state.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
