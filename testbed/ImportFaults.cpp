#include "testbed/ImportFaults.h"

#include <aclapi.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>
#include <winver.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <type_traits>

namespace {

// How a function tells its caller that it failed.
enum class Failure : unsigned char {
    Zero,     // 0, FALSE or NULL, with a last error
    MinusOne, // -1: INVALID_HANDLE_VALUE, CLR_INVALID, WAIT_FAILED, an image list's -1
    Status,   // a registry status: the error code itself
    HResult,  // an HRESULT
};

// What a failure stands for, for the profiles.
enum : unsigned {
    Plain = 0,
    Allocates = 1,     // memory, GDI objects, image lists, threads, COM objects
    RegistryWrite = 2, // writes or deletes under a key; opens and creates only with write access
    FileDeletion = 4,  // deletes a file or a cache entry
    // Its first argument is a window. A call on one of the module's own dialogs or their
    // controls cannot fail in practice (the module's thread made them and they are there), so
    // it passes uncounted; a call on another's window (the browser's frame and address bar)
    // may meet a window destroyed or hung in between, and fails.
    OnWindow = 8,
};

struct Failable {
    const char* dll; // null for a function the module looks up at run time
    const char* name;
    Failure failure;
    unsigned classes;
    void* hook;
    // RegistryWrite: which arguments hold the key, its sub key and the access asked for (-1:
    // none), so that the protected profile can tell where a write goes.
    signed char keyArg = -1;
    signed char subKeyArg = -1;
    signed char accessArg = -1;
};

struct Verdict {
    bool fail;
    DWORD error;
};

Verdict Decide(int slot, const uintptr_t* args);
void* g_originals[256];
HMODULE g_module; // the module whose imports fail

template <typename T> uintptr_t Raw(T value) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(value);
    else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
        return static_cast<uintptr_t>(value);
    else
        return 0;
}

template <typename R> R FailureValue(int slot, Verdict verdict);

template <int Slot, typename R, typename... A> R WINAPI StdcallHook(A... args) {
    const uintptr_t raw[sizeof...(A) + 1] = {Raw(args)..., 0};
    Verdict verdict = Decide(Slot, raw);
    if (verdict.fail) return FailureValue<R>(Slot, verdict);
    return reinterpret_cast<R(WINAPI*)(A...)>(g_originals[Slot])(args...);
}

template <int Slot, typename R, typename... A> R __cdecl CdeclHook(A... args) {
    const uintptr_t raw[sizeof...(A) + 1] = {Raw(args)..., 0};
    Verdict verdict = Decide(Slot, raw);
    if (verdict.fail) return FailureValue<R>(Slot, verdict);
    return reinterpret_cast<R(__cdecl*)(A...)>(g_originals[Slot])(args...);
}

// The wrapper of the same type and calling convention as the function it stands in for.
template <int Slot, typename R, typename... A> void* HookFor(R(WINAPI*)(A...)) {
    return reinterpret_cast<void*>(&StdcallHook<Slot, R, A...>);
}
template <int Slot, typename R, typename... A> void* HookFor(R(__cdecl*)(A...)) {
    return reinterpret_cast<void*>(&CdeclHook<Slot, R, A...>);
}

// Functions the module looks up at run time, which no header of Windows 2000 declares.
using CreateActCtxFn = HANDLE(WINAPI*)(const void* context);
using ActivateActCtxFn = BOOL(WINAPI*)(HANDLE context, ULONG_PTR* cookie);
using OpenThemeDataFn = HANDLE(WINAPI*)(HWND window, LPCWSTR classes);
using DrawThemeBackgroundFn = HRESULT(WINAPI*)(HANDLE theme, HDC dc, int part, int state,
                                               const RECT* rect, const RECT* clip);
using ConvertSidToStringSidFn = BOOL(WINAPI*)(PSID sid, LPWSTR* text);

FARPROC WINAPI GetProcAddressHook(HMODULE module, LPCSTR name);

constexpr int SlotBase = __COUNTER__ + 1;
#define FAILS(dll, fn, failure, classes)                                                           \
    Failable {                                                                                     \
        dll, #fn, Failure::failure, classes, HookFor<__COUNTER__ - SlotBase>(&::fn)                \
    }
