#include "tests/support/VersionedFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace zarn::test {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}

void Put64(std::vector<uint8_t>& out, size_t at, uint64_t v) {
    Put32(out, at, static_cast<uint32_t>(v));
    Put32(out, at + 4, static_cast<uint32_t>(v >> 32));
}

void Pad(std::vector<uint8_t>& out, size_t alignment) {
    while (out.size() % alignment != 0) {
        out.push_back(0);
    }
}

void Append16(std::vector<uint8_t>& out, uint32_t v) {
    out.resize(out.size() + 2);
    Put16(out, out.size() - 2, v);
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    out.resize(out.size() + 4);
    Put32(out, out.size() - 4, v);
}

// Plain ASCII as UTF-16LE with its terminating zero: every key and value these writers produce is ASCII,
// other bytes are written as their Latin-1 character.
std::vector<uint8_t> Utf16z(const std::string& text) {
    std::vector<uint8_t> out;
    for (const char c : text) {
        Append16(out, static_cast<uint8_t>(c));
    }
    Append16(out, 0);
    return out;
}

// One node of a version block: wLength, wValueLength, wType, key, padding, value, padding, children.
std::vector<uint8_t> Node(const std::string& key, const std::vector<uint8_t>& value, uint16_t valueLength,
                          uint16_t type, const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> out(6);
    const std::vector<uint8_t> k = Utf16z(key);
    out.insert(out.end(), k.begin(), k.end());
    Pad(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Pad(out, 4);
        out.insert(out.end(), child.begin(), child.end());
    }
    Put16(out, 0, static_cast<uint32_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, type);
    return out;
}

std::vector<uint8_t> StringNode(const std::string& key, const std::string& value) {
    return Node(key, Utf16z(value), static_cast<uint16_t>(value.size() + 1), 1, {});
}

// Up to four numbers of a "1.2.3.4" or "1, 2, 3, 4" text, as a resource compiler fills FILEVERSION.
std::vector<uint16_t> Numbers(const std::string& text) {
    std::vector<uint16_t> numbers;
    size_t i = 0;
    while (i < text.size() && numbers.size() < 4) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        uint32_t n = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            n = (n * 10 + static_cast<uint32_t>(text[i] - '0')) & 0xFFFF;
            ++i;
        }
        numbers.push_back(static_cast<uint16_t>(n));
    }
    numbers.resize(4, 0);
    return numbers;
}

std::vector<uint8_t> VersionBlock(const std::string& fileVersionText, const std::vector<Translation>& translations) {
    const std::vector<uint16_t> n = Numbers(fileVersionText);
    std::vector<uint8_t> fixed;
    Append32(fixed, 0xFEEF04BD);
    Append32(fixed, 0x00010000);
    Append32(fixed, static_cast<uint32_t>(n[0]) << 16 | n[1]);
    Append32(fixed, static_cast<uint32_t>(n[2]) << 16 | n[3]);
    Append32(fixed, static_cast<uint32_t>(n[0]) << 16 | n[1]);
    Append32(fixed, static_cast<uint32_t>(n[2]) << 16 | n[3]);
    Append32(fixed, 0x3F);       // flags mask
    Append32(fixed, 0);          // flags
    Append32(fixed, 0x00040004); // VOS_NT_WINDOWS32
    Append32(fixed, 2);          // VFT_DLL
    Append32(fixed, 0);          // subtype
    Append32(fixed, 0);          // date
    Append32(fixed, 0);

    std::vector<std::vector<uint8_t>> tables;
    std::vector<uint8_t> translationValue;
    for (const auto& [language, codePage] : translations) {
        char key[9];
        std::snprintf(key, sizeof key, "%04X%04X", language, codePage);
        tables.push_back(Node(key, {}, 0, 1,
                              {StringNode("CompanyName", "Ostrevant"), StringNode("FileVersion", fileVersionText),
                               StringNode("ProductName", "zarn test")}));
        Append16(translationValue, language);
        Append16(translationValue, codePage);
    }
    const std::vector<uint8_t> stringFileInfo = Node("StringFileInfo", {}, 0, 1, tables);
    const std::vector<uint8_t> var =
        Node("Translation", translationValue, static_cast<uint16_t>(translationValue.size()), 0, {});
    const std::vector<uint8_t> varFileInfo = Node("VarFileInfo", {}, 0, 1, {var});
    return Node("VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, {stringFileInfo, varFileInfo});
}

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kRsrcRva = 0x1000;

uint32_t AlignUp(uint32_t v, uint32_t alignment) {
    return (v + alignment - 1) / alignment * alignment;
}

// DOS header, PE signature, COFF header, PE32+ optional header and `sections` 40-byte section headers,
// padded to the file alignment.
std::vector<uint8_t> PeHeaders(uint16_t sections) {
    std::vector<uint8_t> out(kFileAlignment, 0);
    out[0] = 'M';
    out[1] = 'Z';
    Put32(out, 0x3C, 0x40);
    out[0x40] = 'P';
    out[0x41] = 'E';
    const size_t coff = 0x44;
    Put16(out, coff, 0x8664);
    Put16(out, coff + 2, sections);
    Put16(out, coff + 16, 240);
    Put16(out, coff + 18, 0x2022); // executable image, large address aware, DLL
    const size_t opt = coff + 20;
    Put16(out, opt, 0x20B);
    Put64(out, opt + 24, 0x180000000ULL);
    Put32(out, opt + 32, kSectionAlignment);
    Put32(out, opt + 36, kFileAlignment);
    Put16(out, opt + 40, 6);
    Put16(out, opt + 48, 6);
    Put32(out, opt + 56, kSectionAlignment);
    Put32(out, opt + 60, kFileAlignment);
    Put16(out, opt + 68, 2);
    Put16(out, opt + 70, 0x0160);
    Put64(out, opt + 72, 0x100000);
    Put64(out, opt + 80, 0x1000);
    Put64(out, opt + 88, 0x100000);
    Put64(out, opt + 96, 0x1000);
    Put32(out, opt + 108, 16);
    return out;
}

} // namespace

