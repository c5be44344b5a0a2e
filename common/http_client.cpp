#include "http_client.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>

#include <curl/curl.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxLineBytes = 16384;
constexpr long kBlockBytes = 32768;
constexpr milliseconds kConnectPumpInterval{125};
constexpr milliseconds kIdlePumpInterval{250};

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw HttpError("libcurl could not be initialised");
    });
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string_view trimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

// The value of `line` when it is the header `name` (given with its colon).
bool headerValue(std::string_view line, std::string_view name, std::string& value) {
    if (!startsWithNoCase(line, name))
        return false;
    std::string_view v = line.substr(name.size());
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
        v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
        v.remove_suffix(1);
    value.assign(v);
    return true;
}

bool tokenListHas(std::string_view list, std::string_view token) {
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string_view item = list.substr(
            pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item.size() == token.size() && startsWithNoCase(item, token))
            return true;
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return false;
}

std::string systemErrorText(long code) {
#ifdef _WIN32
    if (code == 10061) // WSAECONNREFUSED
        return "connection refused";
    if (code == 10060) // WSAETIMEDOUT
        return "connection timed out";
    return "system error " + std::to_string(code);
#else
    return std::strerror(static_cast<int>(code));
#endif
}

// A proxy host is passed to libcurl as a URL; anything but a plain host name
// could smuggle in credentials ("user@host") or a scheme.
bool plainHostName(const std::string& host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_';
    });
}

// Splits the raw chunked stream (libcurl is told not to decode it, but still
// tracks it to find the end of the body) into chunk data, so that each chunk
// can raise its own group of progress events.
class ChunkReader {
public:
    struct Handler {
        virtual void chunkBegin(std::int64_t size) = 0;
        virtual void chunkData(const char* p, std::size_t n) = 0;
        virtual void chunkEnd() = 0;

    protected:
        ~Handler() = default;
    };

    void feed(const char* p, std::size_t n, Handler& h) {
        std::size_t i = 0;
        while (i < n) {
            char c = p[i];
            switch (state_) {
            case State::Size:
                if (std::isxdigit(static_cast<unsigned char>(c))) {
                    if (size_ < (std::int64_t{1} << 58))
                        size_ = size_ * 16 + hexValue(c);
                    ++i;
                } else {
                    state_ = State::SizeLineRest;
                }
                break;
            case State::SizeLineRest: // chunk extensions, then the line end
                ++i;
                if (c == '\n') {
                    if (size_ == 0) {
                        state_ = State::Trailer;
                        lineBytes_ = 0;
                    } else {
                        left_ = size_;
                        state_ = State::Data;
                        h.chunkBegin(size_);
                    }
                }
                break;
            case State::Data: {
                std::size_t take = static_cast<std::size_t>(
                    std::min<std::int64_t>(left_, static_cast<std::int64_t>(n - i)));
                h.chunkData(p + i, take);
                i += take;
                left_ -= static_cast<std::int64_t>(take);
                if (left_ == 0) {
                    h.chunkEnd();
                    state_ = State::DataEnd;
                }
                break;
            }
            case State::DataEnd:
                ++i;
                if (c == '\n') {
                    state_ = State::Size;
                    size_ = 0;
                }
                break;
            case State::Trailer:
                ++i;
                if (c == '\n') {
                    if (lineBytes_ == 0)
                        state_ = State::Done;
                    lineBytes_ = 0;
                } else if (c != '\r') {
                    ++lineBytes_;
                }
                break;
            case State::Done:
                return;
            }
        }
    }

    bool inChunk() const { return state_ == State::Data; }

private:
    enum class State { Size, SizeLineRest, Data, DataEnd, Trailer, Done };
    static int hexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    }
    State state_ = State::Size;
    std::int64_t size_ = 0;
    std::int64_t left_ = 0;
    std::size_t lineBytes_ = 0;
};

} // namespace

struct HttpClient::Impl : ChunkReader::Handler {
    HttpClient& owner;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;

    milliseconds connectTimeout{0};
    milliseconds readTimeout{0};
    milliseconds totalTimeout{0};
    std::string proxyHost;
    int proxyPort = 0;

    bool busy = false;
    bool disconnectAfter = false;

