// Normalises a class identifier written with or without its braces.
#pragma once

#include <string>

namespace zarn {

// In place: a leading "{" becomes a blank, then a trailing "}" becomes a blank, then white space is trimmed at
// both ends. Braces are tested before trimming, so " {id} " keeps them. Any thread; never fails.
void StripBraces(std::string& text);

} // namespace zarn
