// The signer on libcrypto, apart from the code under test, which uses it through its own calls.
#include "tests/support/TestKeys.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <stdexcept>

namespace zarn::test {

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("cannot hash");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

std::string Sign(const std::string& name, std::string_view message) {
    const std::string path = PrivateKeyPath(name);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        throw std::runtime_error("cannot open " + path);
    }
    const std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr),
                                                             &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    size_t size = 0;
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        throw std::runtime_error("cannot sign with " + path);
    }
    std::string signature(size, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
        throw std::runtime_error("cannot sign with " + path);
    }
    signature.resize(size);
    return signature;
}

} // namespace zarn::test