    // Per-request state.
    struct Sink {
        std::ostream* stream = nullptr;
        std::string* text = nullptr;
    } sink;
    char errorBuffer[CURL_ERROR_SIZE]{};
    std::exception_ptr callbackError;
    std::string ownError; // a failure found by the callbacks themselves
    std::string statusLine;
    long status = 0;
    std::string location;
    bool hasLocation = false;
    std::int64_t contentLength = -1;
    bool chunked = false;
    bool headersDone = false;
    bool failingReply = false;
    bool inWork = false; // begin raised, end not yet
    std::int64_t count = 0;
    bool workPending = false; // chunk bytes taken since the last work event
    ChunkReader chunks;
    bool connected = false;
    Clock::time_point lastIncoming{};

    explicit Impl(HttpClient& o) : owner(o) {
        initCurlOnce();
        easy = curl_easy_init();
        multi = curl_multi_init();
        if (!easy || !multi)
            throw HttpError("libcurl could not create a transfer");
        // The client's own header values; the empty ones keep libcurl from
        // adding its defaults (Proxy-Connection through a proxy).
        for (const char* h :
             {"Content-Type: text/html", "Accept: text/html, */*",
              "User-Agent: Mozilla/3.0 (compatible; Indy Library)", "Proxy-Connection:", "Expect:"})
            headers = curl_slist_append(headers, h);
        // Cookies live in this handle for the client's lifetime.
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    }

    ~Impl() {
        curl_multi_cleanup(multi);
        curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }

    void reset() {
        errorBuffer[0] = 0;
        callbackError = nullptr;
        ownError.clear();
        resetReply();
        connected = false;
    }

    void resetReply() {
        statusLine.clear();
        status = 0;
        location.clear();
        hasLocation = false;
        contentLength = -1;
        chunked = false;
        headersDone = false;
        failingReply = false;
        count = 0;
        workPending = false;
        chunks = ChunkReader();
    }

    // -- events

    void begin(std::int64_t expected) {
        inWork = true;
        count = 0;
        if (owner.onWorkBegin)
            owner.onWorkBegin(expected);
    }
    void work() {
        workPending = false;
        if (owner.onWork)
            owner.onWork(count);
    }
    void end() {
        inWork = false;
        if (owner.onWorkEnd)
            owner.onWorkEnd();
    }

    void chunkBegin(std::int64_t size) override { begin(size); }
    void chunkData(const char* p, std::size_t n) override {
        count += static_cast<std::int64_t>(n);
        workPending = n > 0;
        deliver(p, n);
    }
    void chunkEnd() override {
        work();
        end();
    }

    void deliver(const char* p, std::size_t n) {
        if (failingReply || n == 0)
            return;
        if (sink.text) {
            sink.text->append(p, n);
        } else if (sink.stream) {
            sink.stream->write(p, static_cast<std::streamsize>(n));
            if (!*sink.stream)
                throw HttpError("the body could not be written");
        }
    }

    // -- libcurl callbacks

    static int onPrereq(void* self, char*, char*, int, int) {
        auto* d = static_cast<Impl*>(self);
        d->connected = true;
        d->lastIncoming = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    static size_t onHeader(char* p, size_t size, size_t n, void* self) {
        auto* d = static_cast<Impl*>(self);
        size_t bytes = size * n;
        try {
            d->lastIncoming = Clock::now();
            if (!d->header(std::string_view(p, bytes)))
                return 0;
        } catch (...) {
            d->callbackError = std::current_exception();
            return 0;
        }
        return bytes;
    }

    bool header(std::string_view raw) {
        std::string_view line = trimLineEnd(raw);
        if (headersDone)
            return true; // trailers; libcurl has checked them
        if (line.size() > kMaxLineBytes) {
            ownError = "a status or header line is longer than " + std::to_string(kMaxLineBytes) +
                       " bytes";
            return false;
        }
        if (statusLine.empty()) {
            statusLine.assign(line);
            return true;
        }
        if (!line.empty()) {
            std::string value;
            if (headerValue(line, "Content-Length:", value)) {
                try {
                    contentLength = std::stoll(value);
                } catch (...) {
                    contentLength = -1; // libcurl rejects the reply itself
                }
            } else if (headerValue(line, "Transfer-Encoding:", value)) {
                chunked = tokenListHas(value, "chunked");
            } else if (headerValue(line, "Location:", value)) {
                hasLocation = true;
                location = value;
            }
            return true;
        }
        // The blank line: the end of one reply head.
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) {
            resetReply(); // an interim reply; the real one follows
            return true;
        }
        headersDone = true;
        failingReply = status < 200 || status > 299 || hasLocation;
        if (status == 204 || status == 304 || chunked)
            return true;
        if (contentLength != 0)
            begin(contentLength < 0 ? 0 : contentLength);
        return true;
    }

