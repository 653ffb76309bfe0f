// Where the program keeps its settings file. A program in a folder of its own
// (the build folder) keeps it beside itself; an installed one, which may not
// write its own folder (/usr/bin), keeps it in the user's configuration folder.
#pragma once

#include <string>

namespace quillon {

// The settings file of the program at program_path: the program's path with
// its extension replaced by ".INI" when that file exists or the program's
// folder is writable by the user; otherwise quillon.INI in the user's
// configuration folder ($XDG_CONFIG_HOME/quillon).
std::string settings_path_of(const std::string& program_path);

// Before a save: makes the user's configuration folder (private to the user)
// when settings_path lies in it and it is missing. Any other folder is left
// as it is, so that a save into a missing folder fails as before.
void make_settings_folder(const std::string& settings_path);

}  // namespace quillon
