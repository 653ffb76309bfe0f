#include "TranslationCheck.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace quillon {

namespace {

struct Entry {
    QString context;
    QString source;
    QString translation;
    QString type;  // "", "unfinished", "vanished" or "obsolete"
};

// The %1 .. %99 placeholders (%L1 too), in order of number.
QStringList placeholders(const QString& text)
{
    static const QRegularExpression placeholder(R"(%L?(\d{1,2}))");
    QStringList found;
    for (auto match = placeholder.globalMatch(text); match.hasNext();) {
        found << match.next().captured(1);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Whether the text marks a mnemonic: an & before a character, not "&&".
bool has_mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') {
                return true;
            }
            ++i;
        }
    }
    return false;
}

QStringList entry_faults(const Entry& entry)
{
    QStringList faults;
    if (entry.type == "vanished" || entry.type == "obsolete") {
        faults << "no longer in the sources";
        return faults;
    }
    if (entry.type == "unfinished" || entry.translation.isEmpty()) {
        faults << "not translated";
        return faults;
    }
    if (placeholders(entry.source) != placeholders(entry.translation)) {
        faults << "placeholders differ (" + placeholders(entry.source).join(' ') + " against " +
                      placeholders(entry.translation).join(' ') + ")";
    }
    if (has_mnemonic(entry.source) != has_mnemonic(entry.translation)) {
        faults << (has_mnemonic(entry.source)
                       ? "the translation has no & mnemonic"
                       : "the translation has a & mnemonic the source has not");
    }
    if (entry.translation.contains(QChar(0xFF05))) {
        faults << "a full-width percent sign (U+FF05)";
    }
    return faults;
}

}  // namespace

QStringList translation_faults(const QString& catalogue)
{
    QStringList faults;
    QXmlStreamReader xml(catalogue);
    QString context;
    Entry entry;
    bool seen_root = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == u"TS") {
                seen_root = true;
            } else if (name == u"context") {
                context.clear();
            } else if (name == u"name") {
                context = xml.readElementText();
            } else if (name == u"message") {
                entry = Entry{context, {}, {}, {}};
            } else if (name == u"source") {
                entry.source = xml.readElementText();
            } else if (name == u"translation") {
                entry.type = xml.attributes().value("type").toString();
                entry.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && xml.name() == u"message") {
            for (const QString& fault : entry_faults(entry)) {
                faults << entry.context + ": \"" + entry.source + "\": " + fault;
            }
        }
    }
    if (xml.hasError() || !seen_root) {
        faults << "not a Qt Linguist catalogue: " +
                      (xml.hasError() ? xml.errorString() : QString("no <TS> element"));
    }
    return faults;
}

}  // namespace quillon
