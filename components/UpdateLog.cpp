#include "components/UpdateLog.h"

#include "platform/File.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace zarn {

UpdateLog::UpdateLog(std::string path) : m_path(std::move(path)) {}

UpdateLog::~UpdateLog() = default;

std::string UpdateLog::DefaultPath() {
    const std::string state = platform::UserStateDirectory();
    if (state.empty()) {
        return {};
    }
    const char sep = platform::PathSeparator();
    return state + sep + "Ostrevant" + sep + "zarn" + sep + "zarn.log";
}

std::string UtcTimestamp() {
    // The calendar of <chrono> rather than gmtime, which shares one buffer between threads.
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto day = std::chrono::floor<std::chrono::days>(now);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

void UpdateLog::Write(const std::string& text) {
    std::string line = UtcTimestamp() + " " + text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    if (m_echo) {
        m_echo(line);
    }
    line += '\n';
    if (!Open()) {
        return;
    }
    if (m_size > 0 && m_size + line.size() > kMaxFileSize && !Rotate()) {
        return;
    }
    // Flushed line by line, so the lines before a crash or a kill are there to read.
    if (std::fwrite(line.data(), 1, line.size(), m_file.get()) == line.size() && std::fflush(m_file.get()) == 0) {
        m_size += line.size();
    }
}

bool UpdateLog::Open() {
    if (m_file) {
        return true;
    }
    if (m_broken || m_path.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), error);
    m_file.reset(std::fopen(m_path.c_str(), "ab"));
    if (!m_file) {
        m_broken = true;
        return false;
    }
    // Append mode writes at the end whatever the position; the size is asked for once, here.
    const auto size = std::filesystem::file_size(m_path, error);
    m_size = error ? 0 : static_cast<std::uint64_t>(size);
    return true;
}

bool UpdateLog::Rotate() {
    m_file.reset();
    const std::string old = m_path + ".1";
    // When the file cannot be moved aside it starts again empty, so it still stays under its size.
    const char* mode = platform::ReplaceFile(m_path, old) == 0 ? "ab" : "wb";
    m_file.reset(std::fopen(m_path.c_str(), mode));
    m_size = 0;
    if (!m_file) {
        m_broken = true;
        return false;
    }
    return true;
}

} // namespace zarn
