#include "common/json_reading.h"

#include <cmath>

namespace kiln {
namespace {

const nlohmann::json* Member(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

}  // namespace

std::string ReadText(const nlohmann::json& object, const char* key, const std::string& fallback) {
  const nlohmann::json* value = Member(object, key);
  return value && value->is_string() ? value->get_ref<const std::string&>() : fallback;
}

int32_t ToInt32(const nlohmann::json& number) {
  if (number.is_number_unsigned()) {
    return static_cast<int32_t>(static_cast<uint32_t>(number.get<uint64_t>()));
  }
  if (number.is_number_integer()) {
    return static_cast<int32_t>(static_cast<uint32_t>(number.get<int64_t>()));
  }
  const double value = number.get<double>();
  // Converting an out-of-range double is undefined in C++; x86 gives the most
  // negative integer, and so do we, on every platform.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t ReadInt32(const nlohmann::json& object, const char* key, int32_t fallback) {
  const nlohmann::json* value = Member(object, key);
  return value && value->is_number() ? ToInt32(*value) : fallback;
}

bool ReadFlag(const nlohmann::json& object, const char* key, bool fallback) {
  const nlohmann::json* value = Member(object, key);
  return value && value->is_boolean() ? value->get<bool>() : fallback;
}

}  // namespace kiln
