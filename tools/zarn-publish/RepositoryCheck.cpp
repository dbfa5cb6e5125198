#include "tools/zarn-publish/RepositoryCheck.h"

#include "components/ComponentListReader.h"
#include "download/UrlSplit.h"
#include "platform/File.h"
#include "platform/Signature.h"
#include "tools/zarn-publish/RepositoryLayout.h"

#include <optional>
#include <utility>

namespace zarn {

namespace {

namespace fs = std::filesystem;

// The file under `root` that a server serving `root` answers `url` with; nullopt for a URL that is not http(s)
// or whose path would leave the root.
std::optional<fs::path> LocalFileOf(const fs::path& root, const std::string& url) {
    UrlParts parts;
    if (!SplitUrl(url, parts) || (parts.service != kServiceHttp && parts.service != kServiceHttps)) {
        return std::nullopt;
    }
    const std::string path = parts.objectPath.substr(0, parts.objectPath.find_first_of("?#"));
    fs::path file = root;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            return std::nullopt;
        }
        if (!segment.empty() && segment != ".") {
            file /= segment;
        }
        start = end + 1;
    }
    return file;
}

} // namespace

RepositoryCheck::RepositoryCheck(std::vector<std::string> publicKeyPems, std::int64_t now)
    : m_keys(std::move(publicKeyPems)), m_now(now) {}

std::vector<std::string> RepositoryCheck::Verify(const fs::path& root, std::string& summary) const {
    std::vector<std::string> problems;
    const std::optional<std::string> list = platform::ReadWholeFile(ListFileIn(root).string());
    if (!list) {
        return {ListFileIn(root).string() + ": no list to verify"};
    }
    const std::optional<std::string> signature = platform::ReadWholeFile(SignatureFileIn(root).string());
    bool verified = false;
    if (!signature) {
        problems.push_back(SignatureFileIn(root).string() + ": missing; the launcher refuses a list without one");
    } else if (signature->empty()) {
        problems.push_back(SignatureFileIn(root).string() + ": empty");
    } else {
        for (const std::string& key : m_keys) {
            verified = verified || platform::VerifyEcdsaP256Sha256(key, *list, *signature);
        }
        if (!verified) {
            problems.push_back("the signature does not verify with the given key" +
                               std::string(m_keys.size() > 1 ? "s" : ""));
        }
    }

    ComponentList records;
    const ListHeader header = ComponentListReader::ParseText(*list, records, {});
    if (header.malformed) {
        problems.push_back("the list's serial= or expires= line is malformed");
    } else {
        if (!header.serial) {
            problems.push_back("the list has no serial=");
        }
        if (!header.expires) {
            problems.push_back("the list has no expires=");
        } else if (*header.expires <= m_now) {
            problems.push_back("the list expired at " + UtcText(*header.expires));
        }
    }

    int checked = 0;
    for (const auto& record : records) {
        const std::string& kind = record->m_installType;
        if (kind != "EXE" && kind != "APP" && kind != "LIB" && kind != "REG") {
            continue;
        }
        const std::string name = "component \"" + record->m_desc + "\"";
        if (record->m_integrityMalformed || record->m_sha256.empty() || !record->m_size) {
            problems.push_back(name + ": its block lacks a valid sha256= and size=; the launcher refuses it");
            continue;
        }
        const std::optional<fs::path> file = LocalFileOf(root, record->m_codebase);
        if (!file) {
            problems.push_back(name + ": its codebase= " + record->m_codebase + " names no file of the repository");
            continue;
        }
        const std::optional<FileDigest> digest = DigestOfFile(*file);
        if (!digest) {
            problems.push_back(name + ": " + file->string() + " cannot be read");
        } else if (digest->size != *record->m_size || digest->sha256 != record->m_sha256) {
            problems.push_back(name + ": " + file->string() + " is " + std::to_string(digest->size) +
                               " bytes, SHA-256 " + digest->sha256 + "; the list says " +
                               std::to_string(*record->m_size) + " bytes, SHA-256 " + record->m_sha256);
        } else {
            ++checked;
        }
    }
    if (problems.empty()) {
        summary = "the list verifies: serial " + std::to_string(*header.serial) + ", expires " +
                  UtcText(*header.expires) + ", " + std::to_string(checked) +
                  " component files match their sha256= and size=";
    }
    return problems;
}

} // namespace zarn
