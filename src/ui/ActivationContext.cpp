#include "ui/ActivationContext.h"

namespace {

// GetProcAddress's answer as the function type it really has (through the generic function
// pointer type, which the compiler accepts as a deliberate cast).
template <typename Function> Function LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The activation context functions appeared with Windows XP, so they are looked up in kernel32
// at run time rather than imported.
struct ActCtxFunctions {
    decltype(&CreateActCtxW) create = nullptr;
    decltype(&ActivateActCtx) activate = nullptr;
    decltype(&DeactivateActCtx) deactivate = nullptr;
    decltype(&ReleaseActCtx) release = nullptr;

    ActCtxFunctions() {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        if (!kernel) return;
        create = LookUp<decltype(create)>(kernel, "CreateActCtxW");
        activate = LookUp<decltype(activate)>(kernel, "ActivateActCtx");
        deactivate = LookUp<decltype(deactivate)>(kernel, "DeactivateActCtx");
        release = LookUp<decltype(release)>(kernel, "ReleaseActCtx");
    }

    bool Present() const { return create && activate && deactivate && release; }
};

const ActCtxFunctions& Functions() {
    static const ActCtxFunctions functions;
    return functions;
}

} // namespace

ActivationContext::ActivationContext(HINSTANCE module) {
    const ActCtxFunctions& f = Functions();
    if (!f.Present()) {
        usable_ = 1;
        return;
    }
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = module;
    request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    context_ = f.create(&request);
    if (context_ == INVALID_HANDLE_VALUE) return;
    if (!f.activate(context_, &cookie_)) {
        cookie_ = 0;
        return;
    }
    usable_ = 1;
}

ActivationContext::~ActivationContext() {
    const ActCtxFunctions& f = Functions();
    if (cookie_) f.deactivate(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) f.release(context_);
}
