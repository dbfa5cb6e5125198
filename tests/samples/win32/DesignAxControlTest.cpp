// The Windows sample design control as the system and the launcher meet it: its registration writes and removes
// its classes and nothing else, DllCanUnloadNow tells the truth about live objects and locks, the launcher's
// detection reads its version, and an AtlAxWin window of atl.dll hosts it, sizes it and lets the user draw on it.
// Each case loads a copy installed as the update check installs it (design/ under an application directory whose
// temp/ holds the start file). The cases share the Wine prefix's class registration, so CTest runs them one at a
// time.
#include "components/DLLVersion.h"
#include "tests/support/TempDir.h"

#define WIN32_LEAN_AND_MEAN
#include <filesystem>
#include <gtest/gtest.h>
#include <ocidl.h>
#include <ole2.h>
#include <string>
#include <utility>
#include <windows.h>

extern "C" BOOL WINAPI AtlAxWinInit();
extern "C" HRESULT WINAPI AtlAxGetControl(HWND window, IUnknown** control);

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGeometryClass = "{0C7D8E9F-1A2B-4C3D-8E4F-5A6B7C8D9E0F}";
constexpr COLORREF kInk = RGB(0x1f, 0x4e, 0x8c);
// The control's child windows, as its tool row numbers them.
constexpr int kLineTool = 101;
constexpr int kRectangleTool = 102;
constexpr int kMoveTool = 103;
constexpr int kUndo = 104;
constexpr int kDocumentName = 105;
constexpr int kCanvas = 106;

using RegistrationEntry = HRESULT(WINAPI*)();
using ClassObjectEntry = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

bool KeyExists(const std::string& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The string value `name` (nullptr: the default) of HKEY_CLASSES_ROOT\`subKey`; "(none)" when it is not there.
std::string Value(const std::string& subKey, const char* name) {
    char data[1024];
    DWORD size = sizeof(data);
    if (RegGetValueA(HKEY_CLASSES_ROOT, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    return data;
}

std::string SubKeys(const std::string& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "(no key)";
    }
    std::string names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) {
        names += names.empty() ? name : std::string(",") + name;
    }
    RegCloseKey(key);
    return names;
}

std::wstring Text(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

void Drag(HWND window, POINT from, POINT to) {
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((from.x + to.x) / 2, (from.y + to.y) / 2));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
}

// What the canvas paints, read back through WM_PRINTCLIENT into a bitmap of its size.
class Picture {
public:
    explicit Picture(HWND canvas) {
        RECT client{};
        GetClientRect(canvas, &client);
        m_width = client.right;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = client.right;
        info.bmiHeader.biHeight = -client.bottom;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pixels), nullptr, 0);
        if (m_dc != nullptr && m_bitmap != nullptr) {
            m_old = SelectObject(m_dc, m_bitmap);
            SendMessageW(canvas, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(m_dc), PRF_CLIENT);
        }
    }
    ~Picture() {
        if (m_old != nullptr) {
            SelectObject(m_dc, m_old);
        }
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // True when the shapes' ink covers (x, y) or a pixel next to it: a two-pixel pen straddles its line.
    bool InkNear(int x, int y) const {
        if (m_pixels == nullptr) {
            return false;
        }
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const DWORD bgr = m_pixels[(y + dy) * m_width + (x + dx)];
                if (RGB((bgr >> 16) & 0xff, (bgr >> 8) & 0xff, bgr & 0xff) == kInk) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    DWORD* m_pixels = nullptr;
    int m_width = 0;
};

class DesignAxControl : public testing::Test {
protected:
    DesignAxControl() {
        fs::create_directories(m_app.Path() / "design");
        fs::copy_file(ZARN_DESIGN_CONTROL_LIBRARY, Library());
        fs::create_directories(m_app.Path() / "temp");
        test::WriteFile((m_app.Path() / "temp/startfile.txt").string(), "C:\\plans\\kitchen plan.dsn");
        m_module = LoadLibraryW(Library().c_str());
        const std::string classText = ZARN_DESIGN_CONTROL_CLSID;
        m_classKey = "CLSID\\" + classText;
        CLSIDFromString(Wide(classText).c_str(), &m_class);
    }
    ~DesignAxControl() override {
        if (m_module != nullptr) {
            Entry<RegistrationEntry>("DllUnregisterServer")();
            FreeLibrary(m_module);
        }
    }

    void SetUp() override {
        ASSERT_NE(m_module, nullptr) << GetLastError();
        for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllCanUnloadNow", "DllGetClassObject"}) {
            ASSERT_NE(GetProcAddress(m_module, name), nullptr) << name;
        }
    }

    fs::path Library() const { return m_app.Path() / "design" / "qdesign.ocx"; }
    template <class T> T Entry(const char* name) const {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }
    HRESULT Register() const { return Entry<RegistrationEntry>("DllRegisterServer")(); }
    HRESULT Unregister() const { return Entry<RegistrationEntry>("DllUnregisterServer")(); }
    HRESULT CanUnloadNow() const { return Entry<RegistrationEntry>("DllCanUnloadNow")(); }

    test::TempDir m_app;
    HMODULE m_module = nullptr;
    std::string m_classKey;
    CLSID m_class{};
};

