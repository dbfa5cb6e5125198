// Reads the FileVersion of one file's version resource and its first three numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class CDLLVersion {
public:
    // An object with numbers 0 and an empty text, for reading one file. Any thread.
    CDLLVersion();
    virtual ~CDLLVersion();

    // Zeroes the numbers, then reads the file's version. Any thread (no shared state). Returns 1 when three numbers
    // were parsed, else 0 (no file, no version information, fewer than three numbers); the result is kept in
    // m_valid.
    int Init(const std::string& path);

    // Reads the FileVersion text into m_versionText and its numbers into the out-parameters. Any thread. Returns 1
    // when three numbers were parsed; 0 otherwise, when text and numbers are left as they were if the file has no
    // version information at all.
    int ReadVersion(const std::string& path, std::int32_t& major, std::int32_t& minor, std::int32_t& third);

    // The file's FileVersion text, whole, under its one translation or else under the user's default language
    // with code page 04B0. Any thread. nullopt when the file has no version information or no such text.
    static std::optional<std::string> GetFileVersionText(const std::string& path);

    // Splits `text` at runs of "." and converts the first three fields as atoi does, storing each as it is found.
    // Any thread. Returns 1 when three fields were found, else 0 (numbers found before the missing one stay set).
    static int ParseDotted(std::string_view text, std::int32_t& major, std::int32_t& minor, std::int32_t& third);

    // As ParseDotted with "," as the separator. Any thread.
    static int ParseCommaSeparated(std::string_view text, std::int32_t& major, std::int32_t& minor,
                                   std::int32_t& third);

    // The numbers and the text of the last read. Any thread; never fail.
    std::int32_t GetMajor() const { return m_major; }
    std::int32_t GetMinor() const { return m_minor; }
    std::int32_t GetThird() const { return m_third; }
    std::string GetVersionText() const { return m_versionText; }

    std::int32_t m_major = 0;
    std::int32_t m_minor = 0;
    std::int32_t m_third = 0;
    std::int32_t m_valid = 0;
    std::string m_versionText;

private:
    static std::optional<std::vector<char>> ReadVersionBlock(const std::string& path);
    static std::optional<std::string> FileVersionFromBlock(const std::vector<char>& block);
};

} // namespace zarn
