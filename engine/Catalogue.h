// Quillon's catalogue of words in a language, built into the program
// (":/i18n/quillon_ja.qm"): the windows load it, and so does quillon-cli for
// its report, the one output of the command line written for people.
#pragma once

#include <QLocale>
#include <QTranslator>

#include <memory>
#include <string>

namespace quillon {

// The catalogue for the locale's language, installed into the application;
// nothing when Quillon has none for it (its words then stay English). The
// catalogue is removed when the translator returned is destroyed.
std::unique_ptr<QTranslator> install_catalogue(const QLocale& locale);

// The language of a catalogue installed, as a document names it ("ja");
// "en", the words' own, for none.
std::string catalogue_language(const QTranslator* catalogue);

}  // namespace quillon
