#include "bridge/extension_params.h"

#include <cstring>

namespace kiln {

std::vector<ExtensionValue> ConvertParams(const nlohmann::json& params) {
  std::vector<ExtensionValue> values(params.size());
  // The interface promises zero in the bytes between the members. Value
  // initialisation does not reliably clear padding (vector copies a zeroed
  // prototype member by member), so clear the whole block.
  if (!values.empty()) std::memset(values.data(), 0, values.size() * sizeof(ExtensionValue));
  auto value = values.begin();
  for (const nlohmann::json& element : params) {
    if (element.is_string()) {
      value->type = ExtensionValueType::String;
      value->text = element.get_ref<const std::string&>().c_str();
    } else if (element.is_boolean()) {
      value->type = ExtensionValueType::Boolean;
      value->number = element.get<bool>() ? 1.0 : 0.0;
    } else if (element.is_number()) {
      value->type = ExtensionValueType::Number;
      value->number = element.get<double>();
    } else {
      value->type = ExtensionValueType::Other;
    }
    ++value;
  }
  return values;
}

}  // namespace kiln
