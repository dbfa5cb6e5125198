#include "platform/Signature.h"

#include <climits>
#include <cstring>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace zarn::platform {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->context = EVP_MD_CTX_new();
    Reset();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(m_state->context);
}

namespace {
// Fetched once: an implicit fetch at every start of a digest looks the algorithm up in the provider each time.
const EVP_MD* FetchedSha256() {
    static EVP_MD* const digest = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return digest;
}
} // namespace

void Sha256::Reset() {
    m_state->ok = m_state->context != nullptr && FetchedSha256() != nullptr &&
                  EVP_DigestInit_ex(m_state->context, FetchedSha256(), nullptr) == 1;
}

void Sha256::Update(const void* data, std::size_t size) {
    if (m_state->ok && size > 0) {
        m_state->ok = EVP_DigestUpdate(m_state->context, data, size) == 1;
    }
}

std::string Sha256::FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool ok = m_state->ok && EVP_DigestFinal_ex(m_state->context, digest, &length) == 1 && length == 32;
    Reset();
    if (!ok) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

namespace {

// The curve the vendor signs with: a key of another kind must not widen what verifies or what is signed.
bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    size_t groupLength = 0;
    return EVP_PKEY_is_a(key, "EC") == 1 && EVP_PKEY_get_group_name(key, group, sizeof group, &groupLength) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// What `write` put into a memory BIO, as text; empty when it failed.
template <typename Write> std::string PemText(Write write) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr) {
        return {};
    }
    std::string text;
    char* data = nullptr;
    if (write(bio) == 1) {
        const long length = BIO_get_mem_data(bio, &data);
        if (length > 0 && data != nullptr) {
            text.assign(data, static_cast<size_t>(length));
        }
    }
    BIO_free(bio);
    return text;
}

} // namespace

bool VerifyEcdsaP256Sha256(std::string_view publicKeyPem, std::string_view message, std::string_view signatureDer) {
    if (publicKeyPem.size() > INT_MAX || signatureDer.empty()) {
        return false;
    }
    BIO* bio = BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size()));
    if (bio == nullptr) {
        return false;
    }
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (key == nullptr) {
        return false;
    }
    bool ok = IsP256(key);
    EVP_MD_CTX* context = ok ? EVP_MD_CTX_new() : nullptr;
    ok = context != nullptr && EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signatureDer.data()), signatureDer.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return ok;
}

bool GenerateEcdsaP256Key(std::string& privateKeyPem, std::string& publicKeyPem) {
    privateKeyPem.clear();
    publicKeyPem.clear();
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    if (key == nullptr) {
        return false;
    }
    privateKeyPem =
        PemText([key](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); });
    publicKeyPem = PemText([key](BIO* bio) { return PEM_write_bio_PUBKEY(bio, key); });
    EVP_PKEY_free(key);
    if (privateKeyPem.empty() || publicKeyPem.empty()) {
        privateKeyPem.clear();
        publicKeyPem.clear();
        return false;
    }
    return true;
}

std::string SignEcdsaP256Sha256(std::string_view privateKeyPem, std::string_view message) {
    if (privateKeyPem.size() > INT_MAX) {
        return {};
    }
    BIO* bio = BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size()));
    if (bio == nullptr) {
        return {};
    }
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (key == nullptr) {
        return {};
    }
    std::string signature;
    EVP_MD_CTX* context = IsP256(key) ? EVP_MD_CTX_new() : nullptr;
    size_t size = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    if (context != nullptr && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestSign(context, nullptr, &size, bytes, message.size()) == 1) {
        // The first call gives the largest size; the DER encoding of the actual r and s may be shorter.
        signature.resize(size);
        if (EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &size, bytes, message.size()) ==
            1) {
            signature.resize(size);
        } else {
            signature.clear();
        }
    }
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return signature;
}

} // namespace zarn::platform
