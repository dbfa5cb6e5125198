#include "app/console/ConsoleTable.h"

#include "res/StringTable.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zarn {

namespace {

// Windows-1252's bytes 0x80 to 0x9F; the five it leaves undefined map to the control characters of the same
// number, as the system's own conversion does. Every other byte is the code point of the same number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendRow(std::string& out, const std::array<std::string, 3>& cells, const std::array<size_t, 3>& widths) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += cells[i];
        if (i + 1 < cells.size()) {
            line.append(widths[i] - cells[i].size() + 2, ' ');
        }
    }
    // The last column is not padded, so no line ends in blanks.
    out += line + "\n";
}

} // namespace

std::string ConsoleTable::Plain(const ComponentList& records) {
    std::vector<std::array<std::string, 3>> rows = {
        {LoadString(IDS_COLUMN_COMPONENT), LoadString(IDS_COLUMN_VERSION), LoadString(IDS_COLUMN_STATUS)}};
    for (const auto& record : records) {
        if (record) {
            rows.push_back({record->m_desc, record->GetVersionString(), record->m_status});
        }
    }
    std::array<size_t, 3> widths{};
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string out;
    for (const auto& row : rows) {
        AppendRow(out, row, widths);
    }
    return out;
}

std::string ConsoleTable::Failures(const ComponentList& records) {
    std::string out;
    for (const auto& record : records) {
        if (record && !record->m_failure.empty()) {
            // One line each: a download's failure text, as its message box shows it, holds line breaks.
            std::string line = record->m_desc + ": " + record->m_failure;
            std::replace_if(
                line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
            out += line + "\n";
        }
    }
    return out.empty() ? out : "\n" + out;
}

std::string ConsoleTable::JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else if (byte >= 0x80 && byte < 0xA0) {
            AppendUtf8(out, kHighControls[byte - 0x80]);
        } else {
            AppendUtf8(out, byte);
        }
    }
    return out + "\"";
}

std::string ConsoleTable::Json(const ComponentList& records) {
    std::string out = "{\"components\":[";
    bool first = true;
    for (const auto& record : records) {
        if (!record) {
            continue;
        }
        out += first ? "{" : ",{";
        first = false;
        out += "\"desc\":" + JsonString(record->m_desc);
        out += ",\"name\":" + JsonString(record->m_name);
        out += ",\"version\":" + JsonString(record->GetVersionString());
        out += ",\"status\":" + JsonString(record->m_status);
        out += ",\"installType\":" + JsonString(record->m_installType);
        out += ",\"fileName\":" + JsonString(record->m_fileName);
        if (!record->m_failure.empty()) {
            out += ",\"reason\":" + JsonString(record->m_failure);
        }
        out += "}";
    }
    return out + "]}\n";
}

} // namespace zarn
