// Fields files read and refused, and fields' values read from a record.
#include "Fields.h"
#include "AtomicFile.h"
#include "ChildProcess.h"
#include "LogExport.h"
#include "LogTimeline.h"
#include "RecordColumns.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <filesystem>

namespace {

using namespace quillon;

// A file whose "fields" list opens on line 1 and holds one entry per line
// from line 2 on.
std::string fields_text(const std::vector<std::string>& entries)
{
    std::string text = "{\"fields\": [\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        text += entries[i] + (i + 1 < entries.size() ? ",\n" : "\n");
    }
    return text + "]}\n";
}

// A field named "f" of the entry's other keys.
FieldSpec field_of(const std::string& keys)
{
    return parse_fields(fields_text({"{\"name\": \"f\", " + keys + "}"}), "f.json").fields.at(0);
}

// Received bytes 0-15, then sent bytes 0-15.
const LogRecord kRecord{
    0x10, 0x20, 0x41, 0xFE, 0xFF, 0x34, 0x12, 0x80, 0x00, 0x00, 0x00, 0x80, 0xD2, 0x04, 0x00, 0x00,
    0x06, 0x00, 0x01, 0xD2, 0x04, 0x00, 0x00, 0x2E, 0xFB, 0xFF, 0xFF, 0x12, 0x34, 0x56, 0x78, 0x07,
};