#define REGISTRY(dll, fn, failure, key, subKey, access)                                            \
    Failable {                                                                                     \
        dll, #fn, Failure::failure, RegistryWrite, HookFor<__COUNTER__ - SlotBase>(&::fn), key,    \
            subKey, access                                                                         \
    }
// A wrapper written by hand still takes its slot's counter value.
#define HAND_WRITTEN(dll, fn, failure, classes, hook)                                              \
    Failable {                                                                                     \
        dll, #fn, Failure::failure, classes,                                                       \
            (static_cast<void>(__COUNTER__), reinterpret_cast<void*>(&hook))                       \
    }
#define LOOKED_UP(fn, type, failure, classes)                                                      \
    Failable {                                                                                     \
        nullptr, #fn, Failure::failure, classes,                                                   \
            HookFor<__COUNTER__ - SlotBase>(static_cast<type>(nullptr))                            \
    }

const char Advapi[] = "advapi32.dll";
const char Comctl[] = "comctl32.dll";
const char Gdi[] = "gdi32.dll";
const char Kernel[] = "kernel32.dll";
const char Crt[] = "msvcrt.dll";
const char Ole[] = "ole32.dll";
const char Shell[] = "shell32.dll";
const char Shlwapi[] = "shlwapi.dll";
const char Urlmon[] = "urlmon.dll";
const char User[] = "user32.dll";
const char Version[] = "version.dll";
const char Wininet[] = "wininet.dll";

