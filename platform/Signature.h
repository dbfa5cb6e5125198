// The list's signature and the components' hashes: SHA-256 and ECDSA P-256 verification with the system's own
// cryptography (libcrypto on POSIX, CNG on Windows).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zarn::platform {

// SHA-256 over bytes given in any number of pieces. One thread at a time.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Adds the next bytes.
    void Update(const void* data, std::size_t size);
    // The digest of everything added since construction or the last Reset, as 64 lower-case hex digits; starts
    // again afterwards. Empty only when the system's cryptography failed.
    std::string FinishHex();
    // Forgets what was added.
    void Reset();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// True when `signatureDer` (a DER ECDSA-Sig-Value) is a signature of `message` hashed with SHA-256, made with the
// private key of `publicKeyPem` (a PEM "PUBLIC KEY" of curve P-256). False for every other key, curve, encoding or
// failure. Any thread; never fails.
bool VerifyEcdsaP256Sha256(std::string_view publicKeyPem, std::string_view message, std::string_view signatureDer);

} // namespace zarn::platform