TEST(Fields, ValuesAreReadFromTheRecord)
{
    struct Row {
        const char* keys;
        std::optional<std::int64_t> raw;  // none: the record holds no value
        double value;
        const char* name;  // nullptr: none
        const char* text;
    };
    const Row rows[] = {
        // Widths, byte orders, signs.
        {R"("direction": "recv", "byte": 2)", 0x41, 65, nullptr, "65"},
        {R"("direction": "recv", "byte": 3)", 0xFE, 254, nullptr, "254"},
        {R"("direction": "recv", "byte": 3, "signed": true)", -2, -2, nullptr, "-2"},
        {R"("direction": "recv", "byte": 5, "width": 2)", 0x1234, 4660, nullptr, "4660"},
        {R"("direction": "recv", "byte": 5, "width": 2, "order": "big")", 0x3412, 13330, nullptr,
         "13330"},
        {R"("direction": "recv", "byte": 3, "width": 2, "signed": true)", -2, -2, nullptr, "-2"},
        {R"("direction": "recv", "byte": 3, "width": 2)", 0xFFFE, 65534, nullptr, "65534"},
        {R"("direction": "send", "byte": 11, "width": 4, "order": "big")", 0x12345678, 305419896,
         nullptr, "305419896"},
        {R"("direction": "send", "byte": 11, "width": 4)", 0x78563412, 2018915346, nullptr,
         "2018915346"},
        {R"("direction": "recv", "byte": 7, "width": 4)", 0x80, 128, nullptr, "128"},
        {R"("direction": "recv", "byte": 7, "width": 4, "order": "big", "signed": true)",
         -2147483648LL, -2147483648.0, nullptr, "-2147483648"},
        {R"("direction": "recv", "byte": 7, "width": 4, "order": "big")", 0x80000000LL,
         2147483648.0, nullptr, "2147483648"},
        // Scales and units, exactly printed.
        {R"("direction": "send", "byte": 3, "width": 4, "signed": true, "scale": 0.01, "unit": "mm")",
         1234, 12.34, nullptr, "12.34 mm"},
        {R"("direction": "send", "byte": 7, "width": 4, "signed": true, "scale": 0.01, "unit": "mm")",
         -1234, -12.34, nullptr, "-12.34 mm"},
        {R"("direction": "send", "byte": 3, "width": 2, "scale": 0.001, "unit": "s")", 1234, 1.234,
         nullptr, "1.234 s"},
        {R"("direction": "send", "byte": 15, "scale": 0.1)", 7, 0.7, nullptr, "0.7"},
        {R"("direction": "recv", "byte": 2, "scale": 0.5, "unit": "V")", 65, 32.5, nullptr,
         "32.5 V"},
        {R"("direction": "recv", "byte": 2, "scale": 2)", 65, 130, nullptr, "130"},
        {R"("direction": "recv", "byte": 2, "scale": 0.25)", 65, 16.25, nullptr, "16.25"},
        {R"("direction": "recv", "byte": 8, "scale": -0.5)", 0, 0, nullptr, "0.0"},
        // Masks: kept bits, the highest of them the sign.
        {R"("direction": "send", "byte": 15, "mask": 6)", 6, 6, nullptr, "6"},
        {R"("direction": "send", "byte": 15, "mask": 6, "signed": true)", -2, -2, nullptr, "-2"},
        {R"("direction": "recv", "byte": 5, "width": 2, "mask": "0x0FF0")", 0x230, 560, nullptr,
         "560"},
        {R"("direction": "recv", "byte": 5, "width": 2, "mask": "0x0FFF", "signed": true)", 0x234,
         564, nullptr, "564"},
        {R"("direction": "send", "byte": 7, "width": 2, "mask": "0x0FFF", "signed": true)", -1234,
         -1234, nullptr, "-1234"},
        // Names.
        {R"("direction": "recv", "byte": 2, "names": {"0x41": "read position", "66": "write"})", 65,
         65, "read position", "read position"},
        {R"("direction": "recv", "byte": 2, "names": {"66": "write"}, "unit": "x")", 65, 65,
         nullptr, "65 x"},
        {R"("direction": "recv", "byte": 3, "signed": true, "names": {"-2": "fault"})", -2, -2,
         "fault", "fault"},
        // Conditions on the same record.
        {R"("direction": "recv", "byte": 2, "when": {"direction": "recv", "byte": 2, "value": 65})",
         65, 65, nullptr, "65"},
        {R"("direction": "recv", "byte": 2, "when": {"direction": "recv", "byte": 2, "value": 66})",
         std::nullopt, 0, nullptr, ""},
        {R"("direction": "send", "byte": 15, "when": {"direction": "recv", "byte": 2, "mask": "0xF0", "value": 64})",
         7, 7, nullptr, "7"},
        {R"("direction": "recv", "byte": 2, "when": {"direction": "send", "byte": 0, "mask": 255, "value": 6})",
         65, 65, nullptr, "65"},
        {R"("direction": "recv", "byte": 2, "when": {"direction": "send", "byte": 0, "mask": 1, "value": 1})",
         std::nullopt, 0, nullptr, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.keys);
        const FieldSpec field = field_of(row.keys);
        const std::optional<FieldValue> value = field_value(field, kRecord);
        EXPECT_EQ(field_value_text(field, value), row.text);
        ASSERT_EQ(value.has_value(), row.raw.has_value());
        if (value) {
            EXPECT_EQ(value->raw, *row.raw);
            EXPECT_DOUBLE_EQ(value->value, row.value);
            EXPECT_EQ(value->name, row.name ? std::optional<std::string>(row.name) : std::nullopt);
        }
    }
}

