#include "platform/Signature.h"

// clang-format off
#include "WindowsHeaders.h"
#include <bcrypt.h>
#include <wincrypt.h>
// clang-format on

#include <algorithm>
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

// The AlgorithmIdentifier of an EC key on P-256: the parameters name the curve's object identifier.
constexpr BYTE kP256Parameters[] = {0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};

bool IsP256(const CRYPT_ALGORITHM_IDENTIFIER& algorithm) {
    return algorithm.pszObjId != nullptr && std::string_view(algorithm.pszObjId) == szOID_ECC_PUBLIC_KEY &&
           algorithm.Parameters.cbData == sizeof kP256Parameters &&
           std::equal(kP256Parameters, kP256Parameters + sizeof kP256Parameters, algorithm.Parameters.pbData);
}

bool Digest(std::string_view message, UCHAR (&digest)[32]) {
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = Sha256Algorithm() != nullptr &&
              Succeeded(BCryptCreateHash(Sha256Algorithm(), &hash, nullptr, 0, nullptr, 0, 0));
    ok = ok && Succeeded(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                        static_cast<ULONG>(message.size()), 0));
    ok = ok && Succeeded(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    return ok;
}

// The system's ECDSA P-256 provider, opened once for the process; null when the system has none.
BCRYPT_ALG_HANDLE EcdsaAlgorithm() {
    static const BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        return Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) ? handle
                                                                                                        : nullptr;
    }();
    return algorithm;
}

// `value` DER-encoded as the structure `type`; empty when that fails.
std::vector<BYTE> Encode(LPCSTR type, const void* value) {
    BYTE* encoded = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, value, CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size)) {
        return {};
    }
    std::vector<BYTE> bytes(encoded, encoded + size);
    LocalFree(encoded);
    return bytes;
}

// DER bytes as a PEM block with LF line ends.
std::string DerToPem(const std::vector<BYTE>& der, const char* label) {
    DWORD size = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCR;
    if (der.empty() || !CryptBinaryToStringA(der.data(), static_cast<DWORD>(der.size()), flags, nullptr, &size)) {
        return {};
    }
    std::string base64(size, '\0');
    if (!CryptBinaryToStringA(der.data(), static_cast<DWORD>(der.size()), flags, base64.data(), &size)) {
        return {};
    }
    base64.resize(size);
    return std::string("-----BEGIN ") + label + "-----\n" + base64 + "-----END " + label + "-----\n";
}

// The big-endian bytes of one half of a signature as the little-endian integer the encoder takes.
void Reversed(const BYTE* bigEndian, BYTE (&littleEndian)[32]) {
    std::reverse_copy(bigEndian, bigEndian + 32, littleEndian);
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
    const bool p256 = IsP256(info->Algorithm);
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool imported =
        p256 && CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key) != FALSE && key != nullptr;
    LocalFree(info);
    if (!imported) {
        return false;
    }
    UCHAR digest[32];
    const bool ok = Digest(message, digest) &&
                    Succeeded(BCryptVerifySignature(key, nullptr, digest, sizeof digest, rawSignature.data(),
                                                    static_cast<ULONG>(rawSignature.size()), 0));
    BCryptDestroyKey(key);
    return ok;
}

