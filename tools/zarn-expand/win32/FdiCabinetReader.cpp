// The Windows cabinet reader: FDI in cabinet.dll. FDI reads only the one cabinet through callbacks of ours and
// writes only to the caller's files: its open callback opens nothing but that cabinet, and an entry's output is
// the caller's file for it. Two FDICopy passes: the first lists the names and writes nothing, the second
// extracts.
#include "platform/win32/PathText.h"
#include "platform/win32/WindowsHeaders.h"
#include "tools/zarn-expand/CabinetReader.h"

#include <cstdlib>
#include <fcntl.h>
#include <fdi.h>
#include <optional>

namespace zarn {

namespace {

// The name FDI is told to open; the open callback maps it to the real path. FDI joins its path and name in a
// buffer of 256 bytes, so a real path would limit where a cabinet may lie.
char kCabinetName[] = "cabinet";
char kCabinetPath[] = "";

std::string FdiErrorText(int code) {
    switch (code) {
    case FDIERROR_CABINET_NOT_FOUND:
        return "cannot open it";
    case FDIERROR_NOT_A_CABINET:
        return "not a cabinet";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
        return "unknown cabinet version";
    case FDIERROR_CORRUPT_CABINET:
        return "the cabinet is corrupt (a bad checksum, bad data, or it is truncated)";
    case FDIERROR_ALLOC_FAIL:
        return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE:
        return "unknown compression type";
    case FDIERROR_MDI_FAIL:
        return "the data does not decompress";
    case FDIERROR_TARGET_FILE:
        return "cannot write the file";
    case FDIERROR_RESERVE_MISMATCH:
        return "bad reserved space in the cabinet";
    case FDIERROR_WRONG_CABINET:
        return "wrong cabinet of a set";
    default:
        return "cabinet library error " + std::to_string(code);
    }
}

} // namespace

struct CabinetReader::State {
    // What FDI's INT_PTR file handles point to: the cabinet (input) or an entry's file (output).
    // They live until the reader goes, so a second close of one by FDI does nothing.
    struct Handle {
        Handle(HANDLE cabinet, zarn::platform::File* entry) : input(cabinet), output(entry) {}
        ~Handle() {
            if (input != INVALID_HANDLE_VALUE) {
                ::CloseHandle(input);
            }
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

        HANDLE input;
        zarn::platform::File* output;
        unsigned long written = 0;
    };

    ~State() {
        if (fdi != nullptr) {
            ::FDIDestroy(fdi);
        }
    }

    HFDI fdi = nullptr;
    ERF erf{};
    std::vector<wchar_t> path;
    std::vector<std::unique_ptr<Handle>> handles;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
    // Set only during the extraction pass: one output per name, and the entry being written.
    const std::vector<zarn::platform::File*>* outputs = nullptr;
    std::size_t next = 0;
    std::size_t closed = 0;
    std::optional<std::size_t> shortEntry;
    Handle* current = nullptr;
    unsigned long expectedSize = 0;
    // Why one of our callbacks stopped FDI, when one did; FDI's own code then says only "user abort".
    std::string abortReason;
    unsigned long writeError = 0;

    INT_PTR AddHandle(HANDLE input, zarn::platform::File* output) {
        handles.push_back(std::make_unique<Handle>(input, output));
        return reinterpret_cast<INT_PTR>(handles.back().get());
    }

    static State*& Current() {
        thread_local State* current = nullptr;
        return current;
    }
    // FDI also passes handles it never opened (0 when it cleans up after a stop); each callback refuses those.
    static Handle* AsHandle(INT_PTR hf) { return hf == 0 || hf == -1 ? nullptr : reinterpret_cast<Handle*>(hf); }

    static FNALLOC(Alloc) { return std::malloc(cb); }
    static FNFREE(Free) { std::free(pv); }

    static FNOPEN(Open) {
        State* state = Current();
        if (state == nullptr || pszFile == nullptr || std::string(pszFile) != kCabinetName ||
            (oflag & (_O_WRONLY | _O_RDWR)) != 0) {
            return -1;
        }
        static_cast<void>(pmode);
        const HANDLE file = ::CreateFileW(state->path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return -1;
        }
        return state->AddHandle(file, nullptr);
    }

