// What the bridge adds to a page message beyond parsing its JSON: the
// "extension-message" dispatch (type, members, params conversion, lookup,
// the call) against nlohmann::json::parse of the same text alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "app/app_context.h"
#include "bridge/outgoing_messages.h"
#include "bridge/page_actions.h"
#include "bridge/web_message.h"
#include "extensions/extension.h"
#include "extensions/web_view_host.h"

namespace {

using namespace kiln;

const std::string kMessage =
    R"({"type":"extension-message","componentId":"storage","messageId":"save","asyncId":12,)"
    R"("params":["slot-1",42,true,null,3.5,"{\"level\":3,\"score\":12000}"]})";

class NoWindow final : public PageActions {
 public:
  void SetFullscreen(bool) override {}
  void SetWindowSize(int, int) override {}
  void SetWindowPosition(int, int) override {}
  void PostJson(const std::string& json) override { benchmark::DoNotOptimize(json.data()); }
};

class CountingHost final : public WebViewHost {
 public:
  void PostExtensionMessage(const std::string& componentId, const std::string& messageId,
                            const OutgoingValues& values, double asyncId) override {
    const std::string text = BuildExtensionMessage(componentId, messageId, values, asyncId);
    benchmark::DoNotOptimize(text.data());
  }
  const std::string& UserDataFolder() const override { return folder; }
  std::string folder;
};

// Touches what it gets; answers only when asked to.
class Storage final : public IExtension {
 public:
  void Destroy() override {}
  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values,
                    double asyncId) override {
    benchmark::DoNotOptimize(messageId);
    benchmark::DoNotOptimize(values[count - 1].text);
    if (answer) {
      const NamedExtensionValue saved[] = {
          {"ok", {ExtensionValueType::Boolean, 1, nullptr}},
          {"slot", values[0]}};
      application->SendWebMessage("saved", 2, saved, asyncId);
    }
  }
  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}

  IApplication* application = nullptr;
  bool answer = false;
};

struct Setup {
  explicit Setup(bool answer) : app("C:\\game\\") {
    app.webViewHost = &host;
    app.extensions.push_back(std::make_unique<Extension>(&app, "C:\\game\\storage.ext.dll"));
    Extension& record = *app.extensions.back();
    record.instance = &storage;
    storage.application = &record;
    storage.answer = answer;
    for (const char* id : {"audio", "input", "storage", "steam", "window"}) {
      record.RegisterComponentId(id);
    }
  }
  AppContext app;
  CountingHost host;
  Storage storage;
  NoWindow window;
};

void BM_ParseOnly(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json root = nlohmann::json::parse(kMessage);
    benchmark::DoNotOptimize(root);
  }
}
BENCHMARK(BM_ParseOnly);

void BM_ExtensionMessageDispatch(benchmark::State& state) {
  Setup setup(false);
  for (auto _ : state) HandleWebMessage(kMessage, setup.window, setup.app);
}
BENCHMARK(BM_ExtensionMessageDispatch);

// With the extension's answer built and "posted": a full round trip.
void BM_ExtensionMessageRoundTrip(benchmark::State& state) {
  Setup setup(true);
  for (auto _ : state) HandleWebMessage(kMessage, setup.window, setup.app);
}
BENCHMARK(BM_ExtensionMessageRoundTrip);

}  // namespace
