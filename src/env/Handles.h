// One-line owners for the Win32 handles the module takes: each names its closer and its
// invalid value, frees on every path and cannot be copied.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <utility>

// T is a handle (pointer) type; Invalid is its invalid value as an integer (0 or -1).
template <typename T, auto Closer, intptr_t InvalidBits = 0> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    T Get() const { return value_; }
    T* Put() {
        Reset();
        return &value_;
    }
    T Release() { return std::exchange(value_, Invalid()); }
    void Reset() { Reset(Invalid()); }
    void Reset(T value) {
        T old = std::exchange(value_, value);
        if (old != Invalid()) Closer(old);
    }
    explicit operator bool() const { return value_ != Invalid(); }

private:
    static T Invalid() { return reinterpret_cast<T>(InvalidBits); }

    T value_ = Invalid();
};

inline void CloseRegKey(HKEY key) { RegCloseKey(key); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseFindHandle(HANDLE handle) { FindClose(handle); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DestroyImageList(HIMAGELIST list) { ImageList_Destroy(list); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void UnmapView(void* view) { UnmapViewOfFile(view); }
inline void ReleaseModule(HMODULE module) { FreeLibrary(module); }
inline void FreeLocalMemory(HLOCAL memory) { LocalFree(memory); }
inline void DestroyWindowHandle(HWND window) { DestroyWindow(window); }

using UniqueRegKey = UniqueHandle<HKEY, CloseRegKey>;
using UniqueHandleValue = UniqueHandle<HANDLE, CloseKernelHandle>;
using UniqueFindHandle = UniqueHandle<HANDLE, CloseFindHandle, -1>;
using UniqueFont = UniqueHandle<HFONT, DeleteGdiObject>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteGdiObject>;
using UniquePen = UniqueHandle<HPEN, DeleteGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueImageList = UniqueHandle<HIMAGELIST, DestroyImageList>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconHandle>;
using UniqueView = UniqueHandle<void*, UnmapView>;
using UniqueModule = UniqueHandle<HMODULE, ReleaseModule>;
using UniqueLocal = UniqueHandle<HLOCAL, FreeLocalMemory>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindowHandle>;

// A window device context released to its window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and selects the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A counted COM reference: Release on destruction, AddRef on Attach-by-copy.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) { // takes its own reference
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        std::swap(p_, copy.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    T* Detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};
