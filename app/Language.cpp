#include "Language.h"

#include "Catalogue.h"
#include "Messages.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>
#include <stdexcept>

namespace quillon {

namespace {

// The catalogues installed: Quillon's own, built into the program
// (Catalogue.h), and Qt's, from its translations folder (Debian's
// qt6-translations-l10n).
struct Installed {
    Language language = Language::System;
    std::unique_ptr<QTranslator> own;
    std::unique_ptr<QTranslator> qt;
};

Installed& installed()
{
    static Installed state;
    return state;
}

const char* setting_text(Language language)
{
    switch (language) {
    case Language::English: return "en";
    case Language::Japanese: return "ja";
    case Language::System: break;
    }
    return "";
}

void remove_translators(Installed& state)
{
    for (auto* translator : {state.own.get(), state.qt.get()}) {
        if (translator != nullptr) {
            QCoreApplication::removeTranslator(translator);
        }
    }
    state.own.reset();
    state.qt.reset();
}

}  // namespace

Language language_setting(const std::string& settings_path)
{
    const std::string text = read_language_setting(settings_path);
    return text == "en" ? Language::English : text == "ja" ? Language::Japanese : Language::System;
}

void apply_language(Language language)
{
    Installed& state = installed();
    remove_translators(state);
    state.language = language;
    // English is the source language: no catalogue at all. (Removing and
    // installing a translator is what tells the windows.)
    if (language == Language::English) {
        return;
    }
    const QLocale locale = language == Language::Japanese
                               ? QLocale(QLocale::Japanese, QLocale::Japan)
                               : QLocale::system();
    state.own = install_catalogue(locale);
    if (!state.own) {
        return;  // no catalogue for this language: the windows stay English
    }
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        state.qt = std::move(qt);
    }
}

void choose_language(const std::string& settings_path, Language language)
{
    try {
        write_language_setting(settings_path, setting_text(language));
    } catch (const std::exception& error) {
        show_error(error.what());
    }
    apply_language(language);
}

Language current_language()
{
    return installed().language;
}

std::string words_language()
{
    return catalogue_language(installed().own.get());
}

}  // namespace quillon
