// The log a support person asks for: one line per step of every check and update (the list fetched, each
// component's status, each download's outcome, each install step's result), each line beginning with its UTC
// time. Appended to a file kept under 1 MiB by moving it to "<file>.1" (one older file) when the next line would
// pass that size. A log that cannot be written loses its lines and nothing else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace zarn {

class UpdateLog {
public:
    // The most a log file holds; the line that would pass it goes to a fresh file.
    static constexpr std::uint64_t kMaxFileSize = 1024 * 1024;

    // Appends to the file at `path`, creating it and its folders at the first line; an empty path writes no file.
    // UI thread.
    explicit UpdateLog(std::string path);
    ~UpdateLog();
    UpdateLog(const UpdateLog&) = delete;
    UpdateLog& operator=(const UpdateLog&) = delete;

    // "<state folder>/Ostrevant/zarn/zarn.log" in the user's state folder; empty when there is none. Any thread.
    static std::string DefaultPath();

    // Also hands every line, time included and without its line end, to `echo` (empty: no echo). UI thread.
    void SetEcho(std::function<void(const std::string&)> echo) { m_echo = std::move(echo); }

    // Appends "<time> <text>" as one line; line breaks inside `text` become blanks. UI thread; never fails.
    void Write(const std::string& text);

    const std::string& Path() const { return m_path; }

private:
    // Opens the file for appending when it is not open; false when it cannot be.
    bool Open();
    // Moves the full file to "<file>.1" and opens a fresh one; false when no file is open afterwards.
    bool Rotate();

    std::string m_path;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, &std::fclose};
    std::uint64_t m_size = 0;
    bool m_broken = false; // the file could not be opened: later lines do not try again
    std::function<void(const std::string&)> m_echo;
};

// The current UTC time as "2026-12-07T16:20:05Z". Any thread.
std::string UtcTimestamp();

} // namespace zarn
