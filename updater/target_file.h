#pragma once
// The file-system side of a download: the temporary file beside a target
// and its atomic placing, and making a run file startable. One
// implementation per platform (target_file_posix.cpp, target_file_win.cpp).

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace target_file {

// The updater's folder followed by a manifest path, with the manifest's
// separators ("/" and "\") turned into this platform's.
std::string nativePath(std::string_view appPath, std::string_view relative);

// A temporary file, created empty (an existing one is cut to nothing) and
// held open so that no other opener can have it at the same time.
class TemporaryFile {
public:
    // Throws std::runtime_error when the file cannot be created or is held
    // by somebody else.
    explicit TemporaryFile(std::string path);
    ~TemporaryFile(); // closes the file if still open; the file stays on disk
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    std::ostream& stream();

    // Writes everything out to the disk and closes the file. False when any
    // write failed on the way.
    bool finish();

    // Moves the finished file over `target` in one step, the target keeping
    // its permissions when it exists. On failure the temporary file is
    // removed and the target is left as it was.
    bool replace(const std::string& target);

    const std::string& path() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Before a run file is started: where the platform has execute permissions,
// a file that its owner cannot execute is made executable (wherever it is
// readable). Returns false when that was needed and failed.
bool makeRunnable(const std::string& path);

} // namespace target_file
