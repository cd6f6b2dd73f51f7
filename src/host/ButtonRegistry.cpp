#include "host/ButtonRegistry.h"

#include <cstdlib>
#include <cstring>

namespace {

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~LockGuard() { LeaveCriticalSection(&lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

} // namespace

ButtonRegistry::ButtonRegistry() {
    InitializeCriticalSection(&lock_);
}

ButtonRegistry::~ButtonRegistry() {
    {
        LockGuard guard(lock_);
        free(keys_);
        free(values_);
        keys_ = nullptr;
        values_ = nullptr;
        count_ = 0;
    }
    DeleteCriticalSection(&lock_);
}

ToolbarButton* ButtonRegistry::Find(LONG id) {
    LockGuard guard(lock_);
    for (int i = 0; i < count_; i++) {
        if (keys_[i] == id) return values_[i];
    }
    return nullptr;
}

int ButtonRegistry::Add(LONG id, ToolbarButton* button) {
    LockGuard guard(lock_);
    // Both arrays grow by exactly one element; when the second growth fails the first block
    // stays one element larger, which is harmless because count is what bounds both.
    auto* keys = static_cast<LONG*>(realloc(keys_, sizeof(LONG) * (count_ + 1)));
    if (!keys) return 0;
    keys_ = keys;
    auto* values =
        static_cast<ToolbarButton**>(realloc(values_, sizeof(ToolbarButton*) * (count_ + 1)));
    if (!values) return 0;
    values_ = values;
    keys_[count_] = id;
    values_[count_] = button;
    count_++;
    return 1;
}

int ButtonRegistry::Remove(LONG id) {
    LockGuard guard(lock_);
    int index = -1;
    for (int i = 0; i < count_; i++) {
        if (keys_[i] == id) {
            index = i;
            break;
        }
    }
    if (index < 0) return 0;

    int following = count_ - index - 1;
    if (following > 0) {
        memmove(keys_ + index, keys_ + index + 1, sizeof(LONG) * following);
        memmove(values_ + index, values_ + index + 1, sizeof(ToolbarButton*) * following);
    }
    // Shrinking to zero elements frees the block; a failed shrink keeps the larger one.
    int remaining = count_ - 1;
    if (remaining == 0) {
        free(keys_);
        free(values_);
        keys_ = nullptr;
        values_ = nullptr;
    } else {
        if (auto* keys = static_cast<LONG*>(realloc(keys_, sizeof(LONG) * remaining))) keys_ = keys;
        if (auto* values =
                static_cast<ToolbarButton**>(realloc(values_, sizeof(ToolbarButton*) * remaining)))
            values_ = values;
    }
    count_ = remaining;
    return 1;
}

int ButtonRegistry::Count() {
    LockGuard guard(lock_);
    return count_;
}

LONG ButtonRegistry::KeyAt(int index) {
    LockGuard guard(lock_);
    return index >= 0 && index < count_ ? keys_[index] : 0;
}
