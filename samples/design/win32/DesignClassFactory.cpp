#include "samples/design/win32/DesignClassFactory.h"

#include "samples/design/win32/DesignAxControl.h"
#include "samples/design/win32/DesignServerLock.h"

#include <new>

namespace quillorna {

bool DesignClassFactory::ClassId(CLSID& classId) {
    wchar_t text[] = L"{" DESIGN_CLSID_WIDE L"}";
    return SUCCEEDED(CLSIDFromString(text, &classId));
}

HRESULT STDMETHODCALLTYPE DesignClassFactory::QueryInterface(REFIID interfaceId, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DesignClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG STDMETHODCALLTYPE DesignClassFactory::Release() {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) {
        delete this;
    }
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE DesignClassFactory::CreateInstance(IUnknown* outer, REFIID interfaceId, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* control = new (std::nothrow) DesignAxControl();
    if (control == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The caller's reference is the only one: a refused interface frees the control at once.
    const HRESULT result = control->QueryInterface(interfaceId, object);
    control->Release();
    return result;
}

HRESULT STDMETHODCALLTYPE DesignClassFactory::LockServer(BOOL lock) {
    if (lock) {
        DesignServerLock::Add();
    } else {
        DesignServerLock::Release();
    }
    return S_OK;
}

} // namespace quillorna