TEST_F(DesignAxControl, RegistersItsClassesAndRemovesThemAndNothingElse) {
    // Another version's ProgID and another vendor's class stay where they are.
    HKEY planted = nullptr;
    for (const char* neighbour : {"Quillorna.Design.2", "CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"}) {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, neighbour, 0, nullptr, 0, KEY_WRITE, nullptr, &planted, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(planted);
    }

    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(Value(m_classKey, nullptr), "Quillorna Design Control");
    EXPECT_EQ(SubKeys(m_classKey), "InprocServer32,ProgID");
    EXPECT_EQ(fs::path(Value(m_classKey + "\\InprocServer32", nullptr)), Library());
    EXPECT_EQ(Value(m_classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Value(m_classKey + "\\ProgID", nullptr), "Quillorna.Design.1");
    EXPECT_EQ(Value("Quillorna.Design.1\\CLSID", nullptr), ZARN_DESIGN_CONTROL_CLSID);
    EXPECT_EQ(fs::path(Value(std::string("CLSID\\") + kGeometryClass + "\\InprocServer32", nullptr)),
              m_app.Path() / "geometry" / "qgeometry.dll");

    ASSERT_EQ(Unregister(), S_OK);
    for (const std::string& gone : {m_classKey, std::string("Quillorna.Design.1"),
                                    std::string("CLSID\\") + kGeometryClass, std::string("Quillorna.Geometry.1")}) {
        EXPECT_FALSE(KeyExists(gone)) << gone;
    }
    EXPECT_TRUE(KeyExists("Quillorna.Design.2"));
    EXPECT_TRUE(KeyExists("CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"));
    // A second removal finds nothing to remove and still succeeds.
    EXPECT_EQ(Unregister(), S_OK);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "Quillorna.Design.2");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
}

TEST_F(DesignAxControl, MayBeUnloadedOnlyWithoutObjectsAndLocks) {
    const auto getClassObject = Entry<ClassObjectEntry>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject(IID_IClassFactory, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(m_class, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);

    IOleObject* control = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&control)), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    // The interfaces a container asks for, each holding the object alive.
    IPersistStreamInit* persist = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(persist->InitNew(), S_OK);
    control->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    persist->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    // An interface the control does not have leaves no object behind.
    IClassFactory* wrong = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
    EXPECT_EQ(CanUnloadNow(), S_OK);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(DesignAxControl, DetectionReadsItsVersion) {
    EXPECT_EQ(CDLLVersion::GetFileVersionText(Library().string()), ZARN_DESIGN_VERSION);
}

