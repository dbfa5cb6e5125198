#include "platform/Signature.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
// clang-format on

#include <vector>

namespace zarn::platform {

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// The DER bytes of the first PEM block of `pem`, through the system's own base64 reader.
bool PemToDer(std::string_view pem, std::vector<BYTE>& der) {
    DWORD size = 0;
    const auto length = static_cast<DWORD>(pem.size());
    if (!CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        return false;
    }
    der.resize(size);
    return CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) !=
           FALSE;
}

// The 64 bytes r || s that CNG verifies, from a DER ECDSA-Sig-Value.
bool SignatureToRaw(std::string_view der, std::vector<BYTE>& raw) {
    CERT_ECC_SIGNATURE* decoded = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_SIGNATURE, reinterpret_cast<const BYTE*>(der.data()),
                             static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size)) {
        return false;
    }
    // The decoded integers are little-endian; CNG wants each half big-endian and padded to 32 bytes.
    const auto put = [&raw](const CRYPT_UINT_BLOB& blob, size_t at) {
        if (blob.cbData > 32) {
            return false;
        }
        for (DWORD i = 0; i < blob.cbData; ++i) {
            raw[at + 31 - i] = blob.pbData[i];
        }
        return true;
    };
    raw.assign(64, 0);
    const bool ok = put(decoded->r, 0) && put(decoded->s, 32);
    LocalFree(decoded);
    return ok;
}

// The system's SHA-256 provider, opened once for the process; null when the system has none.
BCRYPT_ALG_HANDLE Sha256Algorithm() {
    static const BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        return Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ? handle : nullptr;
    }();
    return algorithm;
}

} // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    Reset();
}

Sha256::~Sha256() {
    if (m_state->hash != nullptr) {
        BCryptDestroyHash(m_state->hash);
    }
}

void Sha256::Reset() {
    if (m_state->hash != nullptr) {
        BCryptDestroyHash(m_state->hash);
        m_state->hash = nullptr;
    }
    if (Sha256Algorithm() == nullptr ||
        !Succeeded(BCryptCreateHash(Sha256Algorithm(), &m_state->hash, nullptr, 0, nullptr, 0, 0))) {
        m_state->hash = nullptr;
    }
}

void Sha256::Update(const void* data, std::size_t size) {
    // CNG takes at most 4 GiB per call.
    const auto* bytes = static_cast<const BYTE*>(data);
    while (m_state->hash != nullptr && size > 0) {
        const auto piece = static_cast<ULONG>(size > 0x40000000u ? 0x40000000u : size);
        if (!Succeeded(BCryptHashData(m_state->hash, const_cast<PUCHAR>(bytes), piece, 0))) {
            BCryptDestroyHash(m_state->hash);
            m_state->hash = nullptr;
        }
        bytes += piece;
        size -= piece;
    }
}

std::string Sha256::FinishHex() {
    UCHAR digest[32];
    const bool ok = m_state->hash != nullptr && Succeeded(BCryptFinishHash(m_state->hash, digest, sizeof digest, 0));
    Reset();
    if (!ok) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const UCHAR byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

bool VerifyEcdsaP256Sha256(std::string_view publicKeyPem, std::string_view message, std::string_view signatureDer) {
    std::vector<BYTE> keyDer;
    std::vector<BYTE> rawSignature;
    if (signatureDer.empty() || !PemToDer(publicKeyPem, keyDer) || !SignatureToRaw(signatureDer, rawSignature)) {
        return false;
    }
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, keyDer.data(), static_cast<DWORD>(keyDer.size()),
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize)) {
        return false;
    }
    // Only the curve the vendor signs with: the P-256 parameters name the curve's object identifier.
    const bool p256 = info->Algorithm.pszObjId != nullptr &&
                      std::string_view(info->Algorithm.pszObjId) == szOID_ECC_PUBLIC_KEY &&
                      info->Algorithm.Parameters.cbData == 10 &&
                      std::string_view(reinterpret_cast<const char*>(info->Algorithm.Parameters.pbData), 10) ==
                          std::string_view("\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07", 10);
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool imported =
        p256 && CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key) != FALSE && key != nullptr;
    LocalFree(info);
    if (!imported) {
        return false;
    }
    UCHAR digest[32];
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = Sha256Algorithm() != nullptr &&
              Succeeded(BCryptCreateHash(Sha256Algorithm(), &hash, nullptr, 0, nullptr, 0, 0));
    ok = ok && Succeeded(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                        static_cast<ULONG>(message.size()), 0));
    ok = ok && Succeeded(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    ok = ok && Succeeded(BCryptVerifySignature(key, nullptr, digest, sizeof digest, rawSignature.data(),
                                               static_cast<ULONG>(rawSignature.size()), 0));
    BCryptDestroyKey(key);
    return ok;
}

} // namespace zarn::platform
