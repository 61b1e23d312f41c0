#pragma once

#include <string>
#include <string_view>

namespace ombrix::platform {

// `bytes` as valid UTF-8: every invalid sequence becomes U+FFFD. Paths from the
// kernel are bytes, and everything above this layer expects text.
std::string toValidUtf8(std::string_view bytes);

} // namespace ombrix::platform
