#include "tools/zarn-publish/Publisher.h"

#include "components/ComponentListReader.h"
#include "download/UrlSplit.h"
#include "platform/File.h"
#include "platform/Signature.h"
#include "tools/zarn-publish/CabinetWriter.h"
#include "tools/zarn-publish/RepositoryLayout.h"

#include <utility>

namespace zarn {

namespace {

namespace fs = std::filesystem;

// The serial of the list already published in `root`: 0 when there is none, or an unsigned one without serial=;
// false when its serial= is malformed, so no lower serial is ever published over it by mistake.
bool PreviousSerial(const fs::path& root, std::uint64_t& serial, std::string& error) {
    serial = 0;
    std::error_code code;
    if (!fs::exists(ListFileIn(root), code)) {
        return true;
    }
    const std::optional<std::string> list = platform::ReadWholeFile(ListFileIn(root).string());
    if (!list) {
        error = ListFileIn(root).string() + ": cannot be read for its serial";
        return false;
    }
    ComponentList records;
    ComponentListReader reader(records, {});
    reader.Feed(*list);
    reader.Finish();
    if (reader.Header().malformed) {
        error = ListFileIn(root).string() + ": its serial= or expires= is malformed; fix or remove it first";
        return false;
    }
    serial = reader.Header().serial.value_or(0);
    return true;
}

// The published file of one component, written beside its place and renamed into it; its digest.
bool PublishFile(const ManifestComponent& c, const fs::path& target, FileDigest& digest, std::string& error) {
    fs::path staged = target;
    staged += ".new";
    std::error_code code;
    if (c.IsCabinet()) {
        if (!CabinetWriter::Write(c.source, c.compress, staged, error)) {
            return false;
        }
    } else if (!fs::is_regular_file(c.source, code)) {
        error = c.source.string() + ": no such file";
        return false;
    } else if (!fs::copy_file(c.source, staged, fs::copy_options::overwrite_existing, code)) {
        error = c.source.string() + ": cannot be copied: " + code.message();
        return false;
    }
    const std::optional<FileDigest> got = DigestOfFile(staged);
    if (got) {
        fs::rename(staged, target, code);
    }
    if (!got || code) {
        error = target.string() + ": cannot be put in place";
        fs::remove(staged, code);
        return false;
    }
    digest = *got;
    return true;
}

} // namespace

Publisher::Publisher(const Manifest& manifest, std::string server, int validDays, std::int64_t now)
    : m_manifest(manifest), m_server(std::move(server)), m_validDays(validDays), m_now(now) {}

bool Publisher::Build(const fs::path& root, const std::string& privateKeyPem, std::string& summary,
                      std::string& error) const {
    std::string server = m_server;
    if (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    UrlParts parts;
    if (!SplitUrl(server, parts) || (parts.service != kServiceHttp && parts.service != kServiceHttps) ||
        parts.objectPath != "/" || server.find('/', server.find("//") + 2) != std::string::npos) {
        error = "the server must be given as http://host[:port] or https://host[:port], not \"" + m_server + "\"";
        return false;
    }
    // A key that cannot sign is found before anything is written.
    if (platform::SignEcdsaP256Sha256(privateKeyPem, "").empty()) {
        error = "the private key is no PEM \"PRIVATE KEY\" of curve P-256";
        return false;
    }
    std::uint64_t serial = 0;
    if (!PreviousSerial(root, serial, error)) {
        return false;
    }
    ++serial;
    std::error_code code;
    fs::create_directories(ComponentsFolderIn(root), code);
    fs::create_directories(ListFileIn(root).parent_path(), code);
    if (code) {
        error = root.string() + ": cannot make the repository's folders: " + code.message();
        return false;
    }

    const std::string expires = UtcText(m_now + static_cast<std::int64_t>(m_validDays) * 86400);
    std::string list = "serial=" + std::to_string(serial) + "\nexpires=" + expires + "\n";
    for (const ManifestComponent& c : m_manifest.components) {
        FileDigest digest;
        if (!PublishFile(c, ComponentsFolderIn(root) / c.publishAs, digest, error)) {
            return false;
        }
        list += "[STARTCOMP]\ndesc=" + c.desc + "\n";
        if (!c.name.empty()) {
            list += "name=" + c.name + "\n";
        }
        if (!c.classId.empty()) {
            list += "classid=" + c.classId + "\n";
        }
        list += "major_ver=" + std::to_string(c.version[0]) + "\nminor_ver=" + std::to_string(c.version[1]) +
                "\ncust_num=" + std::to_string(c.version[2]) + "\nbuild_num=" + std::to_string(c.version[3]) + "\n";
        // regfile= after codebase=: the later line decides the kind, so an APP named "...exe" stays an APP.
        list += "codebase=" + server + kComponentsUrlPath + c.publishAs + "\ndir=" + c.dir + "\n";
        if (c.kind == "REG") {
            list += "regfile=" + c.regFile + "\n";
        } else if (c.kind == "LIB") {
            list += "regfile=lib\n";
        } else if (c.kind == "APP") {
            list += "regfile=app\n";
        }
        list += "sha256=" + digest.sha256 + "\nsize=" + std::to_string(digest.size) + "\n[ENDCOMP]\n";
    }
    const std::string signature = platform::SignEcdsaP256Sha256(privateKeyPem, list);
    if (signature.empty()) {
        error = "signing the list failed";
        return false;
    }
    if (!WriteFileInPlace(ListFileIn(root), list) || !WriteFileInPlace(SignatureFileIn(root), signature)) {
        error = ListFileIn(root).string() + ": the list or its signature cannot be written";
        return false;
    }
    summary = "published " + std::to_string(m_manifest.components.size()) + " components to " + root.string() +
              " for " + server + ": serial " + std::to_string(serial) + ", expires " + expires;
    return true;
}

} // namespace zarn
