// A shared library loaded at run time and its entry points looked up by name,
// as the adapters load the serial link library and the USB driver library.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace quillon {

// The full path of the running program file.
std::string running_program_path();

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { unload(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The running program's library file_name: beside the program (the
    // build folder), else in ../lib/quillon/ next to the program's folder (an
    // installed program); the first that exists, the one beside the program
    // when neither does. program_path asks the same for another program.
    static std::string program_library(const std::string& file_name);
    static std::string program_library(const std::string& program_path,
                                       const std::string& file_name);
    // Whether the program at program_path runs from an installed tree: its
    // libraries are not beside it but in ../lib/quillon/.
    static bool runs_installed(const std::string& program_path);

    // Releases a library held before, also when path cannot be loaded (false).
    bool load(const std::string& path);
    void unload();
    // Loads path and runs bind to look up its entry points. A library that
    // cannot be loaded or bound is as unusable as a missing one: it is
    // released, "ERR_LOADCOMDLL" is shown, and the result is false.
    bool load_driver(const std::string& path, const std::function<bool()>& bind);
    bool loaded() const { return handle_ != nullptr; }
    // Why the last load_driver failed, for a person: the path tried and the
    // loader's reason, or the entry point the library lacks.
    const std::string& failure() const { return failure_; }

    // The entry point called name as a function pointer; null when the
    // library lacks it or none is loaded.
    template <typename Function>
    Function entry(const char* name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }

    // Looks name up into slot; true when the library has it.
    template <typename Function>
    bool bind(Function& slot, const char* name) const
    {
        slot = entry<Function>(name);
        if (slot == nullptr && missing_entry_.empty()) {
            missing_entry_ = name;
        }
        return slot != nullptr;
    }

private:
    void* symbol(const char* name) const;

    void* handle_ = nullptr;
    std::string failure_;
    mutable std::string missing_entry_;  // the first entry point bind missed
};

// A driver library whose entry points are bound as a whole. Entries is a
// struct of function pointers, value-initialised to null, whose
// bind(const SharedLibrary&) looks each one up by name: all are bound or
// none, so that one loaded() stands for every entry point.
template <typename Entries>
class DriverLibrary {
public:
    explicit DriverLibrary(std::string path) : path_(std::move(path)) {}

    // Loads the library and binds its entry points; a library that cannot
    // be loaded or lacks one is released and "ERR_LOADCOMDLL" is shown.
    bool load()
    {
        entries_ = {};
        if (!library_.load_driver(path_, [this] { return entries_.bind(library_); })) {
            entries_ = {};
            return false;
        }
        return true;
    }
    void unload()
    {
        entries_ = {};
        library_.unload();
    }
    bool loaded() const { return library_.loaded(); }
    const std::string& failure() const { return library_.failure(); }
    const Entries& operator*() const { return entries_; }
    const Entries* operator->() const { return &entries_; }

private:
    std::string path_;
    SharedLibrary library_;
    Entries entries_{};
};

}  // namespace quillon