// In slot order: each entry's hook knows its slot from __COUNTER__.
const Failable g_table[] = {
    FAILS(Advapi, GetTokenInformation, Zero, Plain),
    FAILS(Advapi, InitializeSecurityDescriptor, Zero, Plain),
    FAILS(Advapi, OpenProcessToken, Zero, Plain),
    REGISTRY(Advapi, RegCreateKeyExW, Status, 0, 1, 5),
    REGISTRY(Advapi, RegDeleteValueW, Status, 0, -1, -1),
    FAILS(Advapi, RegEnumKeyExW, Status, Plain),
    FAILS(Advapi, RegEnumValueW, Status, Plain),
    FAILS(Advapi, RegGetKeySecurity, Status, Plain),
    REGISTRY(Advapi, RegOpenKeyExW, Status, 0, 1, 3),
    FAILS(Advapi, RegQueryValueExW, Status, Plain),
    REGISTRY(Advapi, RegSetKeySecurity, Status, 0, -1, -1),
    REGISTRY(Advapi, RegSetValueExW, Status, 0, -1, -1),
    FAILS(Advapi, SetEntriesInAclW, Status, Allocates),
    FAILS(Advapi, SetSecurityDescriptorDacl, Zero, Plain),
    FAILS(Comctl, ImageList_Add, MinusOne, Allocates),
    FAILS(Comctl, ImageList_Create, Zero, Allocates),
    FAILS(Comctl, ImageList_Draw, Zero, Plain),
    FAILS(Comctl, ImageList_Duplicate, Zero, Allocates),
    FAILS(Comctl, ImageList_GetIcon, Zero, Allocates),
    FAILS(Comctl, ImageList_GetIconSize, Zero, Plain),
    FAILS(Comctl, ImageList_ReplaceIcon, MinusOne, Allocates),
    FAILS(Comctl, _TrackMouseEvent, Zero, Plain),
    FAILS(Gdi, CreateCompatibleBitmap, Zero, Allocates),
    FAILS(Gdi, CreateCompatibleDC, Zero, Allocates),
    FAILS(Gdi, CreateFontIndirectW, Zero, Allocates),
    FAILS(Gdi, CreatePen, Zero, Allocates),
    FAILS(Gdi, CreateSolidBrush, Zero, Allocates),
    FAILS(Gdi, GetCurrentObject, Zero, Plain),
    FAILS(Gdi, GetObjectW, Zero, Plain),
    FAILS(Gdi, GetTextExtentPoint32W, Zero, Plain),
    FAILS(Gdi, LineTo, Zero, Plain),
    FAILS(Gdi, MoveToEx, Zero, Plain),
    FAILS(Gdi, SelectObject, Zero, Plain),
    FAILS(Gdi, SetBkMode, Zero, Plain),
    FAILS(Gdi, SetTextColor, MinusOne, Plain),
    FAILS(Kernel, CreateDirectoryW, Zero, Plain),
    FAILS(Kernel, CreateMutexW, Zero, Allocates),
    FAILS(Kernel, CreateThread, Zero, Allocates),
    FAILS(Kernel, DeleteFileW, Zero, FileDeletion),
    FAILS(Kernel, GetModuleFileNameW, Zero, Plain),
    FAILS(Kernel, GetModuleHandleA, Zero, Plain),
    FAILS(Kernel, GetModuleHandleW, Zero, Plain),
    HAND_WRITTEN(Kernel, GetProcAddress, Zero, Plain, GetProcAddressHook),
    FAILS(Kernel, GetSystemDirectoryW, Zero, Plain),
    FAILS(Kernel, GetTempPathW, Zero, Plain),
    FAILS(Kernel, HeapAlloc, Zero, Allocates),
    FAILS(Kernel, LoadLibraryA, Zero, Allocates),
    FAILS(Kernel, LoadLibraryW, Zero, Allocates),
    FAILS(Kernel, LocalAlloc, Zero, Allocates),
    FAILS(Kernel, MapViewOfFile, Zero, Allocates),
    FAILS(Kernel, MultiByteToWideChar, Zero, Plain),
    FAILS(Kernel, OpenFileMappingW, Zero, Plain),
    FAILS(Kernel, WritePrivateProfileStringW, Zero, Plain),
    FAILS(Kernel, WritePrivateProfileStructW, Zero, Plain),
    FAILS(Crt, calloc, Zero, Allocates),
    FAILS(Crt, malloc, Zero, Allocates),
    FAILS(Crt, realloc, Zero, Allocates),
    FAILS(Ole, CoCreateGuid, HResult, Plain),
    FAILS(Ole, CoCreateInstance, HResult, Allocates),
    FAILS(Ole, CoInitialize, HResult, Allocates),
    FAILS(Ole, CoTaskMemAlloc, Zero, Allocates),
    FAILS(Ole, OleRun, HResult, Plain),
    FAILS(Shell, ExtractIconExW, Zero, Allocates),
    FAILS(Shell, SHGetSpecialFolderPathW, Zero, Plain),
    FAILS(Shlwapi, PathAppendW, Zero, Plain),
    FAILS(Shlwapi, PathFileExistsW, Zero, Plain),
    FAILS(Shlwapi, PathIsDirectoryW, Zero, Plain),
    REGISTRY(Shlwapi, SHDeleteKeyW, Status, 0, 1, -1),
    FAILS(Shlwapi, SHGetValueW, Status, Plain),
    REGISTRY(Shlwapi, SHSetValueW, Status, 0, 1, -1),
    FAILS(Urlmon, URLDownloadToCacheFileW, HResult, Plain),
    FAILS(User, BeginPaint, Zero, OnWindow),
    FAILS(User, CheckDlgButton, Zero, OnWindow),
    FAILS(User, ClientToScreen, Zero, OnWindow),
    FAILS(User, DialogBoxParamW, MinusOne, Allocates),
    FAILS(User, DrawFrameControl, Zero, Plain),
    FAILS(User, DrawTextW, Zero, Plain),
    FAILS(User, EnumChildWindows, Zero, OnWindow),
    FAILS(User, EnumWindows, Zero, Plain),
    FAILS(User, FillRect, Zero, Plain),
    FAILS(User, FindWindowExW, Zero, OnWindow),
    FAILS(User, GetClassLongW, Zero, OnWindow),
    FAILS(User, GetClassNameW, Zero, OnWindow),
    FAILS(User, GetClientRect, Zero, OnWindow),
    FAILS(User, GetDC, Zero, OnWindow),
    FAILS(User, GetDlgCtrlID, Zero, OnWindow),
    FAILS(User, GetDlgItem, Zero, OnWindow),
    FAILS(User, GetParent, Zero, OnWindow),
    FAILS(User, GetPropW, Zero, OnWindow),
    FAILS(User, GetScrollBarInfo, Zero, OnWindow),
    FAILS(User, GetWindow, Zero, OnWindow),
    FAILS(User, GetWindowLongA, Zero, OnWindow),
    FAILS(User, GetWindowLongW, Zero, OnWindow),
    FAILS(User, GetWindowRect, Zero, OnWindow),
    FAILS(User, GetWindowThreadProcessId, Zero, OnWindow),
    FAILS(User, InvalidateRect, Zero, OnWindow),
    FAILS(User, IsDlgButtonChecked, Zero, OnWindow),
    FAILS(User, IsWindow, Zero, OnWindow),
    FAILS(User, IsWindowVisible, Zero, OnWindow),
    FAILS(User, IsZoomed, Zero, OnWindow),
    FAILS(User, KillTimer, Zero, OnWindow),
    FAILS(User, LoadCursorW, Zero, Plain),
    FAILS(User, LoadIconW, Zero, Plain),
    FAILS(User, LoadImageW, Zero, Allocates),
    FAILS(User, MapWindowPoints, Zero, OnWindow),
    FAILS(User, MsgWaitForMultipleObjects, MinusOne, Plain),
    FAILS(User, PeekMessageW, Zero, Plain),
    FAILS(User, PostMessageW, Zero, OnWindow),
    FAILS(User, SendMessageTimeoutW, Zero, OnWindow),
    FAILS(User, SendMessageW, Zero, OnWindow),
    FAILS(User, SetPropW, Zero, Allocates),
    FAILS(User, SetTimer, Zero, Allocates),
    FAILS(User, SetWindowLongA, Zero, OnWindow),
    FAILS(User, SetWindowLongW, Zero, OnWindow),
    FAILS(User, SetWindowPos, Zero, OnWindow),
    FAILS(User, SetWindowTextW, Zero, OnWindow),
    FAILS(User, SystemParametersInfoW, Zero, Plain),
    FAILS(Version, GetFileVersionInfoSizeW, Zero, Plain),
    FAILS(Version, GetFileVersionInfoW, Zero, Plain),
    FAILS(Version, VerQueryValueW, Zero, Plain),
    FAILS(Wininet, DeleteUrlCacheEntryW, Zero, FileDeletion),
    FAILS(Wininet, FindFirstUrlCacheEntryW, Zero, Plain),
    FAILS(Wininet, FindNextUrlCacheEntryW, Zero, Plain),
    FAILS(Wininet, GetUrlCacheEntryInfoW, Zero, Plain),
    FAILS(Wininet, InternetCrackUrlW, Zero, Plain),
    LOOKED_UP(CreateActCtxW, CreateActCtxFn, MinusOne, Allocates),
    LOOKED_UP(ActivateActCtx, ActivateActCtxFn, Zero, Plain),
    LOOKED_UP(OpenThemeData, OpenThemeDataFn, Zero, Allocates),
    LOOKED_UP(DrawThemeBackground, DrawThemeBackgroundFn, HResult, Plain),
    LOOKED_UP(ConvertSidToStringSidW, ConvertSidToStringSidFn, Zero, Allocates),
};
constexpr int SlotCount = __COUNTER__ - SlotBase;
static_assert(std::size(g_table) == SlotCount, "every table entry has its own slot");
static_assert(std::size(g_table) <= std::size(g_originals), "room for every original");
#undef FAILS
#undef REGISTRY
#undef HAND_WRITTEN
#undef LOOKED_UP

