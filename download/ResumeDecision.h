// Whether an answer continues the bytes a download already holds. A later attempt asks for the rest with
// Range and If-Range; the validator is the first answer's strong ETag, else its Last-Modified (a weak ETag
// vouches for no byte, so then nothing is resumed). A 206 continues the file only when its Content-Range starts
// exactly at the bytes held and names the same total as the first answer. No toolkit, no network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zarn {

class ResumeDecision {
public:
    // The If-Range value an answer with these headers allows; empty when it allows no resume.
    static std::string Validator(const std::string& etag, const std::string& lastModified);
    // True when a 206 with `contentRange` continues at `start` a file of `total` bytes.
    static bool Continues(const std::string& contentRange, std::uint64_t start, std::uint64_t total);
    // The total of a Content-Range ("bytes 0-9/10" and "bytes */10" both give 10); none when it names none.
    static std::optional<std::uint64_t> Total(const std::string& contentRange);
};

} // namespace zarn