bool GenerateEcdsaP256Key(std::string& privateKeyPem, std::string& publicKeyPem) {
    privateKeyPem.clear();
    publicKeyPem.clear();
    BCRYPT_KEY_HANDLE key = nullptr;
    if (EcdsaAlgorithm() == nullptr || !Succeeded(BCryptGenerateKeyPair(EcdsaAlgorithm(), &key, 256, 0))) {
        return false;
    }
    // The private blob: its header, then X, Y and the private scalar d, 32 big-endian bytes each.
    BYTE blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96] = {};
    ULONG got = 0;
    const bool exported =
        Succeeded(BCryptFinalizeKeyPair(key, 0)) &&
        Succeeded(BCryptExportKey(key, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof blob, &got, 0)) &&
        got == sizeof blob;
    BCryptDestroyKey(key);
    if (!exported) {
        return false;
    }
    BYTE point[65] = {0x04};
    std::copy(blob + sizeof(BCRYPT_ECCKEY_BLOB), blob + sizeof(BCRYPT_ECCKEY_BLOB) + 64, point + 1);
    BYTE* scalar = blob + sizeof(BCRYPT_ECCKEY_BLOB) + 64;
    CRYPT_ALGORITHM_IDENTIFIER algorithm = {const_cast<LPSTR>(szOID_ECC_PUBLIC_KEY),
                                            {sizeof kP256Parameters, const_cast<BYTE*>(kP256Parameters)}};
    CRYPT_ECC_PRIVATE_KEY_INFO ecc = {CRYPT_ECC_PRIVATE_KEY_INFO_v1, {32, scalar}, nullptr, {sizeof point, point, 0}};
    std::vector<BYTE> eccDer = Encode(X509_ECC_PRIVATE_KEY, &ecc);
    SecureZeroMemory(blob, sizeof blob);
    CRYPT_PRIVATE_KEY_INFO pkcs8 = {0, algorithm, {static_cast<DWORD>(eccDer.size()), eccDer.data()}, nullptr};
    std::vector<BYTE> privateDer = eccDer.empty() ? std::vector<BYTE>() : Encode(PKCS_PRIVATE_KEY_INFO, &pkcs8);
    CERT_PUBLIC_KEY_INFO publicInfo = {algorithm, {sizeof point, point, 0}};
    privateKeyPem = DerToPem(privateDer, "PRIVATE KEY");
    publicKeyPem = DerToPem(Encode(X509_PUBLIC_KEY_INFO, &publicInfo), "PUBLIC KEY");
    SecureZeroMemory(eccDer.data(), eccDer.size());
    SecureZeroMemory(privateDer.data(), privateDer.size());
    if (privateKeyPem.empty() || publicKeyPem.empty()) {
        privateKeyPem.clear();
        publicKeyPem.clear();
        return false;
    }
    return true;
}

std::string SignEcdsaP256Sha256(std::string_view privateKeyPem, std::string_view message) {
    std::vector<BYTE> der;
    CRYPT_PRIVATE_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (!PemToDer(privateKeyPem, der) ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_PRIVATE_KEY_INFO, der.data(), static_cast<DWORD>(der.size()),
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
        return {};
    }
    CRYPT_ECC_PRIVATE_KEY_INFO* ecc = nullptr;
    const bool decoded = IsP256(info->Algorithm) &&
                         CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_PRIVATE_KEY, info->PrivateKey.pbData,
                                             info->PrivateKey.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &ecc, &size);
    LocalFree(info);
    if (!decoded) {
        return {};
    }
    // CNG imports the key as its private blob: header, X, Y, d.
    BYTE blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96] = {};
    const bool shaped = ecc->PrivateKey.cbData == 32 && ecc->PublicKey.cbData == 65 && ecc->PublicKey.pbData[0] == 4;
    if (shaped) {
        auto* header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob);
        header->dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
        header->cbKey = 32;
        std::copy(ecc->PublicKey.pbData + 1, ecc->PublicKey.pbData + 65, blob + sizeof(BCRYPT_ECCKEY_BLOB));
        std::copy(ecc->PrivateKey.pbData, ecc->PrivateKey.pbData + 32, blob + sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    }
    LocalFree(ecc);
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool imported =
        shaped && EcdsaAlgorithm() != nullptr &&
        Succeeded(BCryptImportKeyPair(EcdsaAlgorithm(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &key, blob, sizeof blob, 0));
    SecureZeroMemory(blob, sizeof blob);
    if (!imported) {
        return {};
    }
    UCHAR digest[32];
    BYTE raw[64];
    ULONG got = 0;
    const bool signedOk = Digest(message, digest) &&
                          Succeeded(BCryptSignHash(key, nullptr, digest, sizeof digest, raw, sizeof raw, &got, 0)) &&
                          got == sizeof raw;
    BCryptDestroyKey(key);
    if (!signedOk) {
        return {};
    }
    BYTE r[32];
    BYTE s[32];
    Reversed(raw, r);
    Reversed(raw + 32, s);
    CERT_ECC_SIGNATURE signature = {{sizeof r, r}, {sizeof s, s}};
    const std::vector<BYTE> encoded = Encode(X509_ECC_SIGNATURE, &signature);
    return std::string(encoded.begin(), encoded.end());
}

} // namespace zarn::platform
