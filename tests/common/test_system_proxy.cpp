// The proxy setting: splitting "ProxyServer", the port rule, and applying the
// setting (from the environment on this platform) to a client.
#include "http_client.h"
#include "internet_settings.h"
#include "scripted_http_server.h"
#include "system_proxy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace {

struct SplitCase {
    std::string value, host, portText;
};

class SplitProxyServer : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitProxyServer, HostBeforeTheFirstColonAndUpToTenPortBytes) {
    const auto& c = GetParam();
    auto parts = system_proxy::splitProxyServer(c.value);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.portText, c.portText);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SplitProxyServer,
    testing::Values(SplitCase{"proxyhost:8080", "proxyhost", "8080"}, SplitCase{"", "", ""},
                    SplitCase{"proxyhost:", "proxyhost", ""},
                    SplitCase{"proxyhost: 8080", "proxyhost", " 8080"},
                    // without a colon the first ten bytes are the port and there is no host
                    SplitCase{"8080", "", "8080"}, SplitCase{"123456789012", "", "1234567890"},
                    SplitCase{"h:123456789012", "h", "1234567890"},
                    SplitCase{"http=p1:80;https=p2:443", "http=p1", "80;https=p"},
                    SplitCase{"http://proxy:3128", "http", "//proxy:31"},
                    SplitCase{":8080", "", "8080"}, SplitCase{"a:b:c", "a", "b:c"}));

struct PortCase {
    std::string text;
    std::optional<std::int32_t> port; // nullopt: not a number
};

class ParsePort : public testing::TestWithParam<PortCase> {};

TEST_P(ParsePort, FollowsTheIntegerRule) {
    const auto& c = GetParam();
    if (c.port)
        EXPECT_EQ(system_proxy::parsePort(c.text), *c.port);
    else
        EXPECT_THROW(system_proxy::parsePort(c.text), std::invalid_argument);
}

const std::optional<std::int32_t> bad;

INSTANTIATE_TEST_SUITE_P(
    Values, ParsePort,
    testing::Values(PortCase{"8080", 8080}, PortCase{"   8080", 8080}, PortCase{"+80", 80},
                    PortCase{"-80", -80}, PortCase{"007", 7}, PortCase{"0", 0},
                    // hexadecimal after each of its prefixes, either case of digits
                    PortCase{"$1F90", 8080}, PortCase{"x1f90", 8080}, PortCase{"X1F90", 8080},
                    PortCase{"0x1f90", 8080}, PortCase{"0X1F90", 8080}, PortCase{" -$10", -16},
                    PortCase{"+0x10", 16}, PortCase{"$000000010", 16},
                    // the 32-bit bounds: decimal is signed, hexadecimal is the bit pattern
                    PortCase{"2147483647", 2147483647}, PortCase{"-2147483648", INT32_MIN},
                    PortCase{"2147483648", bad}, PortCase{"-2147483649", bad},
                    PortCase{"4294967295", bad}, PortCase{"9999999999", bad},
                    PortCase{"$FFFFFFFF", -1}, PortCase{"$80000000", INT32_MIN},
                    PortCase{"$100000000", bad},
                    // nothing else is a number
                    PortCase{"", bad}, PortCase{" ", bad}, PortCase{"8080 ", bad},
                    PortCase{"80a", bad}, PortCase{"\t80", bad}, PortCase{"- 80", bad},
                    PortCase{"+-80", bad}, PortCase{"--80", bad}, PortCase{"+", bad},
                    PortCase{"$", bad}, PortCase{"0x", bad}, PortCase{"$G", bad},
                    PortCase{"1f90", bad}, PortCase{"00x10", bad}, PortCase{"//proxy:31", bad},
                    PortCase{"80;https=p", bad}, PortCase{"8,080", bad}, PortCase{"80.0", bad},
                    PortCase{std::string("80\0", 3), bad}));

// -- applying the setting ---------------------------------------------------

class ApplySystemProxyTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"http_proxy", "HTTP_PROXY"}) {
            const char* v = std::getenv(n);
            saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
            ::unsetenv(n);
        }
    }
    void TearDown() override {
        for (const auto& [n, v] : saved_) {
            if (v)
                ::setenv(n, v->c_str(), 1);
            else
                ::unsetenv(n);
        }
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

struct EnvCase {
    const char* lower; // http_proxy, nullptr: unset
    const char* upper; // HTTP_PROXY, nullptr: unset
    std::string host;  // the client's settings afterwards; it starts as
    int port;          // host "untouched", port 4321
};

class ApplyFromEnvironment : public ApplySystemProxyTest,
                             public testing::WithParamInterface<EnvCase> {};

TEST_P(ApplyFromEnvironment, SetsPortAndHostOrLeavesTheClient) {
    const auto& c = GetParam();
    if (c.lower)
        ::setenv("http_proxy", c.lower, 1);
    if (c.upper)
        ::setenv("HTTP_PROXY", c.upper, 1);
    HttpClient client;
    client.setProxyHost("untouched");
    client.setProxyPort(4321);
    ApplySystemProxy(client);
    EXPECT_EQ(client.proxyHost(), c.host);
    EXPECT_EQ(client.proxyPort(), c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApplyFromEnvironment,
    testing::Values(EnvCase{"proxyhost:8080", nullptr, "proxyhost", 8080},
                    EnvCase{"http://proxyhost:8080/", nullptr, "proxyhost", 8080},
                    EnvCase{"HTTP://proxyhost:3128", nullptr, "proxyhost", 3128},
                    EnvCase{nullptr, "upper:81", "upper", 81},
                    EnvCase{"lower:80", "upper:81", "lower", 80},
                    EnvCase{"", "upper:81", "upper", 81},
                    // not enabled, or nothing usable: the client keeps its settings
                    EnvCase{nullptr, nullptr, "untouched", 4321},
                    EnvCase{"", "", "untouched", 4321},
                    EnvCase{"proxyhost:", nullptr, "untouched", 4321},
                    EnvCase{"proxyhost:8080 ", nullptr, "untouched", 4321},
                    EnvCase{"https://proxyhost:8080", nullptr, "untouched", 4321},
                    EnvCase{"http://user:pw@proxyhost:8080/", nullptr, "untouched", 4321},
                    EnvCase{"proxyhost: 8080", nullptr, "proxyhost", 8080},
                    // digits only: a port and an empty host, so still direct
                    EnvCase{"8080", nullptr, "", 8080}));

TEST_F(ApplySystemProxyTest, EnvironmentValuesAsTheSettings) {
    ::setenv("http_proxy", "http://p:1/", 1);
    EXPECT_EQ(internet_settings::proxyEnable(), 1u);
    EXPECT_EQ(internet_settings::proxyServer(), "p:1");
    ::unsetenv("http_proxy");
    EXPECT_EQ(internet_settings::proxyEnable(), 0u);
    EXPECT_EQ(internet_settings::proxyServer(), "");
}

TEST_F(ApplySystemProxyTest, AppliedProxyCarriesTheRequest) {
    ScriptedHttpServer proxy, target;
    proxy.enqueue({ScriptedHttpServer::ok("from the proxy")});
    std::string setting = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/";
    ::setenv("http_proxy", setting.c_str(), 1);
    HttpClient client;
    ApplySystemProxy(client);
    EXPECT_EQ(client.get(target.baseUrl() + "/software/zk_version.php"), "from the proxy");
    EXPECT_EQ(target.connectionsAccepted(), 0);
    ASSERT_EQ(proxy.requests().size(), 1u);
    std::string t = "127.0.0.1:" + std::to_string(target.port());
    EXPECT_EQ(proxy.requests()[0], "GET http://" + t +
                                       "/software/zk_version.php HTTP/1.1\r\n"
                                       "Host: " +
                                       t +
                                       "\r\n"
                                       "Content-Type: text/html\r\n"
                                       "Accept: text/html, */*\r\n"
                                       "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                                       "\r\n");
}

} // namespace
