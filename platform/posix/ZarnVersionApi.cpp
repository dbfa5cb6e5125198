#include "platform/posix/ZarnVersionApi.h"

#include "platform/posix/VersionBlock.h"
#include "platform/posix/VersionInfoReader.h"

#include <cstdlib>
#include <cstring>
#include <string>

using zarn::platform::VersionBlock;
using zarn::platform::VersionInfoReader;

namespace {

struct LanguageEntry {
    const char* locale; // "ll" for the language's main form, "ll_CC" for a territory of its own
    LANGID id;
};

// The languages a user of the product is likely to run; any other falls back to US English.
constexpr LanguageEntry kLanguages[] = {
    {"en", 0x0409},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_IE", 0x1809},
    {"de", 0x0407},    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"fr", 0x040C},    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"it", 0x0410},    {"it_CH", 0x0810}, {"es", 0x0C0A},    {"es_MX", 0x080A}, {"pt", 0x0816},
    {"pt_BR", 0x0416}, {"nl", 0x0413},    {"nl_BE", 0x0813}, {"sv", 0x041D},    {"da", 0x0406},    {"nb", 0x0414},
    {"no", 0x0414},    {"nn", 0x0814},    {"fi", 0x040B},    {"pl", 0x0415},    {"cs", 0x0405},    {"sk", 0x041B},
    {"hu", 0x040E},    {"ro", 0x0418},    {"ru", 0x0419},    {"uk", 0x0422},    {"tr", 0x041F},    {"el", 0x0408},
    {"ja", 0x0411},    {"ko", 0x0412},    {"zh", 0x0804},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
    {"he", 0x040D},    {"ar", 0x0401},    {"sl", 0x0424},    {"hr", 0x041A},    {"bg", 0x0402},    {"et", 0x0425},
    {"lv", 0x0426},    {"lt", 0x0427},
};

constexpr LANGID kDefaultLanguage = 0x0409;

LANGID Lookup(const std::string& locale) {
    for (const LanguageEntry& entry : kLanguages) {
        if (locale == entry.locale) {
            return entry.id;
        }
    }
    return 0;
}

} // namespace

extern "C" {

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle != nullptr) {
        *lpdwHandle = 0;
    }
    if (lptstrFilename == nullptr) {
        return 0;
    }
    const std::vector<uint8_t> raw = VersionInfoReader::ReadFile(lptstrFilename);
    return raw.empty() ? 0 : static_cast<DWORD>(VersionBlock::BufferSize(raw));
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, LPVOID lpData) {
    if (lptstrFilename == nullptr || lpData == nullptr) {
        return FALSE;
    }
    // The file is read again: it may have changed since its size was asked, and then the buffer may no longer do.
    const std::vector<uint8_t> raw = VersionInfoReader::ReadFile(lptstrFilename);
    if (raw.empty() || VersionBlock::BufferSize(raw) > dwLen) {
        return FALSE;
    }
    VersionBlock::Store(raw, static_cast<uint8_t*>(lpData));
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    uint8_t* value = nullptr;
    unsigned length = 0;
    if (!VersionBlock::Query(static_cast<const uint8_t*>(pBlock), lpSubBlock, &value, &length)) {
        return FALSE;
    }
    if (lplpBuffer != nullptr) {
        *lplpBuffer = value;
    }
    if (puLen != nullptr) {
        *puLen = length;
    }
    return TRUE;
}

LANGID GetUserDefaultLangID(void) {
    // The first of these that is set and not empty names the language of messages, as setlocale would take it.
    const char* value = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') {
            value = v;
            break;
        }
    }
    if (value == nullptr) {
        return kDefaultLanguage;
    }
    // "de_AT.UTF-8@euro": language and territory only.
    std::string locale(value, std::strcspn(value, ".@"));
    if (const LANGID id = Lookup(locale)) {
        return id;
    }
    const LANGID language = Lookup(locale.substr(0, locale.find('_')));
    return language != 0 ? language : kDefaultLanguage;
}

} // extern "C"
