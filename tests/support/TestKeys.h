// The key pairs the build made for the signed-list tests, and a signer that uses their private halves the way
// the vendor signs a list (ECDSA over SHA-256, DER).
#pragma once

#include <string>
#include <string_view>

namespace zarn::test {

// The PEM public key of the named pair ("first", "second", "stranger", "p384"); throws when it is missing.
std::string PublicKeyPem(const std::string& name);
// The path of that public key's file, and of its private key's.
std::string PublicKeyPath(const std::string& name);
std::string PrivateKeyPath(const std::string& name);
// SHA-256 of `bytes` as 64 lower-case hex digits, computed independently of the code under test (on POSIX).
std::string Sha256Hex(std::string_view bytes);
// The DER signature of `message` with the named pair's private key; throws when signing fails (on Windows also
// for a pair of another curve than P-256, which the system's signer refuses).
std::string Sign(const std::string& name, std::string_view message);
// The DER signature that the openssl command made, when the tests were built, of the pair's own public-key file
// ("first" and "p384"); throws when it is missing.
std::string OpenSslSignatureOfPublicKey(const std::string& name);

} // namespace zarn::test
