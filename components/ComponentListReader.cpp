#include "components/ComponentListReader.h"

#include "text/AsciiText.h"

#include <utility>

namespace zarn {

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// True when `line` begins with `key`; `value` is then the rest of the line, byte for byte.
bool StartsWithKey(std::string_view line, std::string_view key, std::string_view& value) {
    if (!line.starts_with(key)) {
        return false;
    }
    value = line.substr(key.size());
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

std::optional<std::string> ParseSha256Text(std::string_view text) {
    if (text.size() != 64) {
        return std::nullopt;
    }
    std::string lower = ToLowerAscii(text);
    if (lower.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return std::nullopt;
    }
    return lower;
}

std::optional<std::uint64_t> ParseDecimalUint64(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
    // Positions of the separators in "YYYY-MM-DDTHH:MM:SSZ"; every other position is a digit.
    constexpr std::string_view kShape = "0000-00-00T00:00:00Z";
    if (text.size() != kShape.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '0' ? !IsDigit(text[i]) : text[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const auto field = [text](size_t at, size_t length) {
        unsigned value = 0;
        for (size_t i = at; i < at + length; ++i) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
        }
        return value;
    };
    const unsigned year = field(0, 4), month = field(5, 2), day = field(8, 2);
    const unsigned hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const unsigned monthDays = kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day < 1 || day > monthDays) {
        return std::nullopt;
    }
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

ComponentListReader::ComponentListReader(ComponentList& list, DirectoryHook onDirectory)
    : m_list(list), m_onDirectory(std::move(onDirectory)) {}

ComponentListReader::~ComponentListReader() = default;

void ComponentListReader::Feed(std::string_view bytes) {
    // CR, LF and CR LF all end a line: CR LF reads as a line and an empty line, and empty lines are skipped,
    // so the three kinds of file give the same records. A line is only copied when it spans two Feed calls,
    // which keeps the whole read linear even for one line of many megabytes.
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            m_pendingLine.append(bytes.substr(start));
            return;
        }
        if (m_pendingLine.empty()) {
            HandleLine(bytes.substr(start, end - start));
        } else {
            m_pendingLine.append(bytes.substr(start, end - start));
            HandleLine(m_pendingLine);
            m_pendingLine.clear();
        }
        start = end + 1;
    }
}

void ComponentListReader::Finish() {
    if (!m_pendingLine.empty()) {
        HandleLine(m_pendingLine);
        m_pendingLine.clear();
    }
    m_current.reset();
}

ListHeader ComponentListReader::ParseText(std::string_view text, ComponentList& list, DirectoryHook onDirectory) {
    ComponentListReader reader(list, std::move(onDirectory));
    reader.Feed(text);
    reader.Finish();
    return reader.Header();
}

std::string ComponentListReader::FileNameFromUrl(std::string_view url) {
    const size_t slash = url.rfind('/');
    if (slash == std::string_view::npos) {
        return "FAIL";
    }
    return std::string(url.substr(slash + 1));
}

void ComponentListReader::HandleLine(std::string_view rawLine) {
    const std::string_view line = TrimWhiteSpace(rawLine);
    if (line.empty()) {
        return;
    }
    if (line.starts_with("[STARTCOMP]")) {
        m_inHeader = false;
        // A block that was never ended is dropped here, when the next one starts.
        m_current = std::make_unique<CCompObj>();
        return;
    }
    if (!m_current) {
        // Outside a block there is no record for key lines or "[ENDCOMP]" to act on; only the lines before the
        // first block carry the list's own values.
        if (m_inHeader) {
            HandleHeaderLine(line);
        }
        return;
    }
    CCompObj& record = *m_current;
    std::string_view value;
    if (StartsWithKey(line, "desc=", value)) {
        record.m_desc = value;
    } else if (StartsWithKey(line, "name=", value)) {
        record.m_name = value;
    } else if (StartsWithKey(line, "classid=", value)) {
        record.m_classId = value;
    } else if (StartsWithKey(line, "major_ver=", value)) {
        record.m_majorVer = ParseLeadingInt32(value);
    } else if (StartsWithKey(line, "minor_ver=", value)) {
        record.m_minorVer = ParseLeadingInt32(value);
    } else if (StartsWithKey(line, "cust_num=", value)) {
        record.m_custNum = ParseLeadingInt32(value);
    } else if (StartsWithKey(line, "build_num=", value)) {
        record.m_buildNum = ParseLeadingInt32(value);
    } else if (StartsWithKey(line, "codebase=", value)) {
        record.m_codebase = value;
        record.m_fileName = FileNameFromUrl(value);
        SetInstallTypeFromFileName();
    } else if (StartsWithKey(line, "regfile=", value)) {
        record.m_regFile = value;
        SetInstallTypeFromRegFile();
    } else if (StartsWithKey(line, "dir=", value)) {
        record.m_dir = value;
        if (m_onDirectory) {
            m_onDirectory(record.m_dir);
        }
    } else if (StartsWithKey(line, "sha256=", value)) {
        const auto sha256 = ParseSha256Text(value);
        record.m_sha256 = sha256.value_or(std::string());
        record.m_integrityMalformed = record.m_integrityMalformed || !sha256;
    } else if (StartsWithKey(line, "size=", value)) {
        record.m_size = ParseDecimalUint64(value);
        record.m_integrityMalformed = record.m_integrityMalformed || !record.m_size;
    } else if (line.starts_with("[ENDCOMP]")) {
        // The record leaves the reader here, so a second "[ENDCOMP]" or later key lines cannot touch it again.
        m_list.push_back(std::move(m_current));
    }
}

void ComponentListReader::HandleHeaderLine(std::string_view line) {
    std::string_view value;
    if (StartsWithKey(line, "serial=", value)) {
        m_header.serial = ParseDecimalUint64(value);
        if (m_header.serial == 0u) {
            m_header.serial.reset();
        }
        m_header.malformed = m_header.malformed || !m_header.serial;
    } else if (StartsWithKey(line, "expires=", value)) {
        m_header.expires = ParseUtcTime(value);
        m_header.malformed = m_header.malformed || !m_header.expires;
    }
}

void ComponentListReader::SetInstallTypeFromFileName() {
    if (EndsWith(m_current->m_fileName, "exe")) {
        m_current->m_installType = "EXE";
    }
}

void ComponentListReader::SetInstallTypeFromRegFile() {
    const std::string& regFile = m_current->m_regFile;
    if (EndsWith(regFile, "ocx")) {
        m_current->m_installType = "REG";
    }
    if (regFile == "lib") {
        m_current->m_installType = "LIB";
    }
    if (regFile == "app") {
        m_current->m_installType = "APP";
    }
}

} // namespace zarn
