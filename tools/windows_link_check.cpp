// Never run: linked by check-windows-sources.sh with the cross compiler, it
// takes the address of every function of the Windows platform layer, so
// that one declared but not defined, or one that needs a system library the
// build does not name, shows up without a Windows machine.
#include "command_line.h"
#include "instance_marker.h"
#include "internet_settings.h"
#include "platform.h"
#include "target_file.h"
#include "text.h"
#include "updater_image.h"

#include <cstdio>

int main(int argc, char** argv) {
    const void* const functions[] = {
        reinterpret_cast<const void*>(&platform::executablePath),
        reinterpret_cast<const void*>(&platform::applicationFolder),
        reinterpret_cast<const void*>(&platform::pathSeparator),
        reinterpret_cast<const void*>(&platform::fileExists),
        reinterpret_cast<const void*>(&platform::folderExists),
        reinterpret_cast<const void*>(&platform::startDetached),
        reinterpret_cast<const void*>(&platform::environment),
        reinterpret_cast<const void*>(&text::cp936ToUtf8),
        reinterpret_cast<const void*>(&text::utf8ToCp936),
        reinterpret_cast<const void*>(&internet_settings::proxyEnable),
        reinterpret_cast<const void*>(&internet_settings::proxyServer),
        reinterpret_cast<const void*>(&command_line::firstArgument),
        reinterpret_cast<const void*>(&target_file::nativePath),
        reinterpret_cast<const void*>(&target_file::makeRunnable),
        reinterpret_cast<const void*>(&InstanceMarker::anotherIsRunning),
        reinterpret_cast<const void*>(&ExtractResourceFile),
        reinterpret_cast<const void*>(&updater_image::findResource),
        reinterpret_cast<const void*>(&updater_image::writeNewFile),
    };
    // The classes' members, through a use of each.
    if (argc > 1) {
        InstanceMarker marker;
        target_file::TemporaryFile file(argv[1]);
        file.stream() << file.path();
        std::printf("%d %d %d\n", marker.isHeld(), file.finish(), file.replace(argv[1]));
    }
    std::printf("%p\n", static_cast<const void*>(functions));
    return 0;
}
