#include "Catalogue.h"

#include <QCoreApplication>

namespace quillon {

namespace {

// Built into the program by translations/ (quillon and quillon-cli alike).
constexpr const char* kOwnCatalogues = ":/i18n";

}  // namespace

std::unique_ptr<QTranslator> install_catalogue(const QLocale& locale)
{
    auto own = std::make_unique<QTranslator>();
    if (!own->load(locale, "quillon", "_", kOwnCatalogues)) {
        return nullptr;
    }
    QCoreApplication::installTranslator(own.get());
    return own;
}

std::string catalogue_language(const QTranslator* catalogue)
{
    return catalogue != nullptr ? QLocale(catalogue->language()).bcp47Name().toStdString() : "en";
}

}  // namespace quillon
