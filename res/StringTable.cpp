#include "res/StringTable.h"

#include <map>

namespace zarn {

namespace {

const std::map<unsigned, std::string>& Table() {
    static const std::map<unsigned, std::string> table = {
        {202, "%1 from %2"},
        {203, "Connected to %1"},
        {204, "Resolving name: %1"},
        {205, "Resolved name to %1"},
        {206, "Connecting to %1"},
        {207, "Redirecting to %1"},
        {208, "Getting file information"},
        {210, "An error occurred while attempting to download the file, Error:%1"},
        {211, "An error occurred connecting to the server \nPlease check your Internet Connection, Error:%1"},
        {212, "Failed to receive a valid response from the server, Error:%1"},
        {213, "Failed to receive a valid HTTP response from the server, Response Code:%1"},
        {214, "An error occurred while downloading the file, Error:%1"},
        {215, "%1% of %2 Completed"},
        {216, "Retrieving the file"},
        {217, "%1 of %2"},
        {218, "%1 sec"},
        {219, "%1 min"},
        {220, "%1 min %2 sec"},
        {221, "%1 Bytes"},
        {223, "%1 KB"},
        {225, "%1 MB"},
        {227, "%1 (%2 copied)"},
        {228, "%1 Bytes/Sec"},
        {229, "%1 KB/Sec"},
        {231, "An error occured while opening the file to be downloaded, Error:%1"},
        {232, "Aborting transfer"},
        {233, "An error occurred while seeking to the end of the file to be downloaded, Error:%1"},
        {57344, "zarn"},
    };
    return table;
}

// One pass over the format, so that a "%2" inside the first argument is not replaced again.
std::string Substitute(const std::string& format, const std::string* args, size_t count) {
    std::string out;
    out.reserve(format.size() + 32);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char digit = format[i + 1];
            if (digit >= '1' && static_cast<size_t>(digit - '1') < count) {
                out += args[digit - '1'];
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace

const std::string& LoadString(unsigned id) {
    static const std::string empty;
    const auto& table = Table();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

std::string FormatString(unsigned id, const std::string& arg1) {
    return Substitute(LoadString(id), &arg1, 1);
}

std::string FormatString(unsigned id, const std::string& arg1, const std::string& arg2) {
    const std::string args[] = {arg1, arg2};
    return Substitute(LoadString(id), args, 2);
}

} // namespace zarn
