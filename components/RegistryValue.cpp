#include "components/RegistryValue.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace zarn {

CRegistryValue::CRegistryValue() = default;

CRegistryValue::CRegistryValue(DWORD value) {
    SetDword(value);
}

CRegistryValue::CRegistryValue(const char* text) {
    SetString(text, 0);
}

CRegistryValue::CRegistryValue(const BYTE* data, DWORD length) {
    SetBinary(data, length);
}

CRegistryValue::CRegistryValue(const std::vector<std::string>& texts) {
    SetMultiString(texts);
}

CRegistryValue::~CRegistryValue() = default;

CRegistryValue::CRegistryValue(const CRegistryValue& other) {
    *this = other;
}

CRegistryValue& CRegistryValue::operator=(const CRegistryValue& other) {
    if (this != &other) {
        if (other.m_pData) {
            Assign(other.m_pData.get(), other.m_nSize, other.m_dwType);
        } else {
            Free();
            m_dwType = other.m_dwType;
        }
    }
    return *this;
}

CRegistryValue::CRegistryValue(CRegistryValue&& other) noexcept
    : m_pData(std::move(other.m_pData)), m_nSize(other.m_nSize), m_dwType(other.m_dwType),
      m_nCapacity(other.m_nCapacity) {
    other.m_nSize = 0;
    other.m_nCapacity = 0;
}

CRegistryValue& CRegistryValue::operator=(CRegistryValue&& other) noexcept {
    if (this != &other) {
        m_pData = std::move(other.m_pData);
        m_nSize = other.m_nSize;
        m_nCapacity = other.m_nCapacity;
        m_dwType = other.m_dwType;
        other.m_nSize = 0;
        other.m_nCapacity = 0;
    }
    return *this;
}

BYTE* CRegistryValue::Allocate(DWORD size) {
    Free();
    // One byte more than asked for, always zero: texts read from the block end there at the latest.
    // Zero-filled so that bytes the platform leaves unwritten are never read uninitialised.
    m_pData.reset(new (std::nothrow) BYTE[static_cast<std::size_t>(size) + 1]());
    if (!m_pData) {
        return nullptr;
    }
    m_nSize = size;
    m_nCapacity = size;
    return m_pData.get();
}

void CRegistryValue::Free() {
    m_pData.reset();
    m_nSize = 0;
    m_nCapacity = 0;
}

void CRegistryValue::SetFilledSize(DWORD size) {
    m_nSize = std::min(size, m_nCapacity);
    if (m_pData) {
        m_pData[m_nSize] = 0;
    }
}

void CRegistryValue::Assign(const BYTE* data, std::size_t size, DWORD type) {
    m_dwType = type;
    // A size the registry cannot describe is not stored at all rather than cut short.
    if (size > std::numeric_limits<DWORD>::max() - 1u) {
        Free();
        return;
    }
    // The new block is filled before the old one goes: `data` may point into the old one.
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size + 1]());
    if (!block) {
        Free();
        return;
    }
    if (data != nullptr && size > 0) {
        std::memcpy(block.get(), data, size);
    }
    m_pData = std::move(block);
    m_nSize = static_cast<DWORD>(size);
    m_nCapacity = m_nSize;
}

void CRegistryValue::SetDword(DWORD value) {
    BYTE bytes[sizeof(DWORD)];
    std::memcpy(bytes, &value, sizeof(DWORD));
    Assign(bytes, sizeof(DWORD), REG_DWORD);
}

void CRegistryValue::SetString(const char* text, int expand) {
    const char* source = text != nullptr ? text : "";
    // The zero byte is part of the stored value.
    Assign(reinterpret_cast<const BYTE*>(source), std::strlen(source) + 1, expand ? REG_EXPAND_SZ : REG_SZ);
}

void CRegistryValue::SetMultiString(const char* const* texts, int count) {
    std::vector<BYTE> block;
    if (texts != nullptr) {
        for (int i = 0; i < count; ++i) {
            const char* text = texts[i] != nullptr ? texts[i] : "";
            block.insert(block.end(), text, text + std::strlen(text) + 1);
        }
    }
    if (block.empty()) {
        block.push_back(0);
    }
    block.push_back(0);
    Assign(block.data(), block.size(), REG_MULTI_SZ);
}

void CRegistryValue::SetMultiString(const std::vector<std::string>& texts) {
    std::vector<const char*> pointers;
    pointers.reserve(texts.size());
    for (const std::string& text : texts) {
        pointers.push_back(text.c_str());
    }
    const int count = static_cast<int>(std::min<std::size_t>(pointers.size(), std::numeric_limits<int>::max()));
    SetMultiString(pointers.data(), count);
}

void CRegistryValue::SetBinary(const BYTE* data, DWORD length) {
    Assign(data, length, REG_BINARY);
}

int CRegistryValue::GetDword(DWORD& value) const {
    if (m_dwType != REG_DWORD && m_dwType != REG_DWORD_BIG_ENDIAN) {
        return 0;
    }
    // A shorter block would make us read past its end.
    if (!m_pData || m_nSize < sizeof(DWORD)) {
        return 0;
    }
    std::memcpy(&value, m_pData.get(), sizeof(DWORD));
    return 1;
}

int CRegistryValue::GetString(const char*& text) const {
    if (m_dwType != REG_SZ && m_dwType != REG_EXPAND_SZ && m_dwType != REG_LINK && m_dwType != REG_MULTI_SZ) {
        return 0;
    }
    if (!m_pData) {
        return 0;
    }
    text = reinterpret_cast<const char*>(m_pData.get());
    return 1;
}

int CRegistryValue::GetString(std::string& text) const {
    if (m_dwType != REG_SZ && m_dwType != REG_EXPAND_SZ && m_dwType != REG_LINK) {
        return 0;
    }
    if (!m_pData) {
        return 0;
    }
    const char* begin = reinterpret_cast<const char*>(m_pData.get());
    const char* end = std::find(begin, begin + m_nSize, '\0');
    text.assign(begin, end);
    return 1;
}

int CRegistryValue::GetBinary(BYTE* buffer, DWORD count) const {
    if (m_dwType != REG_BINARY && m_dwType != REG_RESOURCE_LIST && m_dwType != REG_FULL_RESOURCE_DESCRIPTOR) {
        return 0;
    }
    if (count != m_nSize) {
        return 0;
    }
    if (count > 0) {
        if (buffer == nullptr || !m_pData) {
            return 0;
        }
        std::memcpy(buffer, m_pData.get(), count);
    }
    return 1;
}

int CRegistryValue::GetMultiString(std::vector<std::string>& texts) const {
    if (m_dwType != REG_MULTI_SZ) {
        return 0;
    }
    std::vector<std::string> found;
    if (m_pData) {
        const char* pos = reinterpret_cast<const char*>(m_pData.get());
        const char* const end = pos + m_nSize;
        while (pos < end && *pos != '\0') {
            const char* zero = std::find(pos, end, '\0');
            found.emplace_back(pos, zero);
            pos = zero == end ? end : zero + 1;
        }
    }
    texts = std::move(found);
    return 1;
}

} // namespace zarn
