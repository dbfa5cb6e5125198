// zarn-publish: the vendor's tool for a signed repository of components.
//   zarn-publish keygen DIR
//   zarn-publish build MANIFEST OUTDIR --key PRIVATE.pem [--server URL] [--valid-days N]
//   zarn-publish verify OUTDIR --key PUBLIC.pem [--key PUBLIC.pem]
// Exit codes: 0 done; 1 bad usage; 2 the step failed (or, for verify, the repository would be refused).
#include "platform/File.h"
#include "platform/Signature.h"
#include "tools/zarn-publish/Manifest.h"
#include "tools/zarn-publish/Publisher.h"
#include "tools/zarn-publish/RepositoryCheck.h"
#include "tools/zarn-publish/RepositoryLayout.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

int Usage() {
    std::cerr << "usage: zarn-publish keygen DIR\n"
                 "       zarn-publish build MANIFEST OUTDIR --key PRIVATE.pem [--server URL] [--valid-days N]\n"
                 "       zarn-publish verify OUTDIR --key PUBLIC.pem [--key PUBLIC.pem]\n";
    return 1;
}

int Failed(const std::string& text) {
    std::cerr << "zarn-publish: " << text << "\n";
    return 2;
}

// Writes a new file that only its owner may read; false when it exists already or cannot be written.
bool WriteNewFile(const fs::path& path, const std::string& text, bool ownerOnly) {
    std::error_code code;
    if (fs::exists(path, code)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        return false;
    }
    // The permissions narrow before the key's bytes go in.
    if (ownerOnly) {
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, code);
        if (code) {
            return false;
        }
    }
    out << text;
    out.close();
    return static_cast<bool>(out);
}

int Keygen(const fs::path& dir) {
    const fs::path privatePath = dir / "private.pem";
    const fs::path publicPath = dir / "public.pem";
    std::error_code code;
    if (fs::exists(privatePath, code) || fs::exists(publicPath, code)) {
        return Failed(dir.string() + " holds a key pair already; keygen never replaces one");
    }
    fs::create_directories(dir, code);
    std::string privatePem;
    std::string publicPem;
    if (code || !zarn::platform::GenerateEcdsaP256Key(privatePem, publicPem)) {
        return Failed("cannot make a key pair in " + dir.string());
    }
    if (!WriteNewFile(privatePath, privatePem, true) || !WriteNewFile(publicPath, publicPem, false)) {
        fs::remove(privatePath, code);
        fs::remove(publicPath, code);
        return Failed("cannot write the key pair into " + dir.string());
    }
    std::cout << "private key (sign with it, keep it secret): " << privatePath.string() << "\n"
              << "public key (the launcher's ZARN_LIST_KEYS): " << publicPath.string() << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    std::vector<std::string> keys;
    std::optional<std::string> server;
    int validDays = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--key" || arg == "--server" || arg == "--valid-days") {
            if (i + 1 >= argc) {
                return Usage();
            }
            const std::string value = argv[++i];
            if (arg == "--key") {
                keys.push_back(value);
            } else if (arg == "--server") {
                server = value;
            } else {
                try {
                    validDays = std::stoi(value);
                } catch (const std::exception&) {
                    return Usage();
                }
                if (validDays < 1 || validDays > 3650) {
                    return Usage();
                }
            }
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    const std::string command = positional.empty() ? "" : positional[0];
    if (command == "keygen" && positional.size() == 2 && keys.empty() && !server && validDays == 0) {
        return Keygen(positional[1]);
    }
    std::vector<std::string> keyTexts;
    for (const std::string& key : keys) {
        const std::optional<std::string> text = zarn::platform::ReadWholeFile(key);
        if (!text) {
            return Failed(key + ": cannot be read");
        }
        keyTexts.push_back(*text);
    }
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    if (command == "build" && positional.size() == 3 && keys.size() == 1) {
        zarn::Manifest manifest;
        std::string error;
        if (!manifest.Read(positional[1], error)) {
            return Failed(error);
        }
        zarn::Publisher publisher(manifest, server.value_or(manifest.server),
                                  validDays > 0 ? validDays : manifest.validDays, now);
        std::string summary;
        if (!publisher.Build(positional[2], keyTexts[0], summary, error)) {
            return Failed(error);
        }
        std::cout << summary << "\n";
        return 0;
    }
    if (command == "verify" && positional.size() == 2 && !keys.empty() && keys.size() <= 2 && !server &&
        validDays == 0) {
        std::string summary;
        const std::vector<std::string> problems = zarn::RepositoryCheck(keyTexts, now).Verify(positional[1], summary);
        for (const std::string& problem : problems) {
            std::cerr << "zarn-publish: " << problem << "\n";
        }
        if (!problems.empty()) {
            return Failed(positional[1] + " would be refused by the launcher");
        }
        std::cout << summary << "\n";
        return 0;
    }
    return Usage();
}