    static FNREAD(Read) {
        Handle* handle = AsHandle(hf);
        DWORD read = 0;
        if (handle == nullptr || handle->input == INVALID_HANDLE_VALUE ||
            !::ReadFile(handle->input, pv, cb, &read, nullptr)) {
            return static_cast<UINT>(-1);
        }
        return read;
    }

    static FNWRITE(Write) {
        Handle* handle = AsHandle(hf);
        State* state = Current();
        if (handle == nullptr || handle->output == nullptr || state == nullptr) {
            return static_cast<UINT>(-1);
        }
        // The free space was weighed against the declared sizes: an entry never takes more than its own.
        if (cb > state->expectedSize - handle->written) {
            return static_cast<UINT>(Abort(state, "its data is longer than its declared size"));
        }
        if (const unsigned long code = handle->output->Write(static_cast<const char*>(pv), cb); code != 0) {
            if (state->writeError == 0) {
                state->writeError = code;
            }
            return static_cast<UINT>(-1);
        }
        handle->written += cb;
        return cb;
    }

    static FNCLOSE(Close) {
        Handle* handle = AsHandle(hf);
        if (handle == nullptr) {
            return -1;
        }
        if (handle->input != INVALID_HANDLE_VALUE) {
            const BOOL closed = ::CloseHandle(handle->input);
            handle->input = INVALID_HANDLE_VALUE;
            return closed ? 0 : -1;
        }
        if (handle->output != nullptr) {
            const unsigned long code = handle->output->Close();
            handle->output = nullptr;
            State* state = Current();
            if (code != 0 && state != nullptr && state->writeError == 0) {
                state->writeError = code;
            }
            return code == 0 ? 0 : -1;
        }
        return 0;
    }

    static FNSEEK(Seek) {
        Handle* handle = AsHandle(hf);
        DWORD method = FILE_BEGIN;
        if (seektype == SEEK_CUR) {
            method = FILE_CURRENT;
        } else if (seektype == SEEK_END) {
            method = FILE_END;
        } else if (seektype != SEEK_SET) {
            return -1;
        }
        LARGE_INTEGER distance{};
        distance.QuadPart = dist;
        LARGE_INTEGER position{};
        if (handle == nullptr || handle->input == INVALID_HANDLE_VALUE ||
            !::SetFilePointerEx(handle->input, distance, &position, method) || position.QuadPart > 0x7FFFFFFF) {
            return -1;
        }
        return static_cast<__LONG32>(position.QuadPart);
    }

    static INT_PTR Abort(State* state, std::string reason) {
        if (state->abortReason.empty()) {
            state->abortReason = std::move(reason);
        }
        return -1;
    }

    // A cabinet that names a next one, or a file continued from or into another cabinet, stops either pass.
    // FDIIsCabinet cannot tell the first: it never reports a next cabinet, on Windows as in Wine.
    static FNFDINOTIFY(Notify) {
        State* state = static_cast<State*>(pfdin->pv);
        switch (fdint) {
        case fdintCABINET_INFO:
            return pfdin->psz1 != nullptr && pfdin->psz1[0] != '\0' ? Abort(state, "it is one of a multi-cabinet set")
                                                                    : 0;
        case fdintENUMERATE:
            return 0;
        case fdintPARTIAL_FILE:
        case fdintNEXT_CABINET:
            return Abort(state, "it is one of a multi-cabinet set");
        case fdintCOPY_FILE:
            if (state->outputs == nullptr) {
                state->names.emplace_back(pfdin->psz1 != nullptr ? pfdin->psz1 : "");
                state->sizes.push_back(static_cast<std::uint64_t>(static_cast<std::uint32_t>(pfdin->cb)));
                return 0;
            }
            return state->StartEntry(pfdin->psz1, pfdin->cb);
        case fdintCLOSE_FILE_INFO:
            return state->FinishEntry(AsHandle(pfdin->hf));
        }
        return Abort(state, "unexpected notification from the cabinet library");
    }

