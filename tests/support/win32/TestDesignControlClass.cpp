#include "tests/support/win32/TestDesignControlClass.h"

#include <ole2.h>
#include <olectl.h>
#include <vector>

namespace zarn::test {

namespace {

int g_made = 0;
int g_alive = 0;
HWND g_window = nullptr;
RECT g_objectRect{};

constexpr const wchar_t* kWindowClassName = L"ZarnTestDesignControl";

LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        if (BeginPaint(hwnd, &paint) != nullptr) {
            FillRect(paint.hdc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            EndPaint(hwnd, &paint);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool RegisterWindowClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    // Redrawn whole on every resize, so that no stale band stays after the container grows.
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ControlWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassExW(&windowClass) != 0;
}

// COM objects end through their own Release, never by a delete through an interface pointer, so the interfaces'
// lack of a virtual destructor is by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class Control final : public IOleObject, public IOleInPlaceObject, public IPersistStreamInit {
public:
    Control() {
        ++g_made;
        ++g_alive;
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleObject)
            *object = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
            *object = static_cast<IOleInPlaceObject*>(this);
        else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
            *object = static_cast<IPersistStreamInit*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) {
            Deactivate();
            SetClientSite(nullptr);
            --g_alive;
            delete this;
        }
        return left;
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        if (site != nullptr)
            site->AddRef();
        if (m_site != nullptr)
            m_site->Release();
        m_site = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (site == nullptr)
            return E_POINTER;
        *site = m_site;
        if (m_site != nullptr)
            m_site->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override {
        Deactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        switch (verb) {
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_SHOW:
            return Activate();
        case OLEIVERB_HIDE:
            Deactivate();
            return S_OK;
        default:
            return OLEOBJ_E_INVALIDVERB;
        }
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override {
        if (size == nullptr)
            return E_POINTER;
        m_extent = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
        if (size == nullptr)
            return E_POINTER;
        *size = m_extent;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        if (status == nullptr)
            return E_POINTER;
        *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr)
            return E_POINTER;
        *window = m_window;
        return m_window != nullptr ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        Deactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
        if (position == nullptr)
            return E_POINTER;
        g_objectRect = *position;
        if (m_window != nullptr)
            MoveWindow(m_window, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

    // IPersist, IPersistStreamInit: a control without saved state.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        if (size == nullptr)
            return E_POINTER;
        size->QuadPart = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

private:
    ~Control() = default;

    // Makes the control's window in the container's, where the in-place site says.
    HRESULT Activate() {
        if (m_window != nullptr)
            return S_OK;
        if (m_site == nullptr)
            return E_UNEXPECTED;
        static const bool registered = RegisterWindowClass();
        if (!registered)
            return E_FAIL;
        IOleInPlaceSite* site = nullptr;
        if (FAILED(m_site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))))
            return E_NOINTERFACE;
        HWND parent = nullptr;
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position{};
        RECT clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof(frameInfo);
        if (site->CanInPlaceActivate() != S_OK || FAILED(site->GetWindow(&parent)) ||
            FAILED(site->GetWindowContext(&frame, &document, &position, &clip, &frameInfo))) {
            site->Release();
            return E_FAIL;
        }
        if (frame != nullptr)
            frame->Release();
        if (document != nullptr)
            document->Release();
        if (FAILED(site->OnInPlaceActivate())) {
            site->Release();
            return E_FAIL;
        }
        m_window = CreateWindowExW(0, kWindowClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, position.left,
                                   position.top, position.right - position.left, position.bottom - position.top, parent,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
        if (m_window == nullptr) {
            site->OnInPlaceDeactivate();
            site->Release();
            return E_FAIL;
        }
        g_window = m_window;
        m_inPlaceSite = site;
        return S_OK;
    }

    void Deactivate() {
        if (m_window == nullptr)
            return;
        DestroyWindow(m_window);
        if (g_window == m_window)
            g_window = nullptr;
        m_window = nullptr;
        m_inPlaceSite->OnInPlaceDeactivate();
        m_inPlaceSite->Release();
        m_inPlaceSite = nullptr;
    }

    ULONG m_references = 1;
    IOleClientSite* m_site = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
    HWND m_window = nullptr;
    SIZEL m_extent{};
};

// One factory for the process: it lives as long as the program, so its references are not counted.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto* const control = new Control;
        const HRESULT result = control->QueryInterface(iid, object);
        control->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

#pragma GCC diagnostic pop

Factory g_factory;

} // namespace

TestDesignControlClass::TestDesignControlClass(const std::string& classId) {
    std::vector<wchar_t> wide(classId.begin(), classId.end());
    wide.push_back(L'\0');
    CLSID id;
    if (FAILED(CLSIDFromString(wide.data(), &id)))
        return;
    DWORD cookie = 0;
    if (SUCCEEDED(CoRegisterClassObject(id, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
        m_cookie = cookie;
}

TestDesignControlClass::~TestDesignControlClass() {
    if (m_cookie != 0)
        CoRevokeClassObject(m_cookie);
}

int TestDesignControlClass::Made() {
    return g_made;
}

int TestDesignControlClass::Alive() {
    return g_alive;
}

HWND TestDesignControlClass::Window() {
    return g_window;
}

RECT TestDesignControlClass::ObjectRect() {
    return g_objectRect;
}

} // namespace zarn::test
