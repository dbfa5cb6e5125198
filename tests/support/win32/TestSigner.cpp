// Windows has no second cryptography library: the signer and the digest are CNG's, through the platform layer.
// The independent check there is the openssl command's signature (OpenSslSignatureOfPublicKey).
#include "platform/Signature.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"

#include <stdexcept>

namespace zarn::test {

std::string Sha256Hex(std::string_view bytes) {
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.FinishHex();
}

std::string Sign(const std::string& name, std::string_view message) {
    const std::string signature = platform::SignEcdsaP256Sha256(ReadFile(PrivateKeyPath(name)), message);
    if (signature.empty()) {
        throw std::runtime_error("cannot sign with " + PrivateKeyPath(name));
    }
    return signature;
}

} // namespace zarn::test