int SlotOf(const char* dll, const char* name) {
    for (int slot = 0; slot < static_cast<int>(std::size(g_table)); slot++) {
        const Failable& entry = g_table[slot];
        if (strcmp(entry.name, name) != 0) continue;
        if (!dll ? !entry.dll : entry.dll && lstrcmpiA(entry.dll, dll) == 0) return slot;
    }
    return -1;
}

// ---- the plan and the tally ------------------------------------------------------------------

struct State {
    std::mutex lock; // guards plan and the lists; the counters are atomic
    FaultPlan plan;
    int planSlot = -1;
    std::atomic<long> calls{0};
    std::atomic<long> allocations{0};
    std::atomic<long> failed{0};
    std::atomic<bool> seen[std::size(g_table)] = {};
    std::vector<int> seenOrder;
    std::string firstFailure;
};

State& TheState() {
    static State state;
    return state;
}

// The key's path below the user's hive ("Software\..."), or "?" when it is no key of the user.
std::wstring UserRelativePath(HKEY key) {
    if (key == HKEY_CURRENT_USER) return L"";
    if (reinterpret_cast<uintptr_t>(key) & 0x80000000u) return L"?"; // another root
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static auto query = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    union {
        ULONG length;
        BYTE bytes[4096];
    } info;
    ULONG size = 0;
    const int KeyNameInformation = 3;
    if (!query || query(key, KeyNameInformation, &info, sizeof(info) - 2, &size) != 0) return L"?";
    std::wstring name(reinterpret_cast<WCHAR*>(info.bytes + sizeof(ULONG)),
                      info.length / sizeof(WCHAR));
    static const WCHAR users[] = L"\\REGISTRY\\USER\\";
    const size_t usersLength = std::size(users) - 1;
    if (name.size() < usersLength || _wcsnicmp(name.c_str(), users, usersLength) != 0) return L"?";
    size_t hiveEnd = name.find(L'\\', usersLength);
    return hiveEnd == std::wstring::npos ? L"" : name.substr(hiveEnd + 1);
}

