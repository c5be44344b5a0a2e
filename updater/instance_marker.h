#pragma once
// The marker "TFrmLiveUpdate" by which a running updater is recognised.
// On Windows it is a hidden top-level window of that class; elsewhere a
// per-user local socket of that name that the running updater listens on.

#include <memory>

class InstanceMarker {
public:
    // True when an updater of this user holds its marker right now. Needs
    // no application object.
    static bool anotherIsRunning();

    // Puts the marker up; it stays up until destruction. Needs the
    // application object (the marker is serviced by its event loop).
    InstanceMarker();
    ~InstanceMarker();
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;

    // Whether this object holds the marker (false when another did first).
    bool isHeld() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
