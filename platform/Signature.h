// The list's signature and the components' hashes: SHA-256, ECDSA P-256 verification, and the vendor's side of it
// (key pairs and signing), with the system's own cryptography (libcrypto on POSIX, CNG on Windows).
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

// A new key pair of curve P-256: `privateKeyPem` as an unencrypted PEM "PRIVATE KEY" (PKCS #8), `publicKeyPem` as
// the PEM "PUBLIC KEY" that VerifyEcdsaP256Sha256 takes. False, with both emptied, when the system's cryptography
// failed. Any thread.
bool GenerateEcdsaP256Key(std::string& privateKeyPem, std::string& publicKeyPem);

// The DER ECDSA-Sig-Value of `message` hashed with SHA-256 under `privateKeyPem` (a PEM "PRIVATE KEY" of curve
// P-256); empty for a key of any other kind or curve, or when the system's cryptography failed. Any thread.
std::string SignEcdsaP256Sha256(std::string_view privateKeyPem, std::string_view message);

} // namespace zarn::platform