bool UnderAppDataLow(HKEY key, const WCHAR* subKey) {
    std::wstring path = UserRelativePath(key);
    if (path == L"?") return false;
    if (subKey && *subKey) path += (path.empty() ? L"" : L"\\") + std::wstring(subKey);
    static const WCHAR low[] = L"Software\\AppDataLow";
    const size_t lowLength = std::size(low) - 1;
    return path.size() >= lowLength && _wcsnicmp(path.c_str(), low, lowLength) == 0 &&
           (path.size() == lowLength || path[lowLength] == L'\\');
}

bool DeniedWhenProtected(const Failable& entry, const uintptr_t* args) {
    if (entry.classes & FileDeletion) return true;
    if (!(entry.classes & RegistryWrite)) return false;
    if (entry.accessArg >= 0) {
        const REGSAM writes = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER;
        if (!(static_cast<REGSAM>(args[entry.accessArg]) & writes)) return false;
    }
    auto* key = reinterpret_cast<HKEY>(args[entry.keyArg]);
    auto* subKey =
        entry.subKeyArg >= 0 ? reinterpret_cast<const WCHAR*>(args[entry.subKeyArg]) : nullptr;
    return !UnderAppDataLow(key, subKey);
}

// A window of a dialog the module made from its own templates, or a control in one.
bool IsModuleWindow(HWND window) {
    HWND root = GetAncestor(window, GA_ROOT);
    return root && reinterpret_cast<HMODULE>(GetWindowLongPtrW(root, GWLP_HINSTANCE)) == g_module;
}

void NoteSeen(State& state, int slot) {
    if (state.seen[slot].exchange(true)) return;
    std::lock_guard<std::mutex> hold(state.lock);
    state.seenOrder.push_back(slot);
}

Verdict Decide(int slot, const uintptr_t* args) {
    State& state = TheState();
    const Failable& entry = g_table[slot];
    if ((entry.classes & OnWindow) && IsModuleWindow(reinterpret_cast<HWND>(args[0])))
        return {false, 0};
    const FaultPlan& plan = state.plan;
    bool allocates = (entry.classes & Allocates) != 0;
    Verdict verdict = {
        false, static_cast<DWORD>(allocates ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED)};
    bool counted = state.planSlot < 0 || slot == state.planSlot;
    if (counted) NoteSeen(state, slot);
    long call = counted ? ++state.calls : 0;
    long allocation = allocates ? ++state.allocations : 0;
    switch (plan.kind) {
    case FaultKind::None:
        break;
    case FaultKind::Calls:
        verdict.fail = counted && plan.first > 0 &&
                       (call == plan.first || (plan.persistent && call > plan.first));
        break;
    case FaultKind::Allocations:
        verdict.fail = allocates && plan.first > 0 &&
                       (allocation == plan.first || (plan.persistent && allocation > plan.first));
        verdict.error = ERROR_NOT_ENOUGH_MEMORY;
        break;
    case FaultKind::Protected:
        verdict.fail = DeniedWhenProtected(entry, args);
        verdict.error = ERROR_ACCESS_DENIED;
        break;
    }
    if (verdict.fail && ++state.failed == 1) {
        std::lock_guard<std::mutex> hold(state.lock);
        state.firstFailure =
            std::string(entry.name) + " (call " +
            std::to_string(allocates && plan.kind == FaultKind::Allocations ? allocation : call) +
            ")";
    }
    return verdict;
}

