// Base64, as DevTools carries binary data in JSON.
#pragma once

#include <string>

namespace standin {

std::string Base64Encode(const std::string& bytes);
// Skips characters outside the alphabet; stops at padding.
std::string Base64Decode(const std::string& text);

}  // namespace standin
