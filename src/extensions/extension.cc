#include "extensions/extension.h"

#include <iterator>
#include <utility>

#include "app/app_context.h"
#include "bridge/outgoing_messages.h"
#include "common/utf8.h"
#include "extensions/module_loader.h"
#include "extensions/web_view_host.h"

namespace kiln {

Extension::Extension(AppContext* context, std::string path)
    : context(context), path(std::move(path)) {}

bool Extension::Load(ModuleLoader& loader) {
  module = loader.Open(path);
  if (!module) return false;
  WrapperExtInitFunction init = loader.FindEntry(module);
  if (!init) return false;
  instance = init(this);
  return instance != nullptr;
}

void Extension::Unload(ModuleLoader& loader) {
  if (instance) {
    instance->Destroy();
    instance = nullptr;
  }
  if (module) {
    loader.Close(module);
    module = nullptr;
  }
}

void Extension::ForgetComponentIds() {
  auto& components = context->components;
  for (auto it = components.begin(); it != components.end();) {
    it = it->second == this ? components.erase(it) : std::next(it);
  }
}

bool Extension::RegisterComponentId(const char* id) {
  if (!id) return false;
  try {
    std::string key(id);
    // An id the page could never see would also break every later
    // "wrapper-init-response" for all extensions: refuse it here.
    if (!IsValidUtf8(key)) return false;
    if (!context->components.emplace(key, this).second) return false;
    componentId = std::move(key);
    return true;
  } catch (...) {
    return false;  // out of memory: nothing was registered
  }
}

void Extension::SendWebMessage(const char* messageId, uint32_t count,
                               const NamedExtensionValue* values, double asyncId) {
  WebViewHost* host = context->webViewHost;
  if (!host || !messageId || (count > 0 && !values)) return;
  try {
    OutgoingValues outgoing;
    for (uint32_t i = 0; i < count; ++i) {
      const NamedExtensionValue& named = values[i];
      if (!named.name) return;
      if (named.value.type == ExtensionValueType::String && !named.value.text) return;
      auto [entry, added] = outgoing.try_emplace(named.name);
      if (!added) continue;  // the first of repeated names wins
      OutgoingValue& value = entry->second;
      value.type = named.value.type;
      switch (named.value.type) {
        case ExtensionValueType::Boolean:
        case ExtensionValueType::Number:
          value.number = named.value.number;
          break;
        case ExtensionValueType::String:
          value.text = named.value.text;
          break;
        default:
          break;
      }
    }
    host->PostExtensionMessage(componentId, messageId, outgoing, asyncId);
  } catch (...) {
    // Text that is not valid UTF-8 cannot be serialised, or memory ran out:
    // the message is dropped. Nothing may be thrown into the extension.
  }
}

const char* Extension::GetAppFolder() { return context->exeFolder.c_str(); }

const char* Extension::GetContentFolder() { return context->contentFolder.c_str(); }

const char* Extension::GetUserDataFolder() {
  const WebViewHost* host = context->webViewHost;
  return host ? host->UserDataFolder().c_str() : "";
}

void Extension::SetInterfaceVersion(int32_t version) { interfaceVersion = version; }

void Extension::SetSharedValue(const char* key, void* value) {
  if (!key) return;
  try {
    context->sharedValues[key] = value;
  } catch (...) {
    // Out of memory: the value is not stored, as if never set.
  }
}

void* Extension::GetSharedValue(const char* key) {
  if (!key) return nullptr;
  try {
    auto it = context->sharedValues.find(key);
    return it == context->sharedValues.end() ? nullptr : it->second;
  } catch (...) {
    return nullptr;
  }
}

void Extension::RemoveSharedValue(const char* key) {
  if (!key) return;
  try {
    context->sharedValues.erase(key);
  } catch (...) {
  }
}

}  // namespace kiln
