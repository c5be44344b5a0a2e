#pragma once
// The one HTTP client of both programs, on libcurl.
//
// Plain HTTP/1.1 only, GET only, no redirects followed, no credentials, no
// proxy from the environment. Every failure reaches the caller as HttpError:
// a connection that cannot be made, a broken transfer, a body shorter than
// its Content-Length, a status outside 200..299, any reply carrying a
// Location header, a status or header line longer than 16384 bytes, and any
// URL that is not http://.
//
// A client is owned by one thread. Cookies set by replies are kept for the
// client's lifetime and sent back to the same site.
//
// A user name or password in a URL is dropped, never sent. A proxy is used
// only when its host is set; a host that is not a plain host name, or a port
// outside 1..65535, fails the request rather than going elsewhere.
// The read time-out counts from the connection being made and from each
// arrival of data; the total time-out and the connect time-out are libcurl's.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Time allowed to make a connection; zero leaves it to the system.
    void setConnectTimeout(std::chrono::milliseconds t);
    // Longest wait for incoming data once connected; zero waits without limit.
    void setReadTimeout(std::chrono::milliseconds t);
    // Bound on a whole request, connecting included; zero means none.
    void setTotalTimeout(std::chrono::milliseconds t);

    // An empty host means a direct connection, whatever the port.
    void setProxyHost(const std::string& host);
    void setProxyPort(int port);
    const std::string& proxyHost() const;
    int proxyPort() const;

    // GET `url` and return the whole body (empty when the reply has none).
    std::string get(const std::string& url);

    // GET `url` and write the body into `out`. The body of an error reply
    // raises the progress events but is never written into `out`.
    void get(const std::string& url, std::ostream& out);

    // Closes the open connection, if any; the next request opens a new one.
    // Called during a transfer (from the pump or an event), it takes effect
    // when that transfer ends.
    void disconnect();

    // Progress events, raised while a reply body is read:
    //  - onWorkBegin(expected): before the body, with its Content-Length, or
    //    0 when the body runs to the close of the connection;
    //  - onWork(count): after each block of up to 32 KiB, with the body bytes
    //    received since the begin;
    //  - onWorkEnd(): after the body, also when it broke off with an error.
    // A Content-Length of 0 raises none. A chunked reply raises one
    // begin/work/end group per chunk, with the chunk's size as `expected`.
    std::function<void(std::int64_t expected)> onWorkBegin;
    std::function<void(std::int64_t count)> onWork;
    std::function<void()> onWorkEnd;

    // Transfer pump: called every 125 ms while a connection is being made,
    // and whenever 250 ms pass without incoming data while a reply is
    // awaited or read; never while data keeps arriving. It may process the
    // program's pending events but must not start another request on this
    // client (that request fails with HttpError) nor destroy the client.
    // What the pump throws ends the transfer and reaches the caller.
    std::function<void()> pump;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
