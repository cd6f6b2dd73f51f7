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

    if (command == SearchCommandFill) return Fill(static_cast<SearchRecordList*>(args->pointer));
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

HRESULT SearchBoxComponent::Fill(SearchRecordList* list) {
    if (!list || !list->sentinel) return E_POINTER;
    SearchRecordNode* sentinel = list->sentinel;
    std::vector<std::wstring> texts = records_;
    if (answer_ != SearchListAnswer::Honest && texts.empty()) texts.push_back(L"lie");
    std::vector<SearchRecordNode*> nodes;
    for (const std::wstring& record : texts) {
        auto* node = static_cast<SearchRecordNode*>(
            HeapAlloc(GetProcessHeap(), 0, sizeof(SearchRecordNode)));
        if (!node) return E_OUTOFMEMORY;
        lstrcpynW(node->text, record.c_str(), 260);
        if (answer_ == SearchListAnswer::UnterminatedText) {
            size_t length = record.size() < 260 ? record.size() : 259;
            for (size_t i = length; i < 260; i++)
                node->text[i] = L'x';
        }
        node->next = sentinel;
        node->prev = sentinel->prev;
        sentinel->prev->next = node;
        sentinel->prev = node;
        list->count++;
        nodes.push_back(node);
    }
    switch (answer_) {
    case SearchListAnswer::CountTooHigh:
        list->count += 100000;
        break;
    case SearchListAnswer::CountZero:
        list->count = 0;
        break;
    case SearchListAnswer::Loop:
        nodes.back()->next = nodes[nodes.size() / 2];
        break;
    case SearchListAnswer::NullSentinel:
        list->sentinel = nullptr;
        break;
    case SearchListAnswer::OpenEnd:
        nodes.back()->next = nullptr;
        break;
    default:
        break;
    }
    return S_OK;
}