    static size_t onBody(char* p, size_t size, size_t n, void* self) {
        auto* d = static_cast<Impl*>(self);
        size_t bytes = size * n;
        try {
            d->lastIncoming = Clock::now();
            if (d->chunked) {
                d->chunks.feed(p, bytes, *d);
                if (d->chunks.inChunk() && d->workPending)
                    d->work();
            } else {
                d->count += static_cast<std::int64_t>(bytes);
                d->deliver(p, bytes);
                d->work();
            }
        } catch (...) {
            d->callbackError = std::current_exception();
            return CURL_WRITEFUNC_ERROR;
        }
        return bytes;
    }

    // -- the request

    void configure(const std::string& url) {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_HTTP_TRANSFER_DECODING, 0L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBlockBytes);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(connectTimeout.count()));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeout.count()));
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Impl::onPrereq);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
        // An empty proxy string also keeps libcurl from reading http_proxy
        // and friends; an empty no-proxy list keeps no_proxy out as well.
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        if (proxyHost.empty()) {
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
        } else {
            if (!plainHostName(proxyHost))
                throw HttpError("the proxy host \"" + proxyHost + "\" is not a host name");
            if (proxyPort < 1 || proxyPort > 65535)
                throw HttpError("the proxy port " + std::to_string(proxyPort) + " is not valid");
            curl_easy_setopt(easy, CURLOPT_PROXY, proxyHost.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(proxyPort));
            curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
        }
    }

    // The URL as it goes out: http only, and never with a user name or
    // password, which libcurl would otherwise send.
    static std::string checkedUrl(const std::string& url) {
        CURLU* u = curl_url();
        if (!u)
            throw HttpError("out of memory");
        struct Free {
            CURLU* u;
            ~Free() { curl_url_cleanup(u); }
        } freeU{u};
        if (curl_url_set(u, CURLUPART_URL, url.c_str(),
                         CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE | CURLU_PATH_AS_IS) !=
            CURLUE_OK)
            throw HttpError("not a valid URL: " + url);
        char* scheme = nullptr;
        curl_url_get(u, CURLUPART_SCHEME, &scheme, 0);
        bool http = scheme && std::strcmp(scheme, "http") == 0;
        curl_free(scheme);
        if (!http)
            throw HttpError("only http:// URLs are supported: " + url);
        curl_url_set(u, CURLUPART_USER, nullptr, 0);
        curl_url_set(u, CURLUPART_PASSWORD, nullptr, 0);
        curl_url_set(u, CURLUPART_OPTIONS, nullptr, 0);
        curl_url_set(u, CURLUPART_FRAGMENT, nullptr, 0);
        char* out = nullptr;
        if (curl_url_get(u, CURLUPART_URL, &out, 0) != CURLUE_OK || !out)
            throw HttpError("not a valid URL: " + url);
        std::string s(out);
        curl_free(out);
        return s;
    }

    void callPump() {
        if (owner.pump)
            owner.pump();
    }

    // Drives the transfer and returns libcurl's result; throws what the
    // pump throws. The easy handle is attached to the multi handle.
    CURLcode drive() {
        auto nextConnectPump = Clock::now() + kConnectPumpInterval;
        auto lastPump = Clock::time_point{};
        for (;;) {
            int running = 0;
            CURLMcode mc = curl_multi_perform(multi, &running);
            if (mc != CURLM_OK)
                throw HttpError(curl_multi_strerror(mc));
            if (!running)
                break;
            auto now = Clock::now();
            milliseconds wait;
            if (!connected) {
                if (now >= nextConnectPump) {
                    callPump();
                    nextConnectPump = Clock::now() + kConnectPumpInterval;
                    continue;
                }
                wait = std::chrono::ceil<milliseconds>(nextConnectPump - now);
            } else {
                if (readTimeout.count() > 0 && now - lastIncoming >= readTimeout) {
                    ownError = "no data received for " + std::to_string(readTimeout.count()) +
                               " ms (read time-out)";
                    return CURLE_OPERATION_TIMEDOUT;
                }
                auto idleFrom = std::max(lastIncoming, lastPump);
                if (now - idleFrom >= kIdlePumpInterval) {
                    callPump();
                    lastPump = Clock::now();
                    continue;
                }
                wait = std::chrono::ceil<milliseconds>(idleFrom + kIdlePumpInterval - now);
                if (readTimeout.count() > 0)
                    wait = std::min(
                        wait, std::chrono::ceil<milliseconds>(lastIncoming + readTimeout - now));
            }
            wait = std::clamp(wait, milliseconds{1}, kIdlePumpInterval);
            mc = curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
            if (mc != CURLM_OK)
                throw HttpError(curl_multi_strerror(mc));
        }
        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &left))
            if (m->msg == CURLMSG_DONE && m->easy_handle == easy)
                result = m->data.result;
        return result;
    }

    std::string failureMessage(CURLcode code) const {
        if (!ownError.empty())
            return ownError;
        std::string msg = errorBuffer[0] ? std::string(errorBuffer) : curl_easy_strerror(code);
        while (!msg.empty() && (msg.back() == '\n' || msg.back() == '\r'))
            msg.pop_back();
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        if (code == CURLE_COULDNT_CONNECT && osErrno != 0)
            msg += " (" + systemErrorText(osErrno) + ")";
        if (code == CURLE_OPERATION_TIMEDOUT)
            msg = (connected ? "the transfer timed out: " : "connecting timed out: ") + msg;
        return msg;
    }

    void request(const std::string& url, Sink target) {
        if (busy)
            throw HttpError("another request is already running on this HTTP client");
        std::string sent = checkedUrl(url);
        busy = true;
        struct Idle {
            Impl* d;
            ~Idle() {
                d->busy = false;
                d->sink = {};
                if (d->disconnectAfter) {
                    d->disconnectAfter = false;
                    d->dropConnections();
                }
            }
        } idle{this};
        reset();
        inWork = false;
        sink = target;
        configure(sent);
        CURLMcode mc = curl_multi_add_handle(multi, easy);
        if (mc != CURLM_OK)
            throw HttpError(curl_multi_strerror(mc));
        CURLcode result;
        try {
            result = drive();
        } catch (...) {
            curl_multi_remove_handle(multi, easy);
            if (inWork) {
                try {
                    end();
                } catch (...) {
                }
            }
            throw;
        }
        curl_multi_remove_handle(multi, easy);
        // A transfer that broke off inside a body still ends its events.
        if (inWork)
            end();
        if (callbackError)
            std::rethrow_exception(callbackError);
        if (headersDone && failingReply && result == CURLE_OK) {
            if (status >= 200 && status <= 299)
                throw HttpError(statusLine + " (redirect to " + location + " not followed)");
            throw HttpError(statusLine);
        }
        if (result != CURLE_OK) {
            if (headersDone && failingReply)
                throw HttpError(statusLine);
            throw HttpError(failureMessage(result));
        }
    }

    void dropConnections() {
        // The connection cache belongs to the multi handle; a new one starts
        // with no open connection. Cookies stay with the easy handle.
        CURLM* fresh = curl_multi_init();
        if (!fresh)
            return;
        curl_multi_cleanup(multi);
        multi = fresh;
    }
};