TEST(Fields, ConditionsCompareAFieldsValueInItsUnitOrByName)
{
    const FieldsFile file = parse_fields(
        fields_text({R"({"name": "pos", "direction": "send", "byte": 3, "width": 4, "signed": true,
                        "scale": 0.01, "unit": "mm"})",
                     R"({"name": "cmd", "direction": "recv", "byte": 2,
                        "names": {"0x41": "read position", "66": "1e1", "67": " hold ",
                                  "68": "68"}})",
                     R"({"name": "gated", "direction": "recv", "byte": 2,
                        "when": {"direction": "recv", "byte": 2, "value": 66}})"}),
        "f.json");
    const struct {
        const char* text;
        std::optional<bool> meets;  // none: refused, with the error's start
        const char* error = "";
    } rows[] = {
        // 1234 x 0.01 is 12.34 exactly as typed, not 12.340000000000002.
        {"pos=12.34", true},
        {" pos = 12.34 ", true},
        {"pos!=12.34", false},
        {"pos<12.35", true},
        {"pos<=12.34", true},
        {"pos>12.34", false},
        {"pos>=12.34", true},
        {"pos>-1", true},
        {"cmd=read position", true},
        {"cmd=0x41", true},
        {"cmd!=read position", false},
        // A field without a value in the record meets nothing, != included.
        {"gated>=0", false},
        {"gated!=1", false},
        {"pos", std::nullopt, "--where takes"},
        {"=1", std::nullopt, "--where takes"},
        {"nope=1", std::nullopt, "--where: no field is named \"nope\""},
        {"cmd=write", std::nullopt, "--where: \"write\" is neither"},
        {"pos=", std::nullopt, "--where: \"\" is neither"},
        {"pos=12.3.4", std::nullopt, "--where: \"12.3.4\" is neither"},
        // Blanks are spaces and tabs; nan and inf are no numbers; what is
        // echoed has its control characters escaped.
        {"pos\t>=\t12.34", true},
        {"pos != nan", std::nullopt, "--where: \"nan\" is neither"},
        {"pos<inf", std::nullopt, "--where: \"inf\" is neither"},
        {"pos=\n1", std::nullopt, "--where: \"\\x0a1\" is neither"},
        {"po\x1bs=1", std::nullopt, "--where: no field is named \"po\\x1bs\""},
        // A name that reads as another number, or has blanks at its ends,
        // cannot be chosen; one that reads as its own value can.
        {"cmd=68", false},
        {"cmd=1e1", std::nullopt,
         "--where: \"1e1\" is both the number 10 and the name of the value 66 of the field \"cmd\""},
        {"cmd=hold", std::nullopt,
         "--where: the name \" hold \" of the value 67 of the field \"cmd\" has blanks at its ends"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const TypedFieldCondition typed = field_condition_from_text(row.text, file.fields);
        ASSERT_EQ(typed.condition.has_value(), row.meets.has_value()) << typed.error;
        if (typed.condition) {
            EXPECT_EQ(meets(kRecord, *typed.condition, file.fields), *row.meets);
        } else {
            EXPECT_TRUE(typed.error.starts_with(row.error)) << typed.error;
        }
    }
}

// The command line's text escapes a unit's or a name's control characters,
// so that a line stays one and nothing reaches the terminal as a command;
// JSON keeps them, escaped its own way.
TEST(Fields, TextEscapesTheControlCharactersOfUnitsAndNamesAndJsonKeepsThem)
{
    const FieldsFile file = parse_fields(
        fields_text({R"({"name": "a", "direction": "recv", "byte": 2, "unit": "\u001b[2J\nV"})",
                     R"({"name": "b", "direction": "recv", "byte": 3, "signed": true,
                        "names": {"-2": "x\ty\\z"}})"}),
        "f.json");
    const RecordReading reading(kRecord, file.fields);
    EXPECT_EQ(quillon::fields_text(reading), R"(a=65 \x1b[2J\x0aV; b=x\x09y\\z)");
    EXPECT_EQ(
        fields_json(reading, field_columns(file.fields)).text(),
        R"({"a": {"raw": 65, "value": 65}, "b": {"raw": -2, "value": -2, "name": "x\ty\\z"}})");
}

// A field's column keeps its name where no other column of a record has it.
TEST(Fields, AFieldsColumnIsPrefixedWhereItsNameIsAnotherColumns)
{
    const std::pair<const char*, const char*> rows[] = {
        {"position", "position"},
        {"record", "field.record"},
        {"meets_condition", "field.meets_condition"},
        {"offset", "field.offset"},
        {"written", "field.written"},
        {"recv_0", "field.recv_0"},
        {"send_15", "field.send_15"},
        {"send_16", "send_16"},
        {"command", "field.command"},
        {"recv_length", "field.recv_length"},
        {"send_header_2", "field.send_header_2"},
        {"fields", "fields"},
    };
    std::vector<FieldSpec> fields;
    for (const auto& [name, key] : rows) {
        fields.emplace_back().name = name;
    }
    const std::vector<RecordColumn> columns = field_columns(fields);
    ASSERT_EQ(columns.size(), fields.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].key, rows[i].second);
        EXPECT_EQ(columns[i].label, rows[i].first);
    }
}

