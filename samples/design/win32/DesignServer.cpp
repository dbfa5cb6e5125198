// The COM server's entry points of the design control's library: its class factory and whether it may be
// unloaded. Its registration entry points are shared with the other systems' build (DesignRegistration.cpp).
#include "samples/design/DesignModule.h"
#include "samples/design/win32/DesignClassFactory.h"
#include "samples/design/win32/DesignServerLock.h"

#include <new>

QUILLORNA_DESIGN_EXPORT HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    CLSID design;
    if (!quillorna::DesignClassFactory::ClassId(design) || !IsEqualCLSID(classId, design)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) quillorna::DesignClassFactory();
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = factory->QueryInterface(interfaceId, object);
    factory->Release();
    return result;
}

QUILLORNA_DESIGN_EXPORT HRESULT WINAPI DllCanUnloadNow() {
    return quillorna::DesignServerLock::IsIdle() ? S_OK : S_FALSE;
}
