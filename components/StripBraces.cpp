#include "components/StripBraces.h"

#include "text/AsciiText.h"

namespace zarn {

void StripBraces(std::string& text) {
    if (!text.empty() && text.front() == '{') {
        text.front() = ' ';
    }
    if (!text.empty() && text.back() == '}') {
        text.back() = ' ';
    }
    text = std::string(TrimWhiteSpace(text));
}

} // namespace zarn
