// One registry value: a typed data block that CRegistry reads into and writes from.
#pragma once

#include "platform/RegistryApi.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

// Owns its data block. Every block carries one zero byte past its end, so a text read from it is
// always terminated, whatever the stored data holds. Copies are deep. Any thread, one at a time per value.
class CRegistryValue {
public:
    // An empty value: no data block, size 0, type 0.
    CRegistryValue();
    // As SetDword.
    explicit CRegistryValue(DWORD value);
    // As SetString with the plain REG_SZ type.
    explicit CRegistryValue(const char* text);
    // As SetBinary.
    CRegistryValue(const BYTE* data, DWORD length);
    // As SetMultiString.
    explicit CRegistryValue(const std::vector<std::string>& texts);
    ~CRegistryValue();

    CRegistryValue(const CRegistryValue& other);
    CRegistryValue& operator=(const CRegistryValue& other);
    CRegistryValue(CRegistryValue&& other) noexcept;
    CRegistryValue& operator=(CRegistryValue&& other) noexcept;

    // Releases the old block and takes a new one of `size` bytes (zero-filled); the type is kept.
    // Returns the block, or null (no block, size 0) when memory is short.
    BYTE* Allocate(DWORD size);
    // Releases the block: data null, size 0, type unchanged.
    void Free();

    void SetType(DWORD type) { m_dwType = type; }
    DWORD GetType() const { return m_dwType; }
    DWORD GetSize() const { return m_nSize; }
    // The data block, or null when there is none.
    const BYTE* GetData() const { return m_pData.get(); }

    // A 4-byte block holding `value` in the machine's byte order; type REG_DWORD.
    void SetDword(DWORD value);
    // The text and its zero byte (a null text counts as empty); REG_EXPAND_SZ when `expand` is nonzero,
    // else REG_SZ.
    void SetString(const char* text, int expand = 0);
    // REG_MULTI_SZ: each text with its zero byte, then one more zero byte; an empty list gives two zero
    // bytes. A null entry counts as an empty text; a null list or a count below 1 as an empty list.
    void SetMultiString(const char* const* texts, int count);
    void SetMultiString(const std::vector<std::string>& texts);
    // A copy of `length` bytes (a null `data` stores zero bytes of that length); type REG_BINARY.
    void SetBinary(const BYTE* data, DWORD length);

    // REG_DWORD or REG_DWORD_BIG_ENDIAN with at least 4 bytes: copies the first 4 bytes as stored
    // (no byte swap) and returns 1; else 0 and `value` is untouched.
    int GetDword(DWORD& value) const;
    // REG_SZ, REG_EXPAND_SZ, REG_LINK or REG_MULTI_SZ with a block: points `text` at the block, which
    // is always zero-terminated, and returns 1; else 0 and `text` is untouched.
    int GetString(const char*& text) const;
    // REG_SZ, REG_EXPAND_SZ or REG_LINK with a block: copies the text up to its zero byte (or the end of
    // the block) and returns 1; else 0 and `text` is untouched. Environment variables are not expanded.
    int GetString(std::string& text) const;
    // REG_BINARY, REG_RESOURCE_LIST or REG_FULL_RESOURCE_DESCRIPTOR whose size equals `count`: copies the
    // bytes into `buffer` and returns 1; else 0 and nothing is copied.
    int GetBinary(BYTE* buffer, DWORD count) const;
    // REG_MULTI_SZ: replaces `texts` with the block's texts up to the first empty one, never reading past
    // the end of the block (a last text without its zero byte still counts), and returns 1; else 0 and
    // `texts` is untouched.
    int GetMultiString(std::vector<std::string>& texts) const;

private:
    friend class CRegistry;

    // The block's usable bytes (the zero byte past them is not counted).
    DWORD Capacity() const { return m_nCapacity; }
    // Records how many bytes of the block the platform filled and puts a zero byte after them.
    void SetFilledSize(DWORD size);
    // Replaces the block with a copy of `size` bytes from `data` and sets the type.
    void Assign(const BYTE* data, std::size_t size, DWORD type);

    std::unique_ptr<BYTE[]> m_pData;
    DWORD m_nSize = 0;
    DWORD m_dwType = REG_NONE;
    DWORD m_nCapacity = 0;
};

} // namespace zarn
