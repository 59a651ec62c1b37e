// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), for Basic credentials.
#pragma once

#include <string>

namespace ktv {

std::string Base64Encode(const std::string& Bytes);

}  // namespace ktv