HttpClient::HttpClient() : d(std::make_unique<Impl>(*this)) {}
HttpClient::~HttpClient() = default;

void HttpClient::setConnectTimeout(std::chrono::milliseconds t) {
    d->connectTimeout = t;
}
void HttpClient::setReadTimeout(std::chrono::milliseconds t) {
    d->readTimeout = t;
}
void HttpClient::setTotalTimeout(std::chrono::milliseconds t) {
    d->totalTimeout = t;
}

void HttpClient::setProxyHost(const std::string& host) {
    d->proxyHost = host;
}
void HttpClient::setProxyPort(int port) {
    d->proxyPort = port;
}
const std::string& HttpClient::proxyHost() const {
    return d->proxyHost;
}
int HttpClient::proxyPort() const {
    return d->proxyPort;
}

std::string HttpClient::get(const std::string& url) {
    std::string body;
    Impl::Sink sink;
    sink.text = &body;
    d->request(url, sink);
    return body;
}

void HttpClient::get(const std::string& url, std::ostream& out) {
    Impl::Sink sink;
    sink.stream = &out;
    d->request(url, sink);
}

void HttpClient::disconnect() {
    if (d->busy)
        d->disconnectAfter = true; // called from the pump: close once the transfer is over
    else
        d->dropConnections();
}
