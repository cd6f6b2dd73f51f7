// A browser object as a host site hands it out for IID_IWebBrowser2: every method answers
// E_NOTIMPL except IUnknown, the IDispatch basics and get_HWND, which gives a chosen frame.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "env/Handles.h"

class TestBrowser : public IWebBrowser2 {
public:
    // A new browser with one reference, owned by the returned pointer.
    static ComPtr<TestBrowser> Make(HWND frame);

    TestBrowser(const TestBrowser&) = delete;
    TestBrowser& operator=(const TestBrowser&) = delete;

    void SetFrameWindow(HWND frame) { frame_ = frame; }
    // get_HWND answers this code (with a zero handle) when it is a failure code.
    void SetFrameWindowResult(HRESULT result) { frameResult_ = result; }
    int FrameWindowQueries() const { return frameQueries_; }
    LONG RefCount() const { return refs_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;

    // IWebBrowser
    HRESULT STDMETHODCALLTYPE GoBack() override;
    HRESULT STDMETHODCALLTYPE GoForward() override;
    HRESULT STDMETHODCALLTYPE GoHome() override;
    HRESULT STDMETHODCALLTYPE GoSearch() override;
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName,
                                       VARIANT* postData, VARIANT* headers) override;
    HRESULT STDMETHODCALLTYPE Refresh() override;
    HRESULT STDMETHODCALLTYPE Refresh2(VARIANT* level) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_Container(IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE get_Type(BSTR* type) override;
    HRESULT STDMETHODCALLTYPE get_Left(LONG* value) override;
    HRESULT STDMETHODCALLTYPE put_Left(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_Top(LONG* value) override;
    HRESULT STDMETHODCALLTYPE put_Top(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_Width(LONG* value) override;
    HRESULT STDMETHODCALLTYPE put_Width(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_Height(LONG* value) override;
    HRESULT STDMETHODCALLTYPE put_Height(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* value) override;

    // IWebBrowserApp
    HRESULT STDMETHODCALLTYPE Quit() override;
    HRESULT STDMETHODCALLTYPE ClientToWindow(int* cx, int* cy) override;
    HRESULT STDMETHODCALLTYPE PutProperty(BSTR property, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR property, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override;
    HRESULT STDMETHODCALLTYPE get_FullName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_StatusBar(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_StatusBar(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_StatusText(BSTR* text) override;
    HRESULT STDMETHODCALLTYPE put_StatusText(BSTR text) override;
    HRESULT STDMETHODCALLTYPE get_ToolBar(int* value) override;
    HRESULT STDMETHODCALLTYPE put_ToolBar(int value) override;
    HRESULT STDMETHODCALLTYPE get_MenuBar(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_MenuBar(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_FullScreen(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_FullScreen(VARIANT_BOOL value) override;

    // IWebBrowser2
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                                        VARIANT* postData, VARIANT* headers) override;
    HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID command, OLECMDF* status) override;
    HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in,
                                     VARIANT* out) override;
    HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size) override;
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override;
    HRESULT STDMETHODCALLTYPE get_Offline(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_Offline(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_RegisterAsBrowser(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_RegisterAsBrowser(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_TheaterMode(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_TheaterMode(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AddressBar(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AddressBar(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Resizable(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_Resizable(VARIANT_BOOL value) override;

private:
    explicit TestBrowser(HWND frame) : frame_(frame) {}
    virtual ~TestBrowser() = default;

    LONG refs_ = 1;
    HWND frame_;
    HRESULT frameResult_ = S_OK;
    int frameQueries_ = 0;
};
