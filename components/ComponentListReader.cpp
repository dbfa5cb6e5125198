#include "components/ComponentListReader.h"

#include "components/AsciiText.h"

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

} // namespace

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

void ComponentListReader::ParseText(std::string_view text, ComponentList& list, DirectoryHook onDirectory) {
    ComponentListReader reader(list, std::move(onDirectory));
    reader.Feed(text);
    reader.Finish();
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
        // A block that was never ended is dropped here, when the next one starts.
        m_current = std::make_unique<CCompObj>();
        return;
    }
    if (!m_current) {
        // Outside a block there is no record for key lines or "[ENDCOMP]" to act on.
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
    } else if (line.starts_with("[ENDCOMP]")) {
        // The record leaves the reader here, so a second "[ENDCOMP]" or later key lines cannot touch it again.
        m_list.push_back(std::move(m_current));
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
