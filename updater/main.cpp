// Update: started by the dictionary with its launch token, it runs the
// update once and ends.

#include "application.h"
#include "command_line.h"
#include "instance_marker.h"
#include "platform.h"
#include "uFrmLiveUpdate.h"
#include "update_server.h"

int main(int argc, char** argv) {
    if (InstanceMarker::anotherIsRunning())
        return 0;
    const auto token = command_line::firstArgument(argc, argv);
    if (!token || *token != update_server::kLaunchToken)
        return 0;

    Application app(argc, argv);
    // The application name, not the display name: Qt would append a display
    // name to the window's caption on some desktops. The default error box
    // takes its caption from here all the same.
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin升级"));

    TFrmLiveUpdate window(platform::applicationFolder());
    window.show();
    return app.exec();
}