TEST(Fields, EveryKeyIsReadAndTheRestTakeTheirDefaults)
{
    FieldSpec full;
    full.name = "position";
    full.direction = Direction::Send;
    full.byte = 3;
    full.width = 4;
    full.order = ByteOrder::Big;
    full.is_signed = true;
    full.mask = 0x00FFFFFF;
    full.scale = 0.01;
    full.unit = "mm";
    full.names = {{0, "home"}, {16, "limit"}};
    full.when = RecordCondition{Direction::Recv, 2, 0x7F, 0x41};
    full.compared = false;
    full.line = 2;
    const std::string entry =
        R"({"name": "position", "direction": "send", "byte": 3, "width": 4, "order": "big",)"
        R"( "signed": true, "mask": "0x00FFFFFF", "scale": 0.01, "unit": "mm",)"
        R"( "names": {"0": "home", "0x10": "limit"},)"
        R"( "when": {"direction": "recv", "byte": 2, "mask": 127, "value": 65},)"
        R"( "compare": false})";
    FieldSpec least;
    least.name = "_state2";
    least.byte = 15;
    least.line = 3;
    const FieldsFile file = parse_fields(
        fields_text({entry, R"({"name": "_state2", "direction": "recv", "byte": "0xF"})"}),
        "x.json");
    EXPECT_EQ(file.path, "x.json");
    ASSERT_EQ(file.fields.size(), 2u);
    EXPECT_EQ(file.fields[0], full);
    EXPECT_EQ(file.fields[1], least);
    EXPECT_TRUE(parse_fields("\xEF\xBB\xBF{\"fields\": []}", "x").fields.empty());
}

