#include "scripted_http_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Limits that keep a misbehaving client from growing the server without bound.
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxHeadBytes = 1 << 20;
constexpr std::size_t kMaxRequestsKept = 100000;
// After a reply that closes, a peer that keeps sending is cut off after this.
constexpr auto kDrainTime = std::chrono::seconds(2);
// Longest poll, so a missed wake-up only delays shutdown a little.
constexpr int kMaxPollMs = 100;

void setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string pathOf(const std::string& head) {
    std::size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    std::size_t a = line.find(' ');
    if (a == std::string::npos)
        return {};
    std::size_t b = line.find(' ', a + 1);
    std::string target = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    // Absolute form, as a proxy receives it: drop scheme and authority.
    std::size_t scheme = target.find("://");
    if (scheme != std::string::npos && target.find('/') > scheme) {
        std::size_t slash = target.find('/', scheme + 3);
        target = slash == std::string::npos ? std::string("/") : target.substr(slash);
    }
    std::size_t cut = target.find_first_of("?#");
    if (cut != std::string::npos)
        target.resize(cut);
    return target;
}

} // namespace

struct ScriptedHttpServer::Impl {
    enum class Phase { ReadingHead, Sending, Draining };

    struct Connection {
        int fd = -1;
        Phase phase = Phase::ReadingHead;
        std::string in;
        ScriptedReply reply;
        std::size_t sent = 0;
        std::size_t sliceLeft = 0;
        Clock::time_point sendAt{};
        Clock::time_point drainUntil{};
    };

    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::map<std::string, ScriptedReply> routes;
    std::deque<ScriptedReply> queue;
    std::vector<std::string> requests;
    int accepted = 0;

    std::vector<Connection> connections;

    void run() {
        std::vector<pollfd> fds;
        while (!stopping.load()) {
            auto now = Clock::now();
            int timeout = kMaxPollMs;
            fds.clear();
            fds.push_back({wakeRead, POLLIN, 0});
            fds.push_back({connections.size() < kMaxConnections ? listenFd : -1, POLLIN, 0});
            for (auto& c : connections) {
                short events = POLLIN;
                if (c.phase == Phase::Sending) {
                    if (c.sendAt <= now)
                        events |= POLLOUT;
                    else
                        timeout = std::min<int>(timeout, msUntil(c.sendAt, now));
                } else if (c.phase == Phase::Draining) {
                    timeout = std::min<int>(timeout, msUntil(c.drainUntil, now));
                }
                fds.push_back({c.fd, events, 0});
            }
            int n = ::poll(fds.data(), fds.size(), timeout);
            if (n < 0 && errno != EINTR)
                break;
            if (stopping.load())
                break;
            if (fds[0].revents & POLLIN) {
                char buf[64];
                while (::read(wakeRead, buf, sizeof buf) > 0) {
                }
            }
            // Connections accepted below have no pollfd yet: handle only the
            // ones that were polled.
            std::size_t polled = connections.size();
            for (std::size_t i = 0; i < polled; ++i)
                service(connections[i], fds[i + 2].revents);
            if (fds[1].revents & POLLIN)
                acceptOne();
            connections.erase(std::remove_if(connections.begin(), connections.end(),
                                             [](const Connection& c) { return c.fd < 0; }),
                              connections.end());
        }
        for (auto& c : connections)
            closeConnection(c);
        connections.clear();
    }

