#include "application.h"

#include "notifier.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    runGuarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}

bool runGuarded(const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        showDefaultError(e);
    } catch (...) {
        Notifier::defaultError(QStringLiteral("未知错误"));
    }
    return false;
}

void showDefaultError(const std::exception& e) {
    Notifier::defaultError(QString::fromUtf8(e.what()));
}
