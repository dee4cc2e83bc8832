// The extension interface as a foreign compiler sees it: tables of plain
// function pointers called by slot number, with the object as first argument.

// A project that packs its structures tightly (/Zp1) must still see the
// records as the host lays them out: the header's checks of sizes and
// offsets run here under that packing.
#pragma pack(push, 1)
#include "kiln/extension.h"
#pragma pack(pop)

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bridge/web_message.h"
#include "extension_fakes.h"
#include "extensions/extension_lifecycle.h"
#include "extensions/module_loader.h"

// Member functions on 32-bit x86 Windows take the object in ECX.
#if defined(_WIN32) && defined(__i386__)
#define KILN_TEST_MEMBER_CALL __attribute__((thiscall))
#else
#define KILN_TEST_MEMBER_CALL
#endif

namespace kiln {
namespace {

using testing::RecordingActions;
using testing::RecordingHost;

void* Slot(const void* object, int index) {
  void* const* table = *static_cast<void* const* const*>(object);
  return table[index];
}

template <class Function>
Function SlotAs(const void* object, int index) {
  return reinterpret_cast<Function>(Slot(object, index));
}

TEST(ExtensionAbiTest, ApplicationSlotsAreInTheirPublishedOrder) {
  AppContext app{"C:\\game\\"};
  RecordingHost host;
  app.webViewHost = &host;
  app.contentFolder = "C:\\game\\www\\";
  Extension record(&app, "C:\\game\\a.ext.dll");
  IApplication* application = &record;
  ASSERT_EQ(static_cast<void*>(application), static_cast<void*>(&record));

  using Register = bool(KILN_TEST_MEMBER_CALL*)(IApplication*, const char*);
  using Send = void(KILN_TEST_MEMBER_CALL*)(IApplication*, const char*, uint32_t,
                                              const NamedExtensionValue*, double);
  using Text = const char*(KILN_TEST_MEMBER_CALL*)(IApplication*);
  using SetVersion = void(KILN_TEST_MEMBER_CALL*)(IApplication*, int32_t);
  using SetShared = void(KILN_TEST_MEMBER_CALL*)(IApplication*, const char*, void*);
  using GetShared = void*(KILN_TEST_MEMBER_CALL*)(IApplication*, const char*);
  using RemoveShared = void(KILN_TEST_MEMBER_CALL*)(IApplication*, const char*);

  EXPECT_TRUE(SlotAs<Register>(application, 0)(application, "slot0"));
  const NamedExtensionValue value = {"v", {ExtensionValueType::Number, 2, nullptr}};
  SlotAs<Send>(application, 1)(application, "slot1", 1, &value, 9);
  EXPECT_EQ(host.posted, std::vector<std::string>{
                             R"({"asyncId":9.0,"componentId":"slot0","messageId":"slot1",)"
                             R"("params":{"v":2.0},"type":"extension-message"})"});
  EXPECT_STREQ(SlotAs<Text>(application, 2)(application), "C:\\game\\");
  EXPECT_STREQ(SlotAs<Text>(application, 3)(application), "C:\\game\\www\\");
  EXPECT_STREQ(SlotAs<Text>(application, 4)(application), host.userDataFolder.c_str());
  SlotAs<SetVersion>(application, 5)(application, 2);
  EXPECT_EQ(record.interfaceVersion, 2);
  int token = 0;
  SlotAs<SetShared>(application, 6)(application, "k", &token);
  EXPECT_EQ(SlotAs<GetShared>(application, 7)(application, "k"), &token);
  SlotAs<RemoveShared>(application, 8)(application, "k");
  EXPECT_TRUE(app.sharedValues.empty());
}

// An extension object laid out by hand: a table of four entries, then data.
struct RawExtension {
  void* const* table;
  std::vector<std::string> calls;
  std::vector<ExtensionValue> values;  // copied during OnWebMessage
};

void KILN_TEST_MEMBER_CALL RawDestroy(RawExtension* self) { self->calls.push_back("Destroy"); }

void KILN_TEST_MEMBER_CALL RawOnWebMessage(RawExtension* self, const char* messageId,
                                           int32_t count, const ExtensionValue* values,
                                           double asyncId) {
  self->calls.push_back("OnWebMessage " + std::string(messageId) + " " + std::to_string(count) +
                        " " + std::to_string(asyncId));
  self->values.assign(values, values + count);
}

void KILN_TEST_MEMBER_CALL RawOnMainWindowCreated(RawExtension* self, WindowHandle window) {
  self->calls.push_back("OnMainWindowCreated " +
                        std::to_string(reinterpret_cast<uintptr_t>(window)));
}

void KILN_TEST_MEMBER_CALL RawOnExtensionsLoaded(RawExtension* self) {
  self->calls.push_back("OnExtensionsLoaded");
}

// For records that have an instance but no module.
class NoModules final : public ModuleLoader {
 public:
  void* Open(const std::string&) override { return nullptr; }
  WrapperExtInitFunction FindEntry(void*) override { return nullptr; }
  void Close(void*) override { ADD_FAILURE() << "no module was opened"; }
};

TEST(ExtensionAbiTest, TheHostCallsExtensionSlotsByNumber) {
  void* const table[] = {reinterpret_cast<void*>(&RawDestroy),
                         reinterpret_cast<void*>(&RawOnWebMessage),
                         reinterpret_cast<void*>(&RawOnMainWindowCreated),
                         reinterpret_cast<void*>(&RawOnExtensionsLoaded)};
  RawExtension raw{table, {}, {}};
  AppContext app{"C:\\game\\"};
  auto record = std::make_unique<Extension>(&app, "C:\\game\\raw.ext.dll");
  record->instance = reinterpret_cast<IExtension*>(&raw);
  record->SetInterfaceVersion(2);
  ASSERT_TRUE(record->RegisterComponentId("raw"));
  app.extensions.push_back(std::move(record));

  NotifyExtensionsLoaded(app);
  NotifyMainWindowCreated(app, reinterpret_cast<WindowHandle>(77));
  RecordingActions actions;
  HandleWebMessage(
      R"({"type":"extension-message","componentId":"raw","messageId":"go","asyncId":5,)"
      R"("params":[1.5,"s",false]})",
      actions, app);
  ASSERT_EQ(raw.calls, (std::vector<std::string>{"OnExtensionsLoaded", "OnMainWindowCreated 77",
                                                 "OnWebMessage go 3 5.000000"}));
  // The records as raw bytes: a stride of 24, the number at 8, the text at 16.
  ASSERT_EQ(raw.values.size(), 3u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw.values.data());
  int32_t type;
  double number;
  std::memcpy(&number, bytes + 8, sizeof number);
  EXPECT_EQ(number, 1.5);
  std::memcpy(&type, bytes + 24, sizeof type);
  EXPECT_EQ(type, 2);
  std::memcpy(&type, bytes + 48, sizeof type);
  EXPECT_EQ(type, 0);

  NoModules loader;
  UnloadExtensions(app, loader);
  EXPECT_EQ(raw.calls.back(), "Destroy");
}

}  // namespace
}  // namespace kiln
