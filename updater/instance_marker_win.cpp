#include "instance_marker.h"

#include <windows.h>

namespace {
constexpr const char* kClassName = "TFrmLiveUpdate";
}

bool InstanceMarker::anotherIsRunning() {
    return FindWindowA(kClassName, nullptr) != nullptr;
}

struct InstanceMarker::Impl {
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    bool registered = false;
    bool held = false;
};

InstanceMarker::InstanceMarker() : d(std::make_unique<Impl>()) {
    // The window goes up all the same: it is this updater's marker too.
    const bool another = anotherIsRunning();
    d->instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = d->instance;
    wc.lpszClassName = kClassName;
    d->registered = RegisterClassA(&wc) != 0;
    // Top-level (not message-only) and never shown, so that FindWindowA of a
    // second start sees it.
    d->window = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, d->instance, nullptr);
    d->held = d->window != nullptr && !another;
}

InstanceMarker::~InstanceMarker() {
    if (d->window)
        DestroyWindow(d->window);
    if (d->registered)
        UnregisterClassA(kClassName, d->instance);
}

bool InstanceMarker::isHeld() const {
    return d->held;
}
