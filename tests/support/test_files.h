#pragma once
// Small helpers that many suites share: whole files as bytes, and a loopback
// port on which nothing listens.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace test_files {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Compares two files without printing megabytes of an executable on failure.
inline ::testing::AssertionResult sameContent(const std::filesystem::path& a,
                                              const std::filesystem::path& b) {
    const std::string x = readFile(a), y = readFile(b);
    if (x == y)
        return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
    return ::testing::AssertionFailure()
           << a << " (" << x.size() << " bytes) differs from " << b << " (" << y.size()
           << " bytes) from byte " << (diff.first - x.begin());
}

// A port of 127.0.0.1 on which nothing listens (it was free a moment ago).
inline std::uint16_t closedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

} // namespace test_files
