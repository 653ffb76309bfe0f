// Fields files read and refused, and fields' values read from a record.
#include "Fields.h"
#include "AtomicFile.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

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
    full.line = 2;
    const std::string entry =
        R"({"name": "position", "direction": "send", "byte": 3, "width": 4, "order": "big",)"
        R"( "signed": true, "mask": "0x00FFFFFF", "scale": 0.01, "unit": "mm",)"
        R"( "names": {"0": "home", "0x10": "limit"},)"
        R"( "when": {"direction": "recv", "byte": 2, "mask": 127, "value": 65}})";
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
        {fields_text({entry(R"("mask": 0)")}), 2, "\"mask\" must be an integer from 1 to 255"},
        {fields_text({entry(R"("mask": "0x10000", "width": 2)")}), 2,
         "\"mask\" must be an integer from 1 to 65535"},
        {fields_text({entry(R"("scale": 0)")}), 2, "\"scale\" must be a number other than 0"},
        {fields_text({entry(R"("scale": "0.1")")}), 2, "\"scale\" must be a number"},
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

}  // namespace
