#include "tests/support/TestKeys.h"

#include "tests/support/TempDir.h"

#include <stdexcept>

namespace zarn::test {

std::string PublicKeyPath(const std::string& name) {
    return std::string(ZARN_TEST_KEYS_DIR) + "/" + name + ".pub.pem";
}

std::string PrivateKeyPath(const std::string& name) {
    return std::string(ZARN_TEST_KEYS_DIR) + "/" + name + ".pem";
}

std::string PublicKeyPem(const std::string& name) {
    std::string pem = ReadFile(PublicKeyPath(name));
    if (pem.empty()) {
        throw std::runtime_error("no test key " + name);
    }
    return pem;
}

std::string OpenSslSignatureOfPublicKey(const std::string& name) {
    const std::string signature = ReadFile(PublicKeyPath(name) + ".sig");
    if (signature.empty()) {
        throw std::runtime_error("no signature of " + PublicKeyPath(name));
    }
    return signature;
}

} // namespace zarn::test