template <typename R> R FailureValue(int slot, Verdict verdict) {
    const Failable& entry = g_table[slot];
    intptr_t value = 0;
    switch (entry.failure) {
    case Failure::Zero:
        SetLastError(verdict.error);
        break;
    case Failure::MinusOne:
        SetLastError(verdict.error);
        value = -1;
        break;
    case Failure::Status:
        value = verdict.error == ERROR_NOT_ENOUGH_MEMORY ? ERROR_OUTOFMEMORY : verdict.error;
        break;
    case Failure::HResult:
        value = verdict.error == ERROR_NOT_ENOUGH_MEMORY ? E_OUTOFMEMORY : E_ACCESSDENIED;
        break;
    }
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

// GetProcAddress itself may fail; what it finds of the functions above comes back wrapped.
FARPROC WINAPI GetProcAddressHook(HMODULE module, LPCSTR name) {
    static const int slot = SlotOf(Kernel, "GetProcAddress");
    const uintptr_t raw[3] = {Raw(module), Raw(name), 0};
    Verdict verdict = Decide(slot, raw);
    if (verdict.fail) return FailureValue<FARPROC>(slot, verdict);
    FARPROC found = reinterpret_cast<decltype(&GetProcAddress)>(g_originals[slot])(module, name);
    if (!found || IS_INTRESOURCE(name)) return found;
    int looked = SlotOf(nullptr, name);
    if (looked < 0) return found;
    g_originals[looked] = reinterpret_cast<void*>(found);
    return reinterpret_cast<FARPROC>(g_table[looked].hook);
}

} // namespace

int InstallImportFaults(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    if (!base) return -1;
    g_module = module;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return -1;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return 0;
    int changed = 0;
    for (auto* descriptor =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name; descriptor++) {
        const char* dll = reinterpret_cast<const char*>(base + descriptor->Name);
        if (!descriptor->OriginalFirstThunk) continue; // no names left to match
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            int slot = SlotOf(dll, reinterpret_cast<const char*>(byName->Name));
            if (slot < 0) continue;
            g_originals[slot] = reinterpret_cast<void*>(slots->u1.Function);
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                                &old))
                continue;
            slots->u1.Function = reinterpret_cast<uintptr_t>(g_table[slot].hook);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            changed++;
        }
    }
    return changed;
}

void SetFaultPlan(const FaultPlan& plan) {
    State& state = TheState();
    std::lock_guard<std::mutex> hold(state.lock);
    state.plan = plan;
    state.planSlot = !plan.function.empty()
                         ? [&] {
                               for (int slot = 0; slot < static_cast<int>(std::size(g_table));
                                    slot++)
                                   if (plan.function == g_table[slot].name) return slot;
                               return static_cast<int>(std::size(g_table)); // matches nothing
                           }()
                         : -1;
    state.calls = 0;
    state.allocations = 0;
    state.failed = 0;
    for (auto& seen : state.seen)
        seen = false;
    state.seenOrder.clear();
    state.firstFailure.clear();
}

FaultTally TakeFaultTally() {
    State& state = TheState();
    std::lock_guard<std::mutex> hold(state.lock);
    FaultTally tally;
    tally.calls = state.calls;
    tally.allocations = state.allocations;
    tally.failed = state.failed;
    tally.firstFailure = state.firstFailure;
    for (int slot : state.seenOrder)
        tally.functions.push_back(g_table[slot].name);
    return tally;
}

bool IsFailableImport(const std::string& name) {
    for (const Failable& entry : g_table)
        if (name == entry.name) return true;
    return false;
}
