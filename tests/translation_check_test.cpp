// The check of a catalogue, one fault at a time: each kind found, and a
// catalogue without faults passing.
#include "TranslationCheck.h"

#include <gtest/gtest.h>

namespace {

QString catalogue(const QString& messages)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>TMainForm</name>
)" + messages +
           R"(
</context>
</TS>
)";
}

QString message(const QString& source, const QString& translation)
{
    return "<message><source>" + source + "</source>" + translation + "</message>";
}

struct Case {
    const char* what;
    QString messages;
    const char* fault;  // part of the one fault expected; nullptr for none
};

TEST(TranslationCheck, FindsEachFaultOfACatalogue)
{
    const Case cases[] = {
        {"sound: placeholders, mnemonic and && as the source has them",
         message("&amp;File", "<translation>ファイル(&amp;F)</translation>") +
             message("Open %1 of %2", "<translation>%2 の %1 を開く</translation>") +
             message("Save &amp;&amp; close", "<translation>保存して閉じる</translation>"),
         nullptr},
        {"unfinished", message("Check!", "<translation type=\"unfinished\"></translation>"),
         "not translated"},
        {"empty", message("Check!", "<translation></translation>"), "not translated"},
        {"vanished", message("Old", "<translation type=\"vanished\">古い</translation>"),
         "no longer in the sources"},
        {"obsolete", message("Old", "<translation type=\"obsolete\">古い</translation>"),
         "no longer in the sources"},
        {"placeholder lost", message("%1 records", "<translation>レコード</translation>"),
         "placeholders differ"},
        {"placeholder renumbered", message("%1 of %2", "<translation>%1 / %3</translation>"),
         "placeholders differ"},
        {"mnemonic lost", message("&amp;Help", "<translation>ヘルプ</translation>"),
         "has no & mnemonic"},
        {"mnemonic added", message("Help", "<translation>ヘルプ(&amp;H)</translation>"),
         "has a & mnemonic"},
        {"full-width percent", message("100%", "<translation>100％</translation>"),
         "full-width percent"},
    };
    for (const Case& c : cases) {
        const QStringList faults = quillon::translation_faults(catalogue(c.messages));
        if (c.fault == nullptr) {
            EXPECT_TRUE(faults.isEmpty()) << c.what << ": " << faults.join('\n').toStdString();
            continue;
        }
        ASSERT_EQ(faults.size(), 1) << c.what << ": " << faults.join('\n').toStdString();
        EXPECT_TRUE(faults.front().contains(c.fault))
            << c.what << ": " << faults.front().toStdString();
        EXPECT_TRUE(faults.front().startsWith("TMainForm: ")) << faults.front().toStdString();
    }
}

TEST(TranslationCheck, TextThatIsNoCatalogueIsAFault)
{
    EXPECT_EQ(quillon::translation_faults("<html></html>").size(), 1);
    EXPECT_EQ(quillon::translation_faults("<TS><context>").size(), 1);
}

}  // namespace
