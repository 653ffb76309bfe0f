// The language of the windows: the system's (LANG, LC_ALL, LC_MESSAGES),
// English or Japanese, as the user chose under "Setting" > "Language".
// Files, settings keys and the command line stay English whatever it is.
#pragma once

#include <string>

namespace quillon {

enum class Language { System, English, Japanese };

// The language the settings file names; System when it names none (or one
// this program does not know).
Language language_setting(const std::string& settings_path);

// Installs Quillon's catalogue and Qt's own for language (System: the
// system's, English when Quillon has no catalogue for it); every open
// window then gets a QEvent::LanguageChange and words itself anew.
void apply_language(Language language);

// Remembers language in the settings file, then applies it. A file that
// cannot be written is reported; the language applies all the same.
void choose_language(const std::string& settings_path, Language language);

// The language applied last (System until one is).
Language current_language();

// The language of the words the windows show, as a document names it: "ja"
// with Quillon's Japanese catalogue installed, else "en".
std::string words_language();

}  // namespace quillon