    static int msUntil(Clock::time_point t, Clock::time_point now) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
        return static_cast<int>(std::clamp<long long>(ms + 1, 0, kMaxPollMs));
    }

    void acceptOne() {
        int fd = ::accept(listenFd, nullptr, nullptr);
        if (fd < 0)
            return;
        setNonBlocking(fd);
        Connection c;
        c.fd = fd;
        connections.push_back(std::move(c));
        std::lock_guard lock(mutex);
        ++accepted;
    }

    void closeConnection(Connection& c) {
        if (c.fd >= 0)
            ::close(c.fd);
        c.fd = -1;
    }

    void service(Connection& c, short revents) {
        if (c.fd < 0)
            return;
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[65536];
            ssize_t got = ::recv(c.fd, buf, sizeof buf, 0);
            if (got == 0 ||
                (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                closeConnection(c);
                return;
            }
            if (got > 0 && c.phase != Phase::Draining) {
                if (c.in.size() + static_cast<std::size_t>(got) > kMaxHeadBytes) {
                    closeConnection(c);
                    return;
                }
                c.in.append(buf, static_cast<std::size_t>(got));
            }
        }
        auto now = Clock::now();
        if (c.phase == Phase::Draining) {
            if (now >= c.drainUntil)
                closeConnection(c);
            return;
        }
        if (c.phase == Phase::ReadingHead)
            takeRequest(c, now);
        if (c.phase == Phase::Sending && now >= c.sendAt)
            sendSome(c, now);
    }

    void takeRequest(Connection& c, Clock::time_point now) {
        std::size_t end = c.in.find("\r\n\r\n");
        if (end == std::string::npos)
            return;
        std::string head = c.in.substr(0, end + 4);
        c.in.erase(0, end + 4);
        std::string path = pathOf(head);
        bool have = false;
        {
            std::lock_guard lock(mutex);
            if (requests.size() < kMaxRequestsKept)
                requests.push_back(head);
            auto r = routes.find(path);
            if (r != routes.end()) {
                c.reply = r->second;
                have = true;
            } else if (!queue.empty()) {
                c.reply = std::move(queue.front());
                queue.pop_front();
                have = true;
            }
        }
        arrived.notify_all();
        if (!have) {
            closeConnection(c);
            return;
        }
        c.phase = Phase::Sending;
        c.sent = 0;
        c.sliceLeft = c.reply.sliceSize ? c.reply.sliceSize : c.reply.bytes.size();
        c.sendAt = now + c.reply.delayBefore;
    }

    void sendSome(Connection& c, Clock::time_point now) {
        const std::string& bytes = c.reply.bytes;
        while (c.sent < bytes.size()) {
            std::size_t want = std::min(c.sliceLeft, bytes.size() - c.sent);
            ssize_t n = ::send(c.fd, bytes.data() + c.sent, want, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    return;
                closeConnection(c);
                return;
            }
            c.sent += static_cast<std::size_t>(n);
            c.sliceLeft -= static_cast<std::size_t>(n);
            if (c.sliceLeft == 0 && c.sent < bytes.size()) {
                c.sliceLeft = c.reply.sliceSize;
                c.sendAt = now + c.reply.slicePause;
                if (c.reply.slicePause.count() > 0)
                    return;
            }
        }
        if (c.reply.closeAfter) {
            // Half-close and read on, so unread request bytes do not turn
            // the close into a reset that could destroy the reply in flight.
            ::shutdown(c.fd, SHUT_WR);
            c.phase = Phase::Draining;
            c.drainUntil = now + kDrainTime;
        } else {
            c.phase = Phase::ReadingHead;
            takeRequest(c, now); // a pipelined request may already be here
        }
    }
};

ScriptedHttpServer::ScriptedHttpServer() : d(new Impl) {
    try {
        d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (d->listenFd < 0)
            throw std::runtime_error("scripted server: socket failed");
        int one = 1;
        ::setsockopt(d->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(d->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(d->listenFd, 64) != 0)
            throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
        socklen_t len = sizeof addr;
        ::getsockname(d->listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
        d->port = ntohs(addr.sin_port);
        setNonBlocking(d->listenFd);
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error("scripted server: pipe failed");
        d->wakeRead = pipeFds[0];
        d->wakeWrite = pipeFds[1];
        d->thread = std::thread([this] { d->run(); });
    } catch (...) {
        if (d->listenFd >= 0)
            ::close(d->listenFd);
        delete d;
        throw;
    }
}

ScriptedHttpServer::~ScriptedHttpServer() {
    d->stopping.store(true);
    char b = 1;
    [[maybe_unused]] ssize_t ignored = ::write(d->wakeWrite, &b, 1);
    if (d->thread.joinable())
        d->thread.join();
    ::close(d->listenFd);
    ::close(d->wakeRead);
    ::close(d->wakeWrite);
    delete d;
}

std::uint16_t ScriptedHttpServer::port() const {
    return d->port;
}

std::string ScriptedHttpServer::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(d->port);
}

void ScriptedHttpServer::route(const std::string& path, ScriptedReply reply) {
    std::lock_guard lock(d->mutex);
    d->routes[path] = std::move(reply);
}

void ScriptedHttpServer::enqueue(ScriptedReply reply) {
    std::lock_guard lock(d->mutex);
    d->queue.push_back(std::move(reply));
}

std::vector<std::string> ScriptedHttpServer::requests() const {
    std::lock_guard lock(d->mutex);
    return d->requests;
}

int ScriptedHttpServer::connectionsAccepted() const {
    std::lock_guard lock(d->mutex);
    return d->accepted;
}

bool ScriptedHttpServer::waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(d->mutex);
    return d->arrived.wait_for(lock, timeout, [&] { return d->requests.size() >= n; });
}

std::string ScriptedHttpServer::reply(int status, const std::string& reason,
                                      const std::string& body,
                                      const std::vector<std::string>& extraHeaders) {
    std::string r = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const auto& h : extraHeaders)
        r += h + "\r\n";
    r += "Connection: close\r\n\r\n";
    return r + body;
}
