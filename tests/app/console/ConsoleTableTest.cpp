#include "app/console/ConsoleTable.h"

#include "text/Utf8.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace zarn {
namespace {

std::unique_ptr<CCompObj> Record(std::string desc, std::string status, int major) {
    auto record = std::make_unique<CCompObj>();
    record->m_desc = std::move(desc);
    record->m_name = "N";
    record->m_status = std::move(status);
    record->m_majorVer = major;
    record->m_installType = "APP";
    record->m_fileName = "f.bin";
    return record;
}

TEST(ConsoleTable, PlainColumnsAlignWithoutTrailingBlanks) {
    ComponentList records;
    records.push_back(Record("Quillorna Design Control", "NOT_INSTALLED", 3));
    records.push_back(Record("Geo", "NEWER THAN SPECIFIED", 12));
    EXPECT_EQ(ConsoleTable::Plain(records), "Component                 Version   Status\n"
                                            "Quillorna Design Control  3.0.0.0   NOT_INSTALLED\n"
                                            "Geo                       12.0.0.0  NEWER THAN SPECIFIED\n");
    EXPECT_EQ(ConsoleTable::Plain(ComponentList()), "Component  Version  Status\n");
    // Why a record did not become current follows the table, apart from it by an empty line.
    EXPECT_EQ(ConsoleTable::Failures(records), "");
    records.front()->m_failure = "refused, its paths would leave the application directory";
    records.back()->m_failure = "not downloaded: An error occurred \nPlease check";
    EXPECT_EQ(ConsoleTable::Failures(records),
              "\nQuillorna Design Control: refused, its paths would leave the application directory\n"
              "Geo: not downloaded: An error occurred  Please check\n");
}

TEST(ConsoleTable, JsonEscapesAndConvertsWindows1252ToUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
        {"tab\tline\nnul" + std::string(1, '\0') + "\x1f", "\"tab\\u0009line\\u000anul\\u0000\\u001f\""},
        {"\x80 \x99 \x9f", "\"\xE2\x82\xAC \xE2\x84\xA2 \xC5\xB8\""}, // euro sign, trade mark, Y diaeresis
        {"\x81\x8d", "\"\xC2\x81\xC2\x8D\""},                         // undefined in 1252: the C1 controls
        {"caf\xe9 \xa0\xff", "\"caf\xC3\xA9 \xC2\xA0\xC3\xBF\""},
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(ConsoleTable::JsonString(text), json);
    }
    ComponentList records;
    records.push_back(Record("A", "CURRENT", 1));
    records.push_back(Record("B", "OUT_OF_DATE", 2));
    records.back()->m_failure = "\"b.cab\" not downloaded";
    EXPECT_EQ(ConsoleTable::Json(records),
              "{\"components\":[{\"desc\":\"A\",\"name\":\"N\",\"version\":\"1.0.0.0\",\"status\":\"CURRENT\","
              "\"installType\":\"APP\",\"fileName\":\"f.bin\"},{\"desc\":\"B\",\"name\":\"N\",\"version\":\"2.0.0.0\","
              "\"status\":\"OUT_OF_DATE\",\"installType\":\"APP\",\"fileName\":\"f.bin\","
              "\"reason\":\"\\\"b.cab\\\" not downloaded\"}]}\n");
    EXPECT_EQ(ConsoleTable::Json(ComponentList()), "{\"components\":[]}\n");
}

// Every length of encoding, and what cannot be encoded: a surrogate and a value past the last code point.
TEST(Utf8, EncodesEachCodePointInItsLength) {
    const struct {
        std::uint32_t codePoint;
        std::string bytes;
    } cases[] = {
        {0x41, "A"},
        {0xE9, "\xC3\xA9"},
        {0x20AC, "\xE2\x82\xAC"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0xD800, "\xEF\xBF\xBD"},
        {0x110000, "\xEF\xBF\xBD"},
    };
    for (const auto& row : cases) {
        std::string out = "x";
        AppendUtf8(out, row.codePoint);
        EXPECT_EQ(out, "x" + row.bytes) << row.codePoint;
    }
}

} // namespace
} // namespace zarn
