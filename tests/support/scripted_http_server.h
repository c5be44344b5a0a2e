#pragma once
// A scripted HTTP server on 127.0.0.1 for tests. It serves in a thread of its
// own and sends replies as exact bytes, so a test controls every status line,
// header and body byte, and records every request exactly as it arrived.
//
// A request is matched to a reply by its request-target path (the part before
// any "?"; for an absolute-form target, as a proxy receives it, the path of
// that URL). A request whose path has no route takes the next queued reply;
// with none queued the connection is closed without a reply.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct ScriptedReply {
    std::string bytes;                         // sent exactly as given
    std::chrono::milliseconds delayBefore{0};  // wait before the first byte
    std::size_t sliceSize = 0;                 // 0: all at once; otherwise in slices of this size
    std::chrono::milliseconds slicePause{0};   // pause after each slice
    bool closeAfter = true;                    // close the connection once the reply is sent
};

class ScriptedHttpServer {
public:
    ScriptedHttpServer();  // listens on an ephemeral port of 127.0.0.1
    ~ScriptedHttpServer(); // stops the thread and closes every connection
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::uint16_t port() const;
    std::string baseUrl() const; // "http://127.0.0.1:<port>"

    // Every request for `path` gets this reply.
    void route(const std::string& path, ScriptedReply reply);
    // Replies for requests without a route, in order.
    void enqueue(ScriptedReply reply);

    // The requests received so far, each its head as exact bytes up to and
    // including the blank line.
    std::vector<std::string> requests() const;
    int connectionsAccepted() const;

    // Waits until `n` requests have arrived or `timeout` passed; returns
    // whether they did.
    bool waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;

    // A complete reply with Content-Length (and Connection: close when
    // `closeAfter` is left true by the caller's ScriptedReply).
    static std::string reply(int status, const std::string& reason, const std::string& body,
                             const std::vector<std::string>& extraHeaders = {});
    static std::string ok(const std::string& body) { return reply(200, "OK", body); }

private:
    struct Impl;
    Impl* d;
};