std::vector<uint8_t> MakeVersionedPe(const std::string& fileVersionText, const std::vector<Translation>& translations) {
    const std::vector<uint8_t> block = VersionBlock(fileVersionText, translations);
    const uint16_t language = translations.empty() ? 0x0409 : translations.front().first;

    // Resource tree: type 16 (RT_VERSION) -> name 1 -> the language -> data entry -> the block.
    std::vector<uint8_t> rsrc(0x58, 0);
    Put16(rsrc, 0x0E, 1);
    Put32(rsrc, 0x10, 16);
    Put32(rsrc, 0x14, 0x80000000u | 0x18);
    Put16(rsrc, 0x18 + 0x0E, 1);
    Put32(rsrc, 0x18 + 0x10, 1);
    Put32(rsrc, 0x18 + 0x14, 0x80000000u | 0x30);
    Put16(rsrc, 0x30 + 0x0E, 1);
    Put32(rsrc, 0x30 + 0x10, language);
    Put32(rsrc, 0x30 + 0x14, 0x48);
    Put32(rsrc, 0x48, kRsrcRva + 0x58);
    Put32(rsrc, 0x4C, static_cast<uint32_t>(block.size()));
    rsrc.insert(rsrc.end(), block.begin(), block.end());
    const uint32_t rsrcSize = static_cast<uint32_t>(rsrc.size());
    Pad(rsrc, kFileAlignment);

    std::vector<uint8_t> out = PeHeaders(1);
    const size_t opt = 0x58;
    Put32(out, opt + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(out, opt + 56, kRsrcRva + AlignUp(rsrcSize, kSectionAlignment));
    Put32(out, opt + 112 + 2 * 8, kRsrcRva);
    Put32(out, opt + 112 + 2 * 8 + 4, rsrcSize);
    const size_t section = opt + 240;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (size_t i = 0; i < sizeof name; ++i) {
        out[section + i] = static_cast<uint8_t>(name[i]);
    }
    Put32(out, section + 8, rsrcSize);
    Put32(out, section + 12, kRsrcRva);
    Put32(out, section + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(out, section + 20, kFileAlignment);
    Put32(out, section + 36, 0x40000040); // initialised data, readable
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    return out;
}

bool WriteVersionedPe(const std::string& path, const std::string& fileVersionText,
                      std::vector<Translation> translations) {
    return WriteBytes(path, MakeVersionedPe(fileVersionText, translations));
}

bool WriteUnversionedPe(const std::string& path) {
    return WriteBytes(path, PeHeaders(0));
}

std::vector<uint8_t> MakeVersionedElf(const std::string& versionText, const std::string& packageName) {
    auto quoted = [](const std::string& s) {
        std::string out = "\"";
        for (const char c : s) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escape[7];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
        return out + "\"";
    };
    const std::string json =
        "{\"type\":\"deb\",\"name\":" + quoted(packageName) + ",\"version\":" + quoted(versionText) + "}";

    std::vector<uint8_t> note;
    Append32(note, 4);
    Append32(note, static_cast<uint32_t>(json.size() + 1));
    Append32(note, 0xCAFE1A7E);
    note.insert(note.end(), {'F', 'D', 'O', 0});
    note.insert(note.end(), json.begin(), json.end());
    note.push_back(0);
    Pad(note, 4);

    const std::string names = std::string("\0.note.package\0.shstrtab\0", 25);
    const size_t noteOffset = 64;
    const size_t namesOffset = noteOffset + note.size();
    std::vector<uint8_t> out(namesOffset + names.size(), 0);
    std::copy(note.begin(), note.end(), out.begin() + noteOffset);
    std::copy(names.begin(), names.end(), out.begin() + namesOffset);
    Pad(out, 8);
    const size_t sectionsOffset = out.size();
    out.resize(out.size() + 3 * 64, 0);

    out[0] = 0x7F;
    out[1] = 'E';
    out[2] = 'L';
    out[3] = 'F';
    out[4] = 2; // 64-bit
    out[5] = 1; // little-endian
    out[6] = 1;
    Put16(out, 16, 3);  // ET_DYN
    Put16(out, 18, 62); // x86-64
    Put32(out, 20, 1);
    Put64(out, 40, sectionsOffset);
    Put16(out, 52, 64);
    Put16(out, 58, 64);
    Put16(out, 60, 3);
    Put16(out, 62, 2);

    const size_t noteHeader = sectionsOffset + 64;
    Put32(out, noteHeader, 1);
    Put32(out, noteHeader + 4, 7); // SHT_NOTE
    Put64(out, noteHeader + 8, 2); // SHF_ALLOC
    Put64(out, noteHeader + 24, noteOffset);
    Put64(out, noteHeader + 32, note.size());
    Put64(out, noteHeader + 48, 4);
    const size_t namesHeader = sectionsOffset + 128;
    Put32(out, namesHeader, 15);
    Put32(out, namesHeader + 4, 3); // SHT_STRTAB
    Put64(out, namesHeader + 24, namesOffset);
    Put64(out, namesHeader + 32, names.size());
    Put64(out, namesHeader + 48, 1);
    return out;
}

bool WriteVersionedElf(const std::string& path, const std::string& versionText, const std::string& packageName) {
    return WriteBytes(path, MakeVersionedElf(versionText, packageName));
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

} // namespace zarn::test
