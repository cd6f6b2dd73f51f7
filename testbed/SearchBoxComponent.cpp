#include "testbed/SearchBoxComponent.h"

#include <algorithm>

#include "testbed/WindowClass.h"

SearchBoxComponent::SearchBoxComponent(HostSite* site, HWND parent,
                                       const std::vector<std::wstring>& records,
                                       const WCHAR* containerClass)
    : site_(site), records_(records) {
    EnsureWindowClass(containerClass, DefWindowProcW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    container_ = CreateWindowExW(0, containerClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 22,
                                 parent, nullptr, instance, nullptr);
    if (container_)
        edit_ = CreateWindowExW(0, L"Edit", nullptr, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
                                200, 22, container_, nullptr, instance, nullptr);
    if (site_)
        site_->SetComponentHandler(SearchComponentName,
                                   [this](LONG message, LONG command, void* payload) {
                                       return OnCommand(message, command, payload);
                                   });
}

SearchBoxComponent::~SearchBoxComponent() {
    // The site may outlive the component: later commands find no component.
    if (site_)
        site_->SetComponentHandler(SearchComponentName,
                                   [](LONG, LONG, void*) -> HRESULT { return E_FAIL; });
    if (container_ && IsWindow(container_)) DestroyWindow(container_);
}

HRESULT SearchBoxComponent::OnCommand(LONG message, LONG command, void* payload) {
    SearchCommand received;
    received.message = message;
    received.command = command;
    auto* args = static_cast<SearchCommandArgs*>(payload);
    if (args) {
        received.all = args->all;
        received.pointer = args->pointer;
        if (command == SearchCommandDelete && !args->all && args->pointer)
            received.text = static_cast<const WCHAR*>(args->pointer);
    }
    commands_.push_back(received);
    if (message != SearchComponentMessage || !args) return E_INVALIDARG;

    if (command == SearchCommandFill) {
        auto* list = static_cast<SearchRecordList*>(args->pointer);
        if (!list || !list->sentinel) return E_POINTER;
        SearchRecordNode* sentinel = list->sentinel;
        for (const std::wstring& record : records_) {
            auto* node = static_cast<SearchRecordNode*>(
                HeapAlloc(GetProcessHeap(), 0, sizeof(SearchRecordNode)));
            if (!node) return E_OUTOFMEMORY;
            lstrcpynW(node->text, record.c_str(), 260);
            node->next = sentinel;
            node->prev = sentinel->prev;
            sentinel->prev->next = node;
            sentinel->prev = node;
            list->count++;
        }
        return S_OK;
    }
    if (command == SearchCommandDelete) {
        if (args->all) {
            records_.clear();
            return S_OK;
        }
        if (!args->pointer) return E_POINTER;
        records_.erase(std::remove(records_.begin(), records_.end(), received.text),
                       records_.end());
        return S_OK;
    }
    return E_INVALIDARG;
}
