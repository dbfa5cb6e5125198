// zarn-publish verify: a published repository checked the way a launcher with the vendor's keys checks it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zarn {

class RepositoryCheck {
public:
    // `publicKeyPems` are the keys the launchers carry (one, or two while rotating); `now` is seconds since the
    // epoch.
    RepositoryCheck(std::vector<std::string> publicKeyPems, std::int64_t now);

    // Checks the list under `root`: its signature verifies with one of the keys, it has a well-formed serial and
    // an expiry that lies ahead, and every block that installs something carries sha256= and size= that match
    // the file its URL names under `root` (the URL's path from the server's root). Returns one line per problem,
    // none when the repository passes; `summary` then tells the serial, the expiry and the files checked.
    std::vector<std::string> Verify(const std::filesystem::path& root, std::string& summary) const;

private:
    std::vector<std::string> m_keys;
    std::int64_t m_now;
};

} // namespace zarn
