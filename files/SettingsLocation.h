// Where the program keeps its settings file. A program run from its build
// tree keeps it beside itself; an installed one (/usr/bin, its libraries in
// /usr/lib/quillon) always in the user's configuration folder, for root too.
#pragma once

#include <string>

namespace quillon {

// The settings file of the program at program_path. Installed (its libraries
// in ../lib/quillon/): quillon.INI in the user's configuration folder
// ($XDG_CONFIG_HOME/quillon). Otherwise the program's path with its extension
// replaced by ".INI" when that file exists or the program's folder is
// writable by the user, else the one in the configuration folder.
std::string settings_path_of(const std::string& program_path);

void make_settings_folder(const std::string& settings_path);

}  // namespace quillon
