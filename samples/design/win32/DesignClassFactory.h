// The class factory of the design control: makes one DesignAxControl per CreateInstance. Apartment-threaded, as the
// control registers itself.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <ole2.h>

namespace quillorna {

class DesignClassFactory : public IClassFactory {
public:
    DesignClassFactory() = default;
    DesignClassFactory(const DesignClassFactory&) = delete;
    DesignClassFactory& operator=(const DesignClassFactory&) = delete;

    // The control's class identifier, the build's; false when the text the build gave cannot be read.
    static bool ClassId(CLSID& classId);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID interfaceId, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    virtual ~DesignClassFactory() = default;

    LONG m_refs = 1;
};

} // namespace quillorna
