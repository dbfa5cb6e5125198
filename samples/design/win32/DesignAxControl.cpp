#include "samples/design/win32/DesignAxControl.h"

#include "samples/design/win32/DesignClassFactory.h"
#include "samples/design/win32/DesignServerLock.h"

namespace quillorna {

namespace {

// HIMETRIC units (0.01 mm) per inch, for the extent at the screen's 96 pixels per inch.
constexpr LONG kHimetricPerInch = 2540;
constexpr LONG kPixelsPerInch = 96;

template <class T> void ReleaseAndClear(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

} // namespace

DesignAxControl::DesignAxControl() {
    m_extent.cx = 640 * kHimetricPerInch / kPixelsPerInch;
    m_extent.cy = 480 * kHimetricPerInch / kPixelsPerInch;
    DesignServerLock::Add();
}

DesignAxControl::~DesignAxControl() {
    InPlaceDeactivate();
    ReleaseAndClear(m_clientSite);
    DesignServerLock::Release();
}

HRESULT STDMETHODCALLTYPE DesignAxControl::QueryInterface(REFIID interfaceId, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IOleObject)) {
        *object = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(interfaceId, IID_IOleWindow) || IsEqualIID(interfaceId, IID_IOleInPlaceObject)) {
        *object = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(interfaceId, IID_IPersist) || IsEqualIID(interfaceId, IID_IPersistStreamInit)) {
        *object = static_cast<IPersistStreamInit*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE DesignAxControl::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG STDMETHODCALLTYPE DesignAxControl::Release() {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) {
        delete this;
    }
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetClientSite(IOleClientSite* site) {
    // The container clears its site as it lets the control go: the site holds the control, so keeping it would
    // keep both alive.
    if (site != nullptr) {
        site->AddRef();
    }
    ReleaseAndClear(m_clientSite);
    m_clientSite = site;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetClientSite(IOleClientSite** site) {
    if (site == nullptr) {
        return E_POINTER;
    }
    *site = m_clientSite;
    if (m_clientSite != nullptr) {
        m_clientSite->AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Close(DWORD) {
    return InPlaceDeactivate();
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetMoniker(DWORD, IMoniker*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) {
        *moniker = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::InitFromData(IDataObject*, BOOL, DWORD) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data != nullptr) {
        *data = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                                  LPCRECT position) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE: {
        const HRESULT result = InPlaceActivate(activeSite, position);
        if (SUCCEEDED(result)) {
            m_window.Show(true);
        }
        return result;
    }
    case OLEIVERB_UIACTIVATE: {
        const HRESULT result = InPlaceActivate(activeSite, position);
        return FAILED(result) ? result : UIActivate();
    }
    case OLEIVERB_HIDE:
        UIDeactivate();
        m_window.Show(false);
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

HRESULT DesignAxControl::InPlaceActivate(IOleClientSite* site, LPCRECT position) {
    if (m_inPlaceSite != nullptr) {
        return position != nullptr ? SetObjectRects(position, position) : S_OK;
    }
    if (site == nullptr) {
        site = m_clientSite;
    }
    if (site == nullptr) {
        return E_UNEXPECTED;
    }
    IOleInPlaceSite* inPlaceSite = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite)))) {
        return E_NOINTERFACE;
    }
    if (inPlaceSite->CanInPlaceActivate() != S_OK) {
        inPlaceSite->Release();
        return E_FAIL;
    }
    inPlaceSite->OnInPlaceActivate();
    HWND parent = nullptr;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT sitePosition{};
    RECT clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    const bool placed = SUCCEEDED(inPlaceSite->GetWindow(&parent)) &&
                        SUCCEEDED(inPlaceSite->GetWindowContext(&frame, &document, &sitePosition, &clip, &frameInfo));
    ReleaseAndClear(frame);
    ReleaseAndClear(document);
    if (!placed || !m_window.Create(parent, position != nullptr ? *position : sitePosition)) {
        inPlaceSite->OnInPlaceDeactivate();
        inPlaceSite->Release();
        return E_FAIL;
    }
    m_inPlaceSite = inPlaceSite;
    return S_OK;
}

HRESULT DesignAxControl::UIActivate() {
    if (!m_uiActive) {
        m_uiActive = true;
        m_inPlaceSite->OnUIActivate();
    }
    m_window.Show(true);
    m_window.Focus();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs != nullptr) {
        *verbs = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Update() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::IsUpToDate() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetUserClassID(CLSID* classId) {
    return GetClassID(classId);
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetUserType(DWORD, LPOLESTR* userType) {
    if (userType != nullptr) {
        *userType = nullptr;
    }
    // The registry's name of the class says it.
    return OLE_S_USEREG;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (size == nullptr) {
        return E_POINTER;
    }
    m_extent = *size;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (size == nullptr) {
        return E_POINTER;
    }
    *size = m_extent;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Advise(IAdviseSink*, DWORD* connection) {
    if (connection != nullptr) {
        *connection = 0;
    }
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Unadvise(DWORD) {
    return OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::EnumAdvise(IEnumSTATDATA** advises) {
    if (advises != nullptr) {
        *advises = nullptr;
    }
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetMiscStatus(DWORD, DWORD* status) {
    if (status == nullptr) {
        return E_POINTER;
    }
    // A window of its own, active while it is visible, redrawn whole at every size, and given its site first.
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST |
              OLEMISC_CANTLINKINSIDE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetColorScheme(LOGPALETTE*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetWindow(HWND* window) {
    if (window == nullptr) {
        return E_POINTER;
    }
    *window = m_window.Handle();
    return *window != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::InPlaceDeactivate() {
    if (m_inPlaceSite == nullptr) {
        return S_OK;
    }
    UIDeactivate();
    m_window.Destroy();
    m_inPlaceSite->OnInPlaceDeactivate();
    ReleaseAndClear(m_inPlaceSite);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::UIDeactivate() {
    if (m_uiActive) {
        m_uiActive = false;
        m_inPlaceSite->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (position == nullptr) {
        return E_POINTER;
    }
    // Before activation there is no window yet; it is made at the place DoVerb gives.
    if (m_window.Handle() == nullptr) {
        return S_OK;
    }
    return m_window.Place(*position) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::ReactivateAndUndo() {
    return INPLACE_E_NOTUNDOABLE;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetClassID(CLSID* classId) {
    if (classId == nullptr) {
        return E_POINTER;
    }
    return DesignClassFactory::ClassId(*classId) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::IsDirty() {
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Load(LPSTREAM) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::Save(LPSTREAM, BOOL) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::GetSizeMax(ULARGE_INTEGER*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DesignAxControl::InitNew() {
    return S_OK;
}

} // namespace quillorna
