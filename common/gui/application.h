#pragma once
// The application object of both programs. Exceptions that escape an event
// handler end in the default error box and the event loop keeps running.

#include <QApplication>
#include <exception>
#include <functional>

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs `fn`; an exception that it throws is shown in the default error box.
// Returns false in that case. For handlers that Qt calls outside notify()
// (callbacks of asynchronous work, for example).
bool runGuarded(const std::function<void()>& fn);

// Shows the default error box for the exception in flight or given.
void showDefaultError(const std::exception& e);
