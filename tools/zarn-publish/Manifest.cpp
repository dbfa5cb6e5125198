#include "tools/zarn-publish/Manifest.h"

#include "components/ComponentListReader.h"
#include "text/AsciiText.h"

#include <fstream>
#include <set>
#include <string_view>

namespace zarn {

namespace {

namespace fs = std::filesystem;

// "a.b.c.d", each part a decimal number within the list's signed 32 bits.
bool ParseVersion(std::string_view text, std::array<std::int32_t, 4>& version) {
    for (size_t part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos) {
            return false;
        }
        const std::optional<std::uint64_t> number = ParseDecimalUint64(text.substr(0, dot));
        if (!number || *number > 0x7fffffffu) {
            return false;
        }
        version[part] = static_cast<std::int32_t>(*number);
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return true;
}

// A folder the launcher accepts: relative, without "..", ".", empty segments or a drive letter.
bool IsPlainRelative(std::string_view dir) {
    if (dir.empty() || dir.find(':') != std::string_view::npos) {
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = dir.find_first_of("/\\", start);
        const std::string_view segment = dir.substr(start, end == std::string_view::npos ? dir.npos : end - start);
        if (segment.empty() || segment == "." || segment == "..") {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// What is wrong with a completed section; empty when nothing is.
std::string CheckComponent(const ManifestComponent& c) {
    if (c.desc.empty()) {
        return "the section has no desc=";
    }
    if (c.kind.empty()) {
        return "the section has no kind=";
    }
    if (!IsPlainRelative(c.dir)) {
        return "dir= must name a folder below the application directory (relative, no \"..\")";
    }
    if (c.source.empty()) {
        return "the section has no source=";
    }
    if (c.publishAs.empty() || c.publishAs.find_first_of("/\\") != std::string::npos) {
        return "publish_as= must be a plain file name";
    }
    // The launcher derives the install kind from these ends of names, so the list must carry them.
    if (c.kind == "EXE" && !EndsWith(c.publishAs, "exe")) {
        return "an EXE component's published name must end in \"exe\"";
    }
    if (c.kind == "REG" && !EndsWith(c.regFile, "ocx")) {
        return "a REG component's regfile= must end in \"ocx\"";
    }
    if (c.kind != "REG" && !c.regFile.empty()) {
        return "regfile= belongs to REG components only";
    }
    return {};
}

} // namespace

bool Manifest::Read(const fs::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path.string() + ": cannot be read";
        return false;
    }
    const fs::path base = path.parent_path();
    ManifestComponent* current = nullptr;
    std::set<std::string> seen; // the keys of the current section (or of the top)
    int lineNumber = 0;
    const auto fail = [&](int at, const std::string& what) {
        error = path.string() + ":" + std::to_string(at) + ": " + what;
        return false;
    };
    // Fills in what a section leaves to its defaults and checks it.
    const auto finish = [&]() {
        if (current == nullptr) {
            return true;
        }
        if (current->publishAs.empty() && !current->source.empty()) {
            current->publishAs = current->IsCabinet() ? current->dir + ".cab" : current->source.filename().string();
        }
        if (current->kind == "REG" && current->regFile.empty()) {
            current->regFile = current->source.filename().string();
        }
        const std::string problem = CheckComponent(*current);
        return problem.empty() || fail(current->line, problem);
    };
    for (std::string raw; std::getline(in, raw);) {
        ++lineNumber;
        const std::string line(TrimWhiteSpace(raw));
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line == "[component]") {
            if (!finish()) {
                return false;
            }
            current = &components.emplace_back();
            current->line = lineNumber;
            seen.clear();
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return fail(lineNumber, "expected key=value or [component]");
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (!seen.insert(key).second) {
            return fail(lineNumber, key + "= is given twice");
        }
        if (value.find_first_of("\r\n") != std::string::npos) {
            return fail(lineNumber, key + "= holds a line break");
        }
        if (current == nullptr) {
            if (key == "server") {
                server = value;
            } else if (key == "valid_days") {
                const std::optional<std::uint64_t> days = ParseDecimalUint64(value);
                if (!days || *days == 0 || *days > 3650) {
                    return fail(lineNumber, "valid_days= must be a number of days from 1 to 3650");
                }
                validDays = static_cast<int>(*days);
            } else {
                return fail(lineNumber, "unknown key " + key + "= before the first [component]");
            }
            continue;
        }
        ManifestComponent& c = *current;
        if (key == "desc") {
            c.desc = value;
        } else if (key == "name") {
            c.name = value;
        } else if (key == "classid") {
            c.classId = value;
        } else if (key == "version") {
            if (!ParseVersion(value, c.version)) {
                return fail(lineNumber, "version= must be four numbers a.b.c.d");
            }
        } else if (key == "kind") {
            if (value != "REG" && value != "LIB" && value != "APP" && value != "EXE") {
                return fail(lineNumber, "kind= must be REG, LIB, APP or EXE");
            }
            c.kind = value;
        } else if (key == "dir") {
            c.dir = value;
        } else if (key == "source") {
            c.source = value.empty() ? fs::path() : base / value;
        } else if (key == "regfile") {
            c.regFile = value;
        } else if (key == "publish_as") {
            c.publishAs = value;
        } else if (key == "compress") {
            if (value != "yes" && value != "no") {
                return fail(lineNumber, "compress= must be yes or no");
            }
            c.compress = value == "yes";
        } else {
            return fail(lineNumber, "unknown key " + key + "=");
        }
    }
    if (in.bad()) {
        error = path.string() + ": cannot be read";
        return false;
    }
    if (!finish()) {
        return false;
    }
    std::set<std::string> published;
    for (const ManifestComponent& c : components) {
        if (!published.insert(c.publishAs).second) {
            return fail(c.line, "another component is published as " + c.publishAs + " too");
        }
    }
    return true;
}

} // namespace zarn
