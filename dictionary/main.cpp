// Entry of the dictionary: make sure the updater sits beside the program,
// ask the update server for the latest version, then either hand over to the
// updater or open the main window.

#include "application.h"
#include "notifier.h"
#include "platform.h"
#include "ufrmWord.h"
#include "update_server.h"
#include "updater_image.h"
#include "version_gate.h"

#include <memory>

#ifndef QUORVEL_UPDATER_FILE_NAME
#error "QUORVEL_UPDATER_FILE_NAME must be set by the build"
#endif

int main(int argc, char** argv) {
    const std::string folder = platform::applicationFolder();
    const std::string updaterPath = folder + QUORVEL_UPDATER_FILE_NAME;

    // Created only once a box or the window needs it.
    std::unique_ptr<Application> app;
    const auto application = [&]() -> Application& {
        if (!app)
            app = std::make_unique<Application>(argc, argv);
        return *app;
    };

    version_gate::StartupSteps steps;
    steps.extractUpdater = [&] { return ExtractResourceFile("update", updaterPath); };
    steps.latestVersion = [] { return GetLatestVersion(); };
    steps.notifyUpgrade = [&] {
        application();
        Notifier::information(nullptr, QStringLiteral("系统升级提示"),
                              QStringLiteral("发现新版本程序,需要升级."));
    };
    steps.startUpdater = [&] {
        platform::startDetached(updaterPath, {std::string(update_server::kLaunchToken)});
    };
    steps.runWindow = [&] {
        Application& a = application();
        a.setApplicationDisplayName(QStringLiteral("Verlune"));
        TfrmWord window(folder);
        window.show();
        return a.exec();
    };
    return version_gate::runStartup(steps);
}
