// The command line CreateProcess takes for a program and its arguments.
#pragma once

#include <string>
#include <vector>

namespace zarn::platform {

// `program` and then each argument, every one quoted so that CommandLineToArgvW and the C runtime read it back
// unchanged: inside the quotes a run of backslashes is doubled when a quote (the argument's own or the closing
// one) follows it. The program's name leads, quoted, so a path with blanks is never split. Never fails.
inline std::string QuotedCommandLine(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine;
    const auto append = [&commandLine](const std::string& argument) {
        commandLine += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            commandLine.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
            commandLine += c;
        }
        commandLine.append(backslashes * 2, '\\');
        commandLine += '"';
    };
    append(program);
    for (const std::string& argument : arguments) {
        commandLine += ' ';
        append(argument);
    }
    return commandLine;
}

} // namespace zarn::platform
