// COM failures on host and browser interfaces travel as _com_error.
#pragma once

#include <comdef.h>

inline void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw _com_error(hr);
}