// The bits a comparison looks at reach a field through its bytes, each
// byte's bits standing in the value as its order places them.
TEST(Fields, AComparisonReachesAFieldThroughItsBits)
{
    const std::string low_first = R"("direction": "recv", "byte": 4, "width": 2, "mask": 4080)";
    const std::string high_first = low_first + R"(, "order": "big")";
    const struct {
        const char* name;
        std::string keys;
        std::vector<IgnoreRule> ignore;
        std::vector<OnlyRule> only;
        std::uint32_t compared;  // of the mask's 0x0FF0
    } cases[] = {
        {"no rule", low_first, {}, {}, 0x0FF0},
        {"the low byte's high bits ignored", low_first, {{Direction::Recv, 4, 0xF0}}, {}, 0x0F00},
        {"the low byte's low bits ignored", low_first, {{Direction::Recv, 4, 0x0F}}, {}, 0x0FF0},
        {"the high byte's low bits ignored", high_first, {{Direction::Recv, 4, 0x0F}}, {}, 0x00F0},
        {"every bit ignored",
         low_first,
         {{Direction::Recv, 4, 0xFF}, {Direction::Recv, 5, 0x0F}},
         {},
         0},
        {"only one bit", low_first, {}, {{Direction::Recv, 5, 0x01}}, 0x0100},
        {"only the other direction's byte", low_first, {}, {{Direction::Send, 4, 0xFF}}, 0},
        {"not compared", low_first + R"(, "compare": false)", {}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FieldSpec field = field_of(c.keys);
        EXPECT_EQ(field_bits_compared(field, compared_bits(c.ignore, c.only)), c.compared);
    }

    // "compare": false leaves the field's bits out of the byte columns, as
    // ignore rules on them would.
    const std::vector<FieldSpec> fields{field_of(low_first + R"(, "compare": false)"),
                                        field_of(R"("direction": "send", "byte": 0)")};
    EXPECT_EQ(field_bits(fields[0])[4], 0xF0);
    EXPECT_EQ(field_bits(fields[0])[5], 0x0F);
    const ComparisonRules rules = with_fields_left_out({{}, {{Direction::Recv, 4, 0x01}}}, fields);
    LogRecord expected{};
    expected[4] = 0x01;  // the only rule's bit, none of the field's
    EXPECT_EQ(compared_bits(rules.ignore, rules.only), expected);
    const LogRecord left = compared_bits(with_fields_left_out({}, fields).ignore, {});
    EXPECT_EQ(left[4], 0x0F);
    EXPECT_EQ(left[5], 0xF0);
    EXPECT_EQ(left[kDirectionBytes], 0xFF) << "a field compared is no rule";
    const FieldSpec high = field_of(high_first);
    EXPECT_EQ(field_bits(high)[4], 0x0F);
    EXPECT_EQ(field_bits(high)[5], 0xF0);
}

TEST(Fields, EachEntryKnowsTheLineItBeginsOn)
{
    const std::string text =
        "{\n"
        "  \"fields\" :\n"
        "  [ {\"name\": \"a\", \"direction\": \"recv\", \"byte\": 0,\n"
        "      \"unit\": \"{[\\\"]}, {\",\n"
        "      \"names\": {\"1\": \"}]\"}},\n"
        "\n"
        "    {\"name\": \"b\",\n"
        "     \"direction\": \"send\", \"byte\": 1, \"when\": {\"direction\": \"recv\",\n"
        "       \"byte\": 1, \"value\": 2}}\n"
        "    , {\"name\": \"c\", \"direction\": \"send\", \"byte\": 2}]\n"
        "}\n";
    const FieldsFile file = parse_fields(text, "x");
    ASSERT_EQ(file.fields.size(), 3u);
    EXPECT_EQ(file.fields[0].line, 3);
    EXPECT_EQ(file.fields[0].unit, "{[\"]}, {");
    EXPECT_EQ(file.fields[1].line, 7);
    EXPECT_EQ(file.fields[2].line, 10);
    // A key spelt with escapes is the key it reads as.
    const FieldsFile escaped = parse_fields(
        "{\"fi\\u0065lds\":\n[\n{\"name\": \"a\", \"direction\": \"recv\", \"byte\": 0}]}", "x");
    ASSERT_EQ(escaped.fields.size(), 1u);
    EXPECT_EQ(escaped.fields[0].line, 3);
}

TEST(Fields, AFaultyFileIsRefusedWithItsLineAndWhatIsWrong)
{
    const std::string good = R"({"name": "a", "direction": "recv", "byte": 0})";
    const auto entry = [](const std::string& keys) {
        return "{\"name\": \"f\", \"direction\": \"recv\", \"byte\": 0, " + keys + "}";
    };
    struct Row {
        std::string text;
        int line;
        const char* reason;  // a part of it
    };
    const Row rows[] = {
        {"{\"fields\": [\n{\"name\": \"a\",\n \"byte\": }\n]}", 3, "not JSON: "},
        {"", 1, "not JSON: "},
        {"[1, 2]", 0, "not a fields file: no object with a \"fields\" list"},
        {"{\"fields\": {}}", 0, "no object with a \"fields\" list"},
        {"{\"fields\": [], \"extra\": 1}", 0, "unknown key \"extra\": a fields file holds only"},
        {fields_text({good, "5"}), 3, "field 2 is not an object"},
        {fields_text({R"({"direction": "recv", "byte": 0})"}), 2, "\"name\" is missing"},
        {fields_text({R"({"name": 7, "direction": "recv", "byte": 0})"}), 2,
         "\"name\" must be a text"},
        {fields_text({R"({"name": "2x", "direction": "recv", "byte": 0})"}), 2,
         "the name \"2x\" is not letters, digits and _"},
        {fields_text({R"({"name": "a-b", "direction": "recv", "byte": 0})"}), 2,
         "the name \"a-b\" is not"},
        {fields_text({good, good, good}), 3, "the name \"a\" is taken by the field of line 2"},
        {fields_text({good, R"({"name": "f", "byte": 0})"}), 3, "\"direction\" is missing"},
        {fields_text({R"({"name": "f", "direction": "both", "byte": 0})"}), 2,
         "\"direction\" must be \"recv\" or \"send\""},
        {fields_text({R"({"name": "f", "direction": "send"})"}), 2, "\"byte\" is missing"},
        {fields_text({R"({"name": "f", "direction": "send", "byte": 16})"}), 2,
         "\"byte\" must be an integer from 0 to 15"},
        {fields_text({R"({"name": "f", "direction": "send", "byte": 1.5})"}), 2,
         "\"byte\" must be an integer"},
        {fields_text({R"({"name": "f", "direction": "send", "byte": "0x-1"})"}), 2,
         "\"byte\" must be an integer"},
        {fields_text({entry(R"("width": 3)")}), 2, "\"width\" must be 1, 2 or 4"},
        {fields_text({entry(R"("width": 8)")}), 2, "\"width\" must be 1, 2 or 4"},
        {fields_text({entry(R"("width": "two")")}), 2, "\"width\" must be 1, 2 or 4"},
        {fields_text({R"({"name": "f", "direction": "send", "byte": 14, "width": 4})"}), 2,
         "bytes 14 to 17 pass the 16 bytes of a direction"},
        {fields_text({entry(R"("order": "middle")")}), 2,
         "\"order\" must be \"little\" or \"big\""},
        {fields_text({entry(R"("signed": "yes")")}), 2, "\"signed\" must be true or false"},
        {fields_text({entry(R"("compare": 0)")}), 2, "\"compare\" must be true or false"},
        {fields_text({entry(R"("mask": 0)")}), 2, "\"mask\" must be an integer from 1 to 255"},
        {fields_text({entry(R"("mask": "0x10000", "width": 2)")}), 2,
         "\"mask\" must be an integer from 1 to 65535"},
        {fields_text({entry(R"("scale": 0)")}), 2, "\"scale\" must be a number other than 0"},
        {fields_text({entry(R"("scale": "0.1")")}), 2, "\"scale\" must be a number, not text"},
        {fields_text({entry(R"("scale": 1e306)")}), 2,
         "\"scale\" 1e+306 is too large: the raw value 255 times it passes the largest number"},
        {fields_text({entry(R"("width": 4, "signed": true, "scale": -1e299)")}), 2,
         "the raw value -2147483648 times it passes"},
        // A key given twice, which the file would take as its last.
        {fields_text({entry(R"("byte": 4)")}), 2, "the key \"byte\" is given twice in one object"},
        {fields_text({entry("\"names\": {\"65\": \"a\",\n \"6\\u0035\": \"b\"}")}), 3,
         "the key \"65\" is given twice in one object, first on line 2"},
        {fields_text({entry("\"\\ud83d\\ude00\": 1, \"\xF0\x9F\x98\x80\": 2")}), 2,
         "the key \"\xF0\x9F\x98\x80\" is given twice"},
        {"{\"fields\": [],\n\"fields\": []}", 2,
         "the key \"fields\" is given twice in one object, first on line 1"},
        {fields_text({entry(R"("width": 3)"), entry(R"("byte": 1)")}), 2, "\"width\" must be"},
        {fields_text({R"({"name": "a\u001b[2J", "direction": "recv", "byte": 0})"}), 2,
         R"(the name "a\x1b[2J" is not)"},
        {fields_text({entry(R"("unit": 5)")}), 2, "\"unit\" must be a text"},
        {fields_text({good, entry(R"("widht": 2)")}), 3, "unknown key \"widht\""},
        {fields_text({entry(R"("names": ["a"])")}), 2, "\"names\" must be an object"},
        {fields_text({entry(R"("names": {"abc": "a"})")}), 2,
         "the key \"abc\" of \"names\" must be a decimal or 0x integer from 0 to 255"},
        {fields_text({entry(R"("names": {"256": "a"})")}), 2, "the key \"256\" of \"names\""},
        {fields_text({entry(R"("names": {"-1": "a"})")}), 2, "the key \"-1\" of \"names\""},
        {fields_text({entry(R"("signed": true, "names": {"128": "a"})")}), 2,
         "must be a decimal or 0x integer from -128 to 127"},
        {fields_text({entry(R"("mask": 15, "names": {"16": "a"})")}), 2, "from 0 to 15"},
        {fields_text({entry(R"("names": {"16": "a", "0x10": "b"})")}), 2,
         "the keys \"0x10\" and \"16\" of \"names\" are the same value"},
        {fields_text({entry(R"("names": {"1": ""})")}), 2,
         "the name of \"1\" in \"names\" must be a text, not empty"},
        {fields_text({entry(R"("names": {"1": 2})")}), 2, "the name of \"1\" in \"names\""},
        {fields_text({entry(R"("when": 65)")}), 2, "\"when\" must be an object"},
        {fields_text({entry(R"("when": {"direction": "recv", "byte": 2})")}), 2,
         "\"value\" of \"when\" is missing"},
        {fields_text({entry(R"("when": {"direction": "up", "byte": 2, "value": 1})")}), 2,
         "\"direction\" of \"when\" must be \"recv\" or \"send\""},
        {fields_text({entry(R"("when": {"direction": "recv", "byte": 16, "value": 1})")}), 2,
         "\"byte\" of \"when\" must be an integer from 0 to 15"},
        {fields_text({entry(R"("when": {"direction": "recv", "byte": 1, "value": 256})")}), 2,
         "\"value\" of \"when\" must be an integer from 0 to 255"},
        {fields_text(
             {entry(R"("when": {"direction": "recv", "byte": 1, "value": 1, "count": 2})")}),
         2, "unknown key \"count\" in \"when\""},
        {fields_text(
             {entry(R"("when": {"direction": "recv", "byte": 1, "mask": 15, "value": 16})")}),
         2, "the value 0x10 of \"when\" has bits outside its mask 0x0F: no record would meet it"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        try {
            parse_fields(row.text, "fields.json");
            ADD_FAILURE() << "read";
        } catch (const LogReadError& error) {
            EXPECT_EQ(error.line(), row.line) << error.what();
            EXPECT_NE(error.reason().find(row.reason), std::string::npos) << error.what();
            const std::string where =
                row.line > 0 ? "fields.json:" + std::to_string(row.line) : "fields.json";
            EXPECT_EQ(error.what(), where + ": " + error.reason());
        }
    }
}

TEST(Fields, OnlyARegularFileOfAtMostOneMebibyteIsOpened)
{
    const std::string root = testsupport::private_root();
    const std::string good = root + "/fields.json";
    write_file_atomically(good, fields_text({R"({"name": "a", "direction": "send", "byte": 3})"}));
    const FieldsFile file = read_fields_file(good);
    EXPECT_EQ(file.path, good);
    ASSERT_EQ(file.fields.size(), 1u);
    EXPECT_EQ(file.fields[0].name, "a");
    const std::string large = root + "/large.json";
    write_file_atomically(large, fields_text({}) + std::string(1 << 20, ' '));
    const std::pair<std::string, const char*> refused[] = {
        {root, "not a regular file"},
        {large, "larger than 1 MiB"},
        {root + "/missing.json", "No such file"},
    };
    for (const auto& [path, reason] : refused) {
        try {
            read_fields_file(path);
            ADD_FAILURE() << path;
        } catch (const LogReadError& error) {
            EXPECT_EQ(error.line(), 0);
            EXPECT_NE(error.reason().find(reason), std::string::npos) << error.what();
        }
    }
}

// ampsim's cyclic host, caught at an alarm by quillon-cli over USB, read
// back through the fields that docs/ampsim-fields.json describes.
TEST(Fields, TheCyclicHostsLogReadsBackThroughItsFieldsFile)
{
    using namespace std::chrono_literals;
    namespace fs = std::filesystem;
    const auto cli = [](const std::vector<std::string>& args) {
        testsupport::ChildProcess run(testsupport::bin_dir() + "/quillon-cli", args);
        std::string last_line;
        while (const auto line = run.read_line(20s)) {
            last_line = *line;
        }
        return std::pair(run.wait_for_exit(5s), last_line);
    };
    constexpr int kAlarmEvery = 24;
    testsupport::ChildProcess ampsim(
        testsupport::bin_dir() + "/ampsim",
        {"--port", "2", "--traffic", "0", "--host", "cyclic", "--alarm-every",
         std::to_string(kAlarmEvery), "--seed", "11"});
    ASSERT_TRUE(ampsim.wait_for_line("serving USB", 5s));
    // Stopped 255 records after the first alarm: the alarm is record 0.
    ASSERT_EQ(cli({"--usb", "start", "--stop-on", "send", "1", "0x80", "0x80", "255"}).first, 0);
    ampsim.write_line("advance 1000");
    ASSERT_TRUE(ampsim.wait_for_line("ran", 5s));
    const fs::path out = fs::path(testsupport::private_root()) / "cyclic";
    fs::create_directories(out);
    const auto [status, saved] = cli({"--usb", "wait", "--timeout", "0", "--out", out.string()});
    ampsim.signal(SIGTERM);
    ampsim.wait_for_exit(5s);
    ASSERT_EQ(status, 0) << saved;

    const LogFile log = read_log_file(saved);
    const LogTimeline timeline = log_timeline(log);
    ASSERT_EQ(timeline.written, kLogRecords);
    ASSERT_EQ(timeline.fired, 0);
    const FieldsFile fields = read_fields_file(
        (fs::path(QUILLON_GOLDEN_DIR).parent_path().parent_path() / "docs" / "ampsim-fields.json")
            .string());
    const auto value = [&](const std::string& name, int record) {
        const auto field = std::find_if(fields.fields.begin(), fields.fields.end(),
                                        [&](const FieldSpec& f) { return f.name == name; });
        EXPECT_NE(field, fields.fields.end()) << name;
        return field == fields.fields.end() ? std::nullopt
                                            : field_value(*field, log.records[std::size_t(record)]);
    };
    const auto name_of = [&](const std::string& field, int record) {
        const auto found = value(field, record);
        return found && found->name ? *found->name : std::string("(none)");
    };

    const std::array<std::string, 6> cycle{"status read",    "position read", "speed read",
                                           "setpoint write", "alarm read",    "I/O read"};
    const std::array<std::string, 5> alarm_names{
        "overcurrent", "overvoltage", "excess position deviation", "encoder error", "overload"};
    constexpr std::size_t kAlarmRead = 4;  // in the cycle
    int alarms = 0;
    std::vector<double> positions;
    for (int i = 0; i < kLogRecords; ++i) {
        const std::string& command = cycle[(kAlarmRead + std::size_t(i)) % cycle.size()];
        ASSERT_EQ(name_of("command", i), command) << "record " << i;
        if (i > 0) {
            // One counter a cycle, from the status read on.
            const std::int64_t step = command == "status read" ? 1 : 0;
            ASSERT_EQ(value("sequence", i).value().raw,
                      (value("sequence", i - 1).value().raw + step) % 256)
                << "record " << i;
        }
        if (command == "position read") {
            positions.push_back(value("position", i).value().value);
        }
        if (command == "alarm read") {
            const bool alarm = value("alarm", i).value().raw != 0;
            alarms += alarm ? 1 : 0;
            EXPECT_EQ(name_of("alarm_flag", i), alarm ? "alarm" : "clear") << "record " << i;
            if (alarm) {
                EXPECT_NE(std::find(alarm_names.begin(), alarm_names.end(), name_of("alarm", i)),
                          alarm_names.end())
                    << "record " << i;
            }
        }
    }

    // Between 0 and 50.00 mm, a cycle's step at most twice a ramp's mean
    // (16 cycles for 50 mm), and both ways within 42 cycles (a period is 40).
    constexpr double kLongestStep = 2 * 50.0 / 16;
    bool out_seen = false;
    bool back_seen = false;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        EXPECT_GE(positions[k], 0.0) << k;
        EXPECT_LE(positions[k], 50.0) << k;
        if (k > 0) {
            const double step = positions[k] - positions[k - 1];
            EXPECT_LE(std::abs(step), kLongestStep) << k;
            out_seen = out_seen || step > 0;
            back_seen = back_seen || step < 0;
        }
    }
    EXPECT_TRUE(out_seen && back_seen);

    // An alarm every N exchanges, N jittered by a quarter either way, and
    // the next alarm read (up to a cycle of 6) answers it.
    EXPECT_GE(alarms, int(std::floor(kLogRecords / (1.25 * kAlarmEvery + 6))));
    EXPECT_LE(alarms, int(std::ceil(kLogRecords / (0.75 * kAlarmEvery))) + 1);
}

}  // namespace
