// example.ext.dll: a complete Kiln extension to copy and adapt.
//
// It registers the component id "example" and answers two page messages:
//   "echo": sends the parameters back, named "0", "1", ...
//   "add":  adds up the numbers among the parameters and sends {"sum": n}.
//
// The page side, with kiln.js (sdk/kiln.js) loaded:
//
//   const { sum } = await Kiln.call("example", "add", 2, 3.5);  // 5.5
//
// kiln.js posts the TEXT {"type":"extension-message","componentId":"example",
// "messageId":"add","asyncId":1,"params":[2,3.5]}, and this extension answers
// {"type":"extension-message","componentId":"example","messageId":"add",
//  "asyncId":1,"params":{"sum":5.5}} with the same asyncId.
#include <string>
#include <vector>

#include "kiln/extension.h"

namespace {

class ExampleExtension final : public kiln::IExtension {
 public:
  explicit ExampleExtension(kiln::IApplication* host) : application(host) {}

  // The host is done with us: free everything, this object included. The DLL
  // is unloaded right after this returns.
  void Destroy() override { delete this; }

  // A page message for "example". The texts in values live only until we
  // return, so anything kept must be copied.
  void OnWebMessage(const char* messageId, int32_t count, const kiln::ExtensionValue* values,
                    double asyncId) override {
    // No exception may leave a function the host calls: catch everything.
    try {
      const std::string id = messageId;
      if (id == "echo") {
        Echo(count, values, asyncId);
      } else if (id == "add") {
        Add(count, values, asyncId);
      }
    } catch (...) {
      // Out of memory, most likely. Dropping the request is all we can do;
      // the page will see no answer for this asyncId.
    }
  }

  // The main window exists (hidden), the web view does not yet. A good
  // place to subclass the window or start work that needs its handle.
  void OnMainWindowCreated(kiln::WindowHandle) override {}

  // Only called because WrapperExtInit asked for interface version 2: every
  // extension is loaded now, so shared values of the others can be looked up.
  void OnExtensionsLoaded() override {}

 private:
  void Echo(int32_t count, const kiln::ExtensionValue* values, double asyncId) {
    std::vector<std::string> names;
    std::vector<kiln::NamedExtensionValue> answer;
    names.reserve(count);  // the name pointers below must stay put
    for (int32_t i = 0; i < count; ++i) {
      names.push_back(std::to_string(i));
      answer.push_back({names.back().c_str(), values[i]});
    }
    // The host copies everything before SendWebMessage returns.
    application->SendWebMessage("echo", static_cast<uint32_t>(answer.size()),
                                 answer.empty() ? nullptr : answer.data(), asyncId);
  }

  void Add(int32_t count, const kiln::ExtensionValue* values, double asyncId) {
    double sum = 0;
    for (int32_t i = 0; i < count; ++i) {
      if (values[i].type == kiln::ExtensionValueType::Number) sum += values[i].number;
    }
    const kiln::NamedExtensionValue answer[] = {
        {"sum", {kiln::ExtensionValueType::Number, sum, nullptr}},
    };
    // Passing the page's asyncId back lets the page match answer to request.
    application->SendWebMessage("add", 1, answer, asyncId);
  }

  kiln::IApplication* application;  // owned by the host; never delete it
};

}  // namespace

// The one export Kiln looks for. Register ids and set the interface version
// here; SendWebMessage and GetUserDataFolder must wait for OnWebMessage.
KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  try {
    if (!application->RegisterComponentId("example")) {
      return nullptr;  // another extension owns "example": decline to load
    }
    application->SetInterfaceVersion(2);  // ask for OnExtensionsLoaded
    return new ExampleExtension(application);
  } catch (...) {
    return nullptr;  // never throw into the host
  }
}
