#include "instance_marker.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool isDirectory(const char* path) {
    struct stat st {};
    return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The runtime folder is private to the user; the temporary folder is the
// fallback where none exists, hence the user id in the name.
std::string markerPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = isDirectory(runtime) ? runtime : isDirectory(tmp) ? tmp : "/tmp";
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder + "/TFrmLiveUpdate-" + std::to_string(getuid());
}

} // namespace

bool InstanceMarker::anotherIsRunning() {
    const std::string path = markerPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    // A full backlog (EAGAIN) still means somebody listens there. A socket
    // file left behind by a crash refuses the connection.
    const bool listening = rc == 0 || errno == EAGAIN || errno == EINPROGRESS;
    close(fd);
    return listening;
}

struct InstanceMarker::Impl {
    QLocalServer server;
    bool held = false;
};

InstanceMarker::InstanceMarker() : d(std::make_unique<Impl>()) {
    const QString path = QString::fromStdString(markerPath());
    d->server.setSocketOptions(QLocalServer::UserAccessOption);
    d->held = d->server.listen(path);
    if (!d->held && d->server.serverError() == QAbstractSocket::AddressInUseError &&
        !anotherIsRunning()) {
        QLocalServer::removeServer(path);
        d->held = d->server.listen(path);
    }
    // A caller only wants to know that we are here; drop its connection.
    QObject::connect(&d->server, &QLocalServer::newConnection, &d->server, [this] {
        while (QLocalSocket* s = d->server.nextPendingConnection()) {
            s->abort();
            s->deleteLater();
        }
    });
}

InstanceMarker::~InstanceMarker() = default;

bool InstanceMarker::isHeld() const {
    return d->held;
}