    // Entry `next` goes to its output only when FDI names it as the listing pass did.
    INT_PTR StartEntry(const char* name, long size) {
        if (name == nullptr || next >= names.size() || names[next] != name || size < 0) {
            return Abort(this, "the entries differ from those listed before");
        }
        const INT_PTR handle = AddHandle(INVALID_HANDLE_VALUE, (*outputs)[next]);
        current = AsHandle(handle);
        expectedSize = static_cast<unsigned long>(size);
        ++next;
        return handle;
    }

    INT_PTR FinishEntry(Handle* handle) {
        if (handle == nullptr || handle != current) {
            return Abort(this, "the cabinet library closed a file it was not given");
        }
        const unsigned long written = handle->written;
        if (Close(reinterpret_cast<INT_PTR>(handle)) != 0) {
            return FALSE;
        }
        // FDI closes an entry's file before it reports damaged data, so a short one is only noted here: FDI's
        // own error then says more.
        if (written != expectedSize && !shortEntry) {
            shortEntry = next - 1;
        }
        ++closed;
        return TRUE;
    }

    // Runs one FDICopy pass with this state as the callbacks' own; false with the reason in `error`.
    bool Copy(std::string& error) {
        Current() = this;
        const BOOL copied = ::FDICopy(fdi, kCabinetName, kCabinetPath, 0, &Notify, nullptr, this);
        Current() = nullptr;
        if (!copied) {
            error = !abortReason.empty() ? abortReason : FdiErrorText(erf.erfOper);
            return false;
        }
        return true;
    }
};

CabinetReader::CabinetReader() : m_state(std::make_unique<State>()) {}

CabinetReader::~CabinetReader() = default;

bool CabinetReader::Open(const std::string& path, std::string& error) {
    State& state = *m_state;
    if (!zarn::platform::WideLongPath(path, state.path)) {
        error = "cannot open it (the path is not valid in the code page)";
        return false;
    }
    if (state.fdi == nullptr) {
        state.fdi = ::FDICreate(&State::Alloc, &State::Free, &State::Open, &State::Read, &State::Write, &State::Close,
                                &State::Seek, cpuUNKNOWN, &state.erf);
        if (state.fdi == nullptr) {
            error = "cannot start the cabinet library";
            return false;
        }
    }
    State::Current() = &state;
    const INT_PTR file = State::Open(kCabinetName, _O_RDONLY | _O_BINARY, 0);
    FDICABINETINFO info{};
    const BOOL isCabinet = file != -1 && ::FDIIsCabinet(state.fdi, file, &info);
    if (file != -1) {
        State::Close(file);
    }
    State::Current() = nullptr;
    if (file == -1) {
        error = "cannot open it";
        return false;
    }
    if (!isCabinet) {
        error = "not a cabinet";
        return false;
    }
    // FDI would reach a split file only after writing the ones before it; refuse the set up front.
    if (info.hasprev || info.hasnext) {
        error = "it is one of a multi-cabinet set";
        return false;
    }
    state.names.clear();
    state.sizes.clear();
    if (!state.Copy(error)) {
        state.names.clear();
        state.sizes.clear();
        return false;
    }
    return true;
}

const std::vector<std::string>& CabinetReader::Names() const {
    return m_state->names;
}

const std::vector<std::uint64_t>& CabinetReader::Sizes() const {
    return m_state->sizes;
}

bool CabinetReader::ExtractAll(const std::vector<zarn::platform::File*>& outputs, Failure& failure) {
    State& state = *m_state;
    if (outputs.size() != state.names.size()) {
        failure.reason = "not one output file for each entry";
        return false;
    }
    state.outputs = &outputs;
    state.next = 0;
    state.closed = 0;
    state.shortEntry.reset();
    state.current = nullptr;
    state.abortReason.clear();
    state.writeError = 0;
    const bool copied = state.Copy(failure.reason);
    state.outputs = nullptr;
    failure.entry = state.next > 0 ? state.next - 1 : 0;
    failure.writeError = state.writeError;
    if (!copied || failure.writeError != 0) {
        return false;
    }
    if (state.shortEntry) {
        failure.entry = *state.shortEntry;
        failure.reason = "the entry's data is shorter than its size";
        return false;
    }
    if (state.closed != state.names.size()) {
        failure.entry = state.closed;
        failure.reason = "the cabinet library did not extract every entry";
        return false;
    }
    return true;
}

} // namespace zarn
