#include "testbed/TestBrowser.h"

ComPtr<TestBrowser> TestBrowser::Make(HWND frame) {
    ComPtr<TestBrowser> browser;
    browser.Attach(new TestBrowser(frame));
    return browser;
}

HRESULT TestBrowser::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IWebBrowser &&
        iid != IID_IWebBrowserApp && iid != IID_IWebBrowser2)
        return E_NOINTERFACE;
    *object = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
}

ULONG TestBrowser::AddRef() {
    return InterlockedIncrement(&refs_);
}

ULONG TestBrowser::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
}

HRESULT TestBrowser::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT TestBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TestBrowser::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

HRESULT TestBrowser::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT TestBrowser::get_HWND(SHANDLE_PTR* window) {
    frameQueries_++;
    if (!window) return E_POINTER;
    if (FAILED(frameResult_)) {
        *window = 0;
        return frameResult_;
    }
    *window = reinterpret_cast<SHANDLE_PTR>(frame_);
    return S_OK;
}

// Nothing else of a browser is needed by the module so far.
HRESULT TestBrowser::GoBack() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::GoForward() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::GoHome() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::GoSearch() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Refresh() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Refresh2(VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Stop() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Application(IDispatch**) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Parent(IDispatch**) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Container(IDispatch**) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Document(IDispatch**) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_TopLevelContainer(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Type(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Left(LONG*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Left(LONG) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Top(LONG*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Top(LONG) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Width(LONG*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Width(LONG) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Height(LONG*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Height(LONG) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_LocationName(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_LocationURL(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Busy(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Quit() {
    return E_NOTIMPL;
}
HRESULT TestBrowser::ClientToWindow(int*, int*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::PutProperty(BSTR, VARIANT) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::GetProperty(BSTR, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Name(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_FullName(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Path(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Visible(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Visible(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_StatusBar(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_StatusBar(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_StatusText(BSTR*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_StatusText(BSTR) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_ToolBar(int*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_ToolBar(int) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_MenuBar(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_MenuBar(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_FullScreen(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_FullScreen(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::QueryStatusWB(OLECMDID, OLECMDF*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_ReadyState(READYSTATE*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Offline(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Offline(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Silent(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Silent(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_RegisterAsBrowser(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_RegisterAsBrowser(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_RegisterAsDropTarget(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_RegisterAsDropTarget(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_TheaterMode(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_TheaterMode(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_AddressBar(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_AddressBar(VARIANT_BOOL) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::get_Resizable(VARIANT_BOOL*) {
    return E_NOTIMPL;
}
HRESULT TestBrowser::put_Resizable(VARIANT_BOOL) {
    return E_NOTIMPL;
}
