// Lenient member readers shared by package.json and page messages: a member
// is used only when the value is an object that holds it with a fitting JSON
// type; anything else (absent, null, wrong type, not an object) gives the
// default. They never throw.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace kiln {

std::string ReadText(const nlohmann::json& object, const char* key, const std::string& fallback);

// Integers keep their low 32 bits; other numbers are truncated toward zero,
// and those outside the 32-bit range give the most negative 32-bit integer.
int32_t ReadInt32(const nlohmann::json& object, const char* key, int32_t fallback);

// Only true and false count; numbers are not flags.
bool ReadFlag(const nlohmann::json& object, const char* key, bool fallback);

// The same number conversion for a value already at hand.
int32_t ToInt32(const nlohmann::json& number);

}  // namespace kiln