TEST_F(DesignAxControl, AtlAxWinHostsItAndTheUserDrawsOnIt) {
    ASSERT_EQ(Register(), S_OK);
    // As the launcher is: aware of each monitor's DPI, so that the control scales itself.
    EXPECT_TRUE(SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != nullptr ||
                SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE) != nullptr);
    ASSERT_TRUE(AtlAxWinInit());
    // On top of the shared desktop, so that the input sent below lands here and not in another test's window.
    HWND frame = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800,
                                 600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(frame, nullptr) << "no window at all: Wine needs its null display driver in the test prefix";
    ShowWindow(frame, SW_SHOW);
    HWND host = CreateWindowExW(0, L"AtlAxWin", Wide(ZARN_DESIGN_CONTROL_CLSID).c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                                400, 300, frame, reinterpret_cast<HMENU>(4321), GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host, nullptr);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(AtlAxGetControl(host, &unknown), S_OK);
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
    HWND control = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&control), S_OK);
    EXPECT_EQ(GetParent(control), host);
    EXPECT_TRUE(IsWindowVisible(control));
    EXPECT_EQ(GetClassLongPtrW(control, GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW), UINT(CS_HREDRAW | CS_VREDRAW));
    RECT placed{};
    GetWindowRect(control, &placed);
    EXPECT_EQ(placed.right - placed.left, 400);
    EXPECT_EQ(placed.bottom - placed.top, 300);
    // The host's new size reaches the control's window through SetObjectRects.
    ASSERT_TRUE(SetWindowPos(host, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOMOVE));
    GetWindowRect(control, &placed);
    EXPECT_EQ(placed.right - placed.left, 640);
    EXPECT_EQ(placed.bottom - placed.top, 480);
    EXPECT_EQ(Text(GetDlgItem(control, kDocumentName)), L"kitchen plan.dsn");
    // UI activation gives the canvas the keyboard.
    IOleObject* object = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
    IOleClientSite* site = nullptr;
    ASSERT_EQ(object->GetClientSite(&site), S_OK);
    ASSERT_NE(site, nullptr);
    RECT client{0, 0, 640, 480};
    EXPECT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, host, &client), S_OK);
    EXPECT_EQ(GetFocus(), GetDlgItem(control, kCanvas));
    site->Release();
    object->Release();

    // A rectangle drawn snaps to the grid; the move tool drags it one step on; Undo takes back the move, then the
    // rectangle. The design is in logical pixels, the mouse and the picture in the screen's (S).
    const UINT dpi = GetDpiForWindow(control);
    ASSERT_GT(dpi, 0u);
    const auto S = [dpi](int logical) { return MulDiv(logical, static_cast<int>(dpi), 96); };
    HWND canvas = GetDlgItem(control, kCanvas);
    HWND undo = GetDlgItem(control, kUndo);
    ASSERT_NE(canvas, nullptr);
    EXPECT_FALSE(IsWindowEnabled(undo));
    SendMessageW(GetDlgItem(control, kRectangleTool), BM_CLICK, 0, 0);
    Drag(canvas, {S(101), S(99)}, {S(149), S(152)});
    EXPECT_TRUE(Picture(canvas).InkNear(S(100), S(125)));
    EXPECT_FALSE(Picture(canvas).InkNear(S(125), S(125)));
    EXPECT_TRUE(IsWindowEnabled(undo));
    SendMessageW(GetDlgItem(control, kMoveTool), BM_CLICK, 0, 0);
    Drag(canvas, {S(101), S(125)}, {S(111), S(136)});
    EXPECT_TRUE(Picture(canvas).InkNear(S(110), S(135)));
    EXPECT_FALSE(Picture(canvas).InkNear(S(100), S(125)));
    SendMessageW(undo, BM_CLICK, 0, 0);
    EXPECT_TRUE(Picture(canvas).InkNear(S(100), S(125)));
    SendMessageW(undo, BM_CLICK, 0, 0);
    EXPECT_FALSE(Picture(canvas).InkNear(S(100), S(125)));
    EXPECT_FALSE(IsWindowEnabled(undo));

    // Through the system's input, as a hand draws: two lines from one point at once each draw, the second press
    // being no double-click that the canvas would miss.
    SendMessageW(GetDlgItem(control, kLineTool), BM_CLICK, 0, 0);
    const auto press = [canvas](POINT at, DWORD flags) {
        ClientToScreen(canvas, &at);
        SetCursorPos(at.x, at.y);
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof(input));
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    };
    for (const POINT end : {POINT{S(150), S(60)}, POINT{S(60), S(150)}}) {
        press({S(60), S(60)}, MOUSEEVENTF_LEFTDOWN);
        press(end, MOUSEEVENTF_MOVE);
        press(end, MOUSEEVENTF_LEFTUP);
    }
    EXPECT_TRUE(Picture(canvas).InkNear(S(100), S(60)));
    EXPECT_TRUE(Picture(canvas).InkNear(S(60), S(100)));
    // Ctrl+Z on the keyboard takes back the last of them.
    for (const auto& [key, flags] :
         {std::pair<WORD, DWORD>{VK_CONTROL, 0}, {'Z', 0}, {'Z', KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}}) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = flags;
        SendInput(1, &input, sizeof(input));
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    EXPECT_TRUE(Picture(canvas).InkNear(S(100), S(60)));
    EXPECT_FALSE(Picture(canvas).InkNear(S(60), S(100)));

    // Closing the host closes the control: its window goes, and with the last reference the object.
    inPlace->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    DestroyWindow(frame);
    EXPECT_FALSE(IsWindow(control));
    unknown->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

} // namespace
} // namespace zarn
