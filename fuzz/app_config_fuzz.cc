// ParseAppConfig either fills the record or throws; nothing else may happen,
// whatever bytes lie in package.json.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kiln::AppConfig config;
  try {
    kiln::ParseAppConfig(std::string(reinterpret_cast<const char*>(data), size), config);
  } catch (...) {
    return 0;
  }
  if (config.name.empty()) __builtin_trap();  // accepted without a name
  return 0;
}
