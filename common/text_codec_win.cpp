// CP936 <-> UTF-8 through the Win32 code-page functions.
#include "text.h"

#include "platform_win.h"

namespace text {

// Without MB_ERR_INVALID_CHARS both directions substitute instead of
// failing: invalid CP936 becomes U+FFFD, and what CP936 lacks becomes "?".
std::string cp936ToUtf8(std::string_view bytes) {
    return platform::narrow(platform::widen(bytes, 936));
}

std::string utf8ToCp936(std::string_view utf8) {
    return platform::narrow(platform::widen(utf8), 936);
}

} // namespace text
