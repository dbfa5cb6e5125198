#include "app/StartupSteps.h"

#include "platform/CommandLine.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <memory>

namespace zarn {

namespace {

// Our own switches that take the next argument as their value.
bool TakesValue(const std::string& argument) {
    return argument == "--server" || argument == "--ca-file";
}

} // namespace

std::string AppDirectoryFromExecutablePath(const std::string& executablePath, char separator) {
    const size_t last = executablePath.rfind(separator);
    if (last == std::string::npos) {
        return {};
    }
    return executablePath.substr(0, last + 1);
}

std::string InitAppDirectory() {
    return AppDirectoryFromExecutablePath(platform::ExecutablePath(), platform::PathSeparator());
}

std::string DocumentFromCommandLine(const std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (platform::IsSwitchArgument(argument)) {
            if (TakesValue(argument)) {
                ++i;
            }
            continue;
        }
        // An empty argument names nothing; a later one may still name the document.
        if (!argument.empty()) {
            return argument;
        }
    }
    return {};
}

std::string StartFilePath(const std::string& appDir) {
    return appDir + "temp" + platform::PathSeparator() + "startfile.txt";
}

int WriteStartFile(const std::string& appDir, const std::string& documentPath) {
    if (documentPath.empty()) {
        return 0;
    }
    // Binary mode keeps the bytes exactly; fopen never creates the missing temp folder.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(StartFilePath(appDir).c_str(), "wb"), &std::fclose);
    if (!file) {
        return 0;
    }
    const bool written = std::fwrite(documentPath.data(), 1, documentPath.size(), file.get()) == documentPath.size();
    const bool closed = std::fclose(file.release()) == 0;
    return written && closed ? 1 : 0;
}

} // namespace zarn
