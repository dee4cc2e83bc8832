// Kiln's own COM objects handed to the WebView2 runtime: the environment
// options and the callback wrapper. The runtime sees them only through
// IUnknown and their one interface, so that is what is checked.
#include <memory>

#include <gtest/gtest.h>

#include "webview/webview2/co_task_string.h"
#include "webview/webview2/com_callback.h"
#include "webview/webview2/environment_options_win.h"

namespace kiln {
namespace {

// Shares one reference in QueryInterface's way and says whether it was given.
bool Answers(IUnknown* object, REFIID iid) {
  void* result = reinterpret_cast<void*>(1);
  const HRESULT hr = object->QueryInterface(iid, &result);
  if (FAILED(hr)) {
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    return false;
  }
  static_cast<IUnknown*>(result)->Release();
  return true;
}

TEST(EnvironmentOptions, DefaultsAreTheSdkDefaults) {
  ComRef<EnvironmentOptions> options = EnvironmentOptions::Create();
  CoTaskString arguments, language, version;
  ASSERT_EQ(options->get_AdditionalBrowserArguments(arguments.Put()), S_OK);
  ASSERT_EQ(options->get_Language(language.Put()), S_OK);
  ASSERT_EQ(options->get_TargetCompatibleBrowserVersion(version.Put()), S_OK);
  ASSERT_FALSE(arguments.IsNull());
  EXPECT_EQ(arguments.Text(), L"");
  EXPECT_EQ(language.Text(), L"");
  EXPECT_EQ(version.Text(), L"118.0.2088.41");
  BOOL singleSignOn = TRUE;
  ASSERT_EQ(options->get_AllowSingleSignOnUsingOSPrimaryAccount(&singleSignOn), S_OK);
  EXPECT_EQ(singleSignOn, FALSE);
}

TEST(EnvironmentOptions, ValuesPutAreReturnedAsFreshCopies) {
  ComRef<EnvironmentOptions> options = EnvironmentOptions::Create();
  std::wstring arguments = L"--disable-gpu --lang=fr";
  options->put_AdditionalBrowserArguments(arguments.c_str());
  arguments[0] = L'X';  // the object keeps its own copy
  CoTaskString first, second;
  options->get_AdditionalBrowserArguments(first.Put());
  options->get_AdditionalBrowserArguments(second.Put());
  EXPECT_EQ(first.Text(), L"--disable-gpu --lang=fr");
  EXPECT_NE(first.Get(), second.Get()) << "each caller frees its own string";

  options->put_AdditionalBrowserArguments(nullptr);
  CoTaskString cleared;
  options->get_AdditionalBrowserArguments(cleared.Put());
  EXPECT_EQ(cleared.Text(), L"");
  EXPECT_EQ(options->get_Language(nullptr), E_POINTER);
}

TEST(EnvironmentOptions, AnswersOnlyForItsOneInterface) {
  ComRef<EnvironmentOptions> options = EnvironmentOptions::Create();
  EXPECT_TRUE(Answers(options.Get(), IID_IUnknown));
  EXPECT_TRUE(Answers(options.Get(), IID_ICoreWebView2EnvironmentOptions));
  // ICoreWebView2EnvironmentOptions2: later option sets are not offered.
  const IID options2 = {0xff85c98a, 0x1ba7, 0x4a6b, {0x90, 0xc8, 0x2b, 0x75, 0x2c, 0x89, 0xe9, 0xe2}};
  EXPECT_FALSE(Answers(options.Get(), options2));
  EXPECT_FALSE(Answers(options.Get(), IID_ICoreWebView2));
  EXPECT_EQ(options->AddRef(), 2u);
  EXPECT_EQ(options->Release(), 1u);
}

struct Probe {
  bool* destroyed;
  ~Probe() { *destroyed = true; }
};

TEST(ComCallback, ForwardsInvokeAndLivesExactlyAsLongAsItsReferences) {
  bool destroyed = false;
  HRESULT seenError = S_OK;
  ICoreWebView2Environment* seenEnvironment = nullptr;
  std::shared_ptr<Probe> probe(new Probe{&destroyed});
  ComRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> handler =
      MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
          [&, probe](HRESULT errorCode, ICoreWebView2Environment* environment) {
            seenError = errorCode;
            seenEnvironment = environment;
            return E_ABORT;
          });
  probe.reset();

  auto* fakeEnvironment = reinterpret_cast<ICoreWebView2Environment*>(0x1234);
  EXPECT_EQ(handler->Invoke(E_FAIL, fakeEnvironment), E_ABORT);
  EXPECT_EQ(seenError, E_FAIL);
  EXPECT_EQ(seenEnvironment, fakeEnvironment);

  EXPECT_TRUE(Answers(handler.Get(), IID_IUnknown));
  EXPECT_TRUE(Answers(handler.Get(),
                                IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler));
  EXPECT_FALSE(Answers(handler.Get(),
                                 IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler));

  // Created with one reference, which the ComRef holds: a second one keeps
  // the object alive after the first goes.
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* raw = handler.Get();
  EXPECT_EQ(raw->AddRef(), 2u);
  handler.Reset();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_TRUE(destroyed) << "the last release destroys the callable and what it holds";
}

}  // namespace
}  // namespace kiln
