// What is wrong with a Qt Linguist catalogue (.ts): an entry not yet
// translated or whose text the sources no longer have, a translation whose
// %1-style placeholders or & mnemonic differ from its source's, and a
// full-width percent sign (which Qt does not take for a placeholder).
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

// One line per fault: "CONTEXT: \"SOURCE\": what is wrong". A text that is
// no catalogue gives one fault.
QStringList translation_faults(const QString& catalogue);

}  // namespace quillon
