// zarn-serve started as a process on a free port over a folder, ended with SIGTERM when the object goes.
#pragma once

#include <string>
#include <sys/types.h>

namespace zarn::test {

class ServeProcess {
public:
    // Starts the zarn-serve at `program` on `root` and reads the port from the first line of its output.
    // Port() is 0 when it could not be started. Test thread only.
    ServeProcess(const std::string& program, const std::string& root);
    ~ServeProcess();
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT".
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace zarn::test
