// Checks our WebView2 declarations against the runtime's ABI: every method
// sits in the vtable slot the runtime expects, with the expected number of
// parameters, and every interface carries the runtime's IID. The tables are
// the ABI facts, written down once from the WebView2 SDK 1.0.2088.41 slot
// tables; a declaration added, dropped, renamed or moved in webview2.h fails
// here by name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "webview/webview2/webview2.h"

namespace kiln {
namespace {

// GCC represents a pointer to a virtual member function as one plus the
// byte offset of its vtable entry (both mingw targets use this encoding).
template <class Method>
int SlotOf(Method method) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(representation) == sizeof(method), "unexpected member pointer size");
  std::memcpy(&representation, &method, sizeof(representation));
  if ((representation.pointer & 1) == 0) return -1;  // not virtual
  return static_cast<int>((representation.pointer - 1) / sizeof(void*));
}

template <class Interface, class... Args>
int ArityOf(HRESULT (STDMETHODCALLTYPE Interface::*)(Args...)) {
  return static_cast<int>(sizeof...(Args));
}

struct SlotRow {
  const char* interfaceName;
  const char* method;
  int slot;
  int expectedSlot;
  int arity;
  int expectedArity;
};

#define SLOT(Interface, Method, slot, arity) \
  {#Interface, #Method, SlotOf(&Interface::Method), slot, ArityOf(&Interface::Method), arity}

TEST(WebView2Abi, EveryMethodSitsInItsRuntimeSlotWithItsParameterCount) {
  const SlotRow rows[] = {
    SLOT(ICoreWebView2Environment, CreateCoreWebView2Controller, 3, 2),
    SLOT(ICoreWebView2Environment, CreateWebResourceResponse, 4, 5),
    SLOT(ICoreWebView2Environment, get_BrowserVersionString, 5, 1),
    SLOT(ICoreWebView2Environment, add_NewBrowserVersionAvailable, 6, 2),
    SLOT(ICoreWebView2Environment, remove_NewBrowserVersionAvailable, 7, 1),
    SLOT(ICoreWebView2EnvironmentOptions, get_AdditionalBrowserArguments, 3, 1),
    SLOT(ICoreWebView2EnvironmentOptions, put_AdditionalBrowserArguments, 4, 1),
    SLOT(ICoreWebView2EnvironmentOptions, get_Language, 5, 1),
    SLOT(ICoreWebView2EnvironmentOptions, put_Language, 6, 1),
    SLOT(ICoreWebView2EnvironmentOptions, get_TargetCompatibleBrowserVersion, 7, 1),
    SLOT(ICoreWebView2EnvironmentOptions, put_TargetCompatibleBrowserVersion, 8, 1),
    SLOT(ICoreWebView2EnvironmentOptions, get_AllowSingleSignOnUsingOSPrimaryAccount, 9, 1),
    SLOT(ICoreWebView2EnvironmentOptions, put_AllowSingleSignOnUsingOSPrimaryAccount, 10, 1),
    SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2Controller, get_IsVisible, 3, 1),
    SLOT(ICoreWebView2Controller, put_IsVisible, 4, 1),
    SLOT(ICoreWebView2Controller, get_Bounds, 5, 1),
    SLOT(ICoreWebView2Controller, put_Bounds, 6, 1),
    SLOT(ICoreWebView2Controller, get_ZoomFactor, 7, 1),
    SLOT(ICoreWebView2Controller, put_ZoomFactor, 8, 1),
    SLOT(ICoreWebView2Controller, add_ZoomFactorChanged, 9, 2),
    SLOT(ICoreWebView2Controller, remove_ZoomFactorChanged, 10, 1),
    SLOT(ICoreWebView2Controller, SetBoundsAndZoomFactor, 11, 2),
    SLOT(ICoreWebView2Controller, MoveFocus, 12, 1),
    SLOT(ICoreWebView2Controller, add_MoveFocusRequested, 13, 2),
    SLOT(ICoreWebView2Controller, remove_MoveFocusRequested, 14, 1),
    SLOT(ICoreWebView2Controller, add_GotFocus, 15, 2),
    SLOT(ICoreWebView2Controller, remove_GotFocus, 16, 1),
    SLOT(ICoreWebView2Controller, add_LostFocus, 17, 2),
    SLOT(ICoreWebView2Controller, remove_LostFocus, 18, 1),
    SLOT(ICoreWebView2Controller, add_AcceleratorKeyPressed, 19, 2),
    SLOT(ICoreWebView2Controller, remove_AcceleratorKeyPressed, 20, 1),
    SLOT(ICoreWebView2Controller, get_ParentWindow, 21, 1),
    SLOT(ICoreWebView2Controller, put_ParentWindow, 22, 1),
    SLOT(ICoreWebView2Controller, NotifyParentWindowPositionChanged, 23, 0),
    SLOT(ICoreWebView2Controller, Close, 24, 0),
    SLOT(ICoreWebView2Controller, get_CoreWebView2, 25, 1),
    SLOT(ICoreWebView2, get_Settings, 3, 1),
    SLOT(ICoreWebView2, get_Source, 4, 1),
    SLOT(ICoreWebView2, Navigate, 5, 1),
    SLOT(ICoreWebView2, NavigateToString, 6, 1),
    SLOT(ICoreWebView2, add_NavigationStarting, 7, 2),
    SLOT(ICoreWebView2, remove_NavigationStarting, 8, 1),
    SLOT(ICoreWebView2, add_ContentLoading, 9, 2),
    SLOT(ICoreWebView2, remove_ContentLoading, 10, 1),
    SLOT(ICoreWebView2, add_SourceChanged, 11, 2),
    SLOT(ICoreWebView2, remove_SourceChanged, 12, 1),
    SLOT(ICoreWebView2, add_HistoryChanged, 13, 2),
    SLOT(ICoreWebView2, remove_HistoryChanged, 14, 1),
    SLOT(ICoreWebView2, add_NavigationCompleted, 15, 2),
    SLOT(ICoreWebView2, remove_NavigationCompleted, 16, 1),
    SLOT(ICoreWebView2, add_FrameNavigationStarting, 17, 2),
    SLOT(ICoreWebView2, remove_FrameNavigationStarting, 18, 1),
    SLOT(ICoreWebView2, add_FrameNavigationCompleted, 19, 2),
    SLOT(ICoreWebView2, remove_FrameNavigationCompleted, 20, 1),
    SLOT(ICoreWebView2, add_ScriptDialogOpening, 21, 2),
    SLOT(ICoreWebView2, remove_ScriptDialogOpening, 22, 1),
    SLOT(ICoreWebView2, add_PermissionRequested, 23, 2),
    SLOT(ICoreWebView2, remove_PermissionRequested, 24, 1),
    SLOT(ICoreWebView2, add_ProcessFailed, 25, 2),
    SLOT(ICoreWebView2, remove_ProcessFailed, 26, 1),
    SLOT(ICoreWebView2, AddScriptToExecuteOnDocumentCreated, 27, 2),
    SLOT(ICoreWebView2, RemoveScriptToExecuteOnDocumentCreated, 28, 1),
    SLOT(ICoreWebView2, ExecuteScript, 29, 2),
    SLOT(ICoreWebView2, CapturePreview, 30, 3),
    SLOT(ICoreWebView2, Reload, 31, 0),
    SLOT(ICoreWebView2, PostWebMessageAsJson, 32, 1),
    SLOT(ICoreWebView2, PostWebMessageAsString, 33, 1),
    SLOT(ICoreWebView2, add_WebMessageReceived, 34, 2),
    SLOT(ICoreWebView2, remove_WebMessageReceived, 35, 1),
    SLOT(ICoreWebView2, CallDevToolsProtocolMethod, 36, 3),
    SLOT(ICoreWebView2, get_BrowserProcessId, 37, 1),
    SLOT(ICoreWebView2, get_CanGoBack, 38, 1),
    SLOT(ICoreWebView2, get_CanGoForward, 39, 1),
    SLOT(ICoreWebView2, GoBack, 40, 0),
    SLOT(ICoreWebView2, GoForward, 41, 0),
    SLOT(ICoreWebView2, GetDevToolsProtocolEventReceiver, 42, 2),
    SLOT(ICoreWebView2, Stop, 43, 0),
    SLOT(ICoreWebView2, add_NewWindowRequested, 44, 2),
    SLOT(ICoreWebView2, remove_NewWindowRequested, 45, 1),
    SLOT(ICoreWebView2, add_DocumentTitleChanged, 46, 2),
    SLOT(ICoreWebView2, remove_DocumentTitleChanged, 47, 1),
    SLOT(ICoreWebView2, get_DocumentTitle, 48, 1),
    SLOT(ICoreWebView2, AddHostObjectToScript, 49, 2),
    SLOT(ICoreWebView2, RemoveHostObjectFromScript, 50, 1),
    SLOT(ICoreWebView2, OpenDevToolsWindow, 51, 0),
    SLOT(ICoreWebView2, add_ContainsFullScreenElementChanged, 52, 2),
    SLOT(ICoreWebView2, remove_ContainsFullScreenElementChanged, 53, 1),
    SLOT(ICoreWebView2, get_ContainsFullScreenElement, 54, 1),
    SLOT(ICoreWebView2, add_WebResourceRequested, 55, 2),
    SLOT(ICoreWebView2, remove_WebResourceRequested, 56, 1),
    SLOT(ICoreWebView2, AddWebResourceRequestedFilter, 57, 2),
    SLOT(ICoreWebView2, RemoveWebResourceRequestedFilter, 58, 2),
    SLOT(ICoreWebView2, add_WindowCloseRequested, 59, 2),
    SLOT(ICoreWebView2, remove_WindowCloseRequested, 60, 1),
    SLOT(ICoreWebView2_2, add_WebResourceResponseReceived, 61, 2),
    SLOT(ICoreWebView2_2, remove_WebResourceResponseReceived, 62, 1),
    SLOT(ICoreWebView2_2, NavigateWithWebResourceRequest, 63, 1),
    SLOT(ICoreWebView2_2, add_DOMContentLoaded, 64, 2),
    SLOT(ICoreWebView2_2, remove_DOMContentLoaded, 65, 1),
    SLOT(ICoreWebView2_2, get_CookieManager, 66, 1),
    SLOT(ICoreWebView2_2, get_Environment, 67, 1),
    SLOT(ICoreWebView2Settings, get_IsScriptEnabled, 3, 1),
    SLOT(ICoreWebView2Settings, put_IsScriptEnabled, 4, 1),
    SLOT(ICoreWebView2Settings, get_IsWebMessageEnabled, 5, 1),
    SLOT(ICoreWebView2Settings, put_IsWebMessageEnabled, 6, 1),
    SLOT(ICoreWebView2Settings, get_AreDefaultScriptDialogsEnabled, 7, 1),
    SLOT(ICoreWebView2Settings, put_AreDefaultScriptDialogsEnabled, 8, 1),
    SLOT(ICoreWebView2Settings, get_IsStatusBarEnabled, 9, 1),
    SLOT(ICoreWebView2Settings, put_IsStatusBarEnabled, 10, 1),
    SLOT(ICoreWebView2Settings, get_AreDevToolsEnabled, 11, 1),
    SLOT(ICoreWebView2Settings, put_AreDevToolsEnabled, 12, 1),
    SLOT(ICoreWebView2Settings, get_AreDefaultContextMenusEnabled, 13, 1),
    SLOT(ICoreWebView2Settings, put_AreDefaultContextMenusEnabled, 14, 1),
    SLOT(ICoreWebView2Settings, get_AreHostObjectsAllowed, 15, 1),
    SLOT(ICoreWebView2Settings, put_AreHostObjectsAllowed, 16, 1),
    SLOT(ICoreWebView2Settings, get_IsZoomControlEnabled, 17, 1),
    SLOT(ICoreWebView2Settings, put_IsZoomControlEnabled, 18, 1),
    SLOT(ICoreWebView2Settings, get_IsBuiltInErrorPageEnabled, 19, 1),
    SLOT(ICoreWebView2Settings, put_IsBuiltInErrorPageEnabled, 20, 1),
    SLOT(ICoreWebView2WebResourceRequestedEventArgs, get_Request, 3, 1),
    SLOT(ICoreWebView2WebResourceRequestedEventArgs, get_Response, 4, 1),
    SLOT(ICoreWebView2WebResourceRequestedEventArgs, put_Response, 5, 1),
    SLOT(ICoreWebView2WebResourceRequestedEventArgs, GetDeferral, 6, 1),
    SLOT(ICoreWebView2WebResourceRequestedEventArgs, get_ResourceContext, 7, 1),
    SLOT(ICoreWebView2WebResourceRequest, get_Uri, 3, 1),
    SLOT(ICoreWebView2WebResourceRequest, put_Uri, 4, 1),
    SLOT(ICoreWebView2WebResourceRequest, get_Method, 5, 1),
    SLOT(ICoreWebView2WebResourceRequest, put_Method, 6, 1),
    SLOT(ICoreWebView2WebResourceRequest, get_Content, 7, 1),
    SLOT(ICoreWebView2WebResourceRequest, put_Content, 8, 1),
    SLOT(ICoreWebView2WebResourceRequest, get_Headers, 9, 1),
    SLOT(ICoreWebView2HttpRequestHeaders, GetHeader, 3, 2),
    SLOT(ICoreWebView2HttpRequestHeaders, GetHeaders, 4, 2),
    SLOT(ICoreWebView2HttpRequestHeaders, Contains, 5, 2),
    SLOT(ICoreWebView2HttpRequestHeaders, SetHeader, 6, 2),
    SLOT(ICoreWebView2HttpRequestHeaders, RemoveHeader, 7, 1),
    SLOT(ICoreWebView2HttpRequestHeaders, GetIterator, 8, 1),
    SLOT(ICoreWebView2HttpResponseHeaders, AppendHeader, 3, 2),
    SLOT(ICoreWebView2HttpResponseHeaders, Contains, 4, 2),
    SLOT(ICoreWebView2HttpResponseHeaders, GetHeader, 5, 2),
    SLOT(ICoreWebView2HttpResponseHeaders, GetHeaders, 6, 2),
    SLOT(ICoreWebView2HttpResponseHeaders, GetIterator, 7, 1),
    SLOT(ICoreWebView2HttpHeadersCollectionIterator, GetCurrentHeader, 3, 2),
    SLOT(ICoreWebView2HttpHeadersCollectionIterator, get_HasCurrentHeader, 4, 1),
    SLOT(ICoreWebView2HttpHeadersCollectionIterator, MoveNext, 5, 1),
    SLOT(ICoreWebView2WebResourceResponse, get_Content, 3, 1),
    SLOT(ICoreWebView2WebResourceResponse, put_Content, 4, 1),
    SLOT(ICoreWebView2WebResourceResponse, get_Headers, 5, 1),
    SLOT(ICoreWebView2WebResourceResponse, get_StatusCode, 6, 1),
    SLOT(ICoreWebView2WebResourceResponse, put_StatusCode, 7, 1),
    SLOT(ICoreWebView2WebResourceResponse, get_ReasonPhrase, 8, 1),
    SLOT(ICoreWebView2WebResourceResponse, put_ReasonPhrase, 9, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_Uri, 3, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_IsUserInitiated, 4, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_IsRedirected, 5, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_RequestHeaders, 6, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_Cancel, 7, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, put_Cancel, 8, 1),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_NavigationId, 9, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, get_Uri, 3, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, get_PermissionKind, 4, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, get_IsUserInitiated, 5, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, get_State, 6, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, put_State, 7, 1),
    SLOT(ICoreWebView2PermissionRequestedEventArgs, GetDeferral, 8, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, 3, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_NewWindow, 4, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_NewWindow, 5, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, 6, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Handled, 7, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated, 8, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, GetDeferral, 9, 1),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_WindowFeatures, 10, 1),
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_Source, 3, 1),
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson, 4, 1),
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, TryGetWebMessageAsString, 5, 1),
    SLOT(ICoreWebView2DOMContentLoadedEventArgs, get_NavigationId, 3, 1),
    SLOT(ICoreWebView2Deferral, Complete, 3, 0),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_KeyEventKind, 3, 1),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_VirtualKey, 4, 1),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_KeyEventLParam, 5, 1),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_PhysicalKeyStatus, 6, 1),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_Handled, 7, 1),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, put_Handled, 8, 1),
    SLOT(ICoreWebView2DocumentTitleChangedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2WebResourceRequestedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2NavigationStartingEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2PermissionRequestedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2ContainsFullScreenElementChangedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2WindowCloseRequestedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2NewWindowRequestedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2WebMessageReceivedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2DOMContentLoadedEventHandler, Invoke, 3, 2),
    SLOT(ICoreWebView2AcceleratorKeyPressedEventHandler, Invoke, 3, 2),
  };
  for (const SlotRow& row : rows) {
    EXPECT_EQ(row.slot, row.expectedSlot) << row.interfaceName << "::" << row.method;
    EXPECT_EQ(row.arity, row.expectedArity) << row.interfaceName << "::" << row.method;
  }
  EXPECT_EQ(sizeof(rows) / sizeof(rows[0]), 196u);
}

#undef SLOT

std::string IidText(const IID& iid) {
  char text[40];
  std::snprintf(text, sizeof(text), "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0],
                iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6],
                iid.Data4[7]);
  return text;
}

TEST(WebView2Abi, EveryInterfaceCarriesTheRuntimeIid) {
  const struct {
    const IID& iid;
    const char* expected;
  } rows[] = {
    {IID_ICoreWebView2Environment, "B96D755E-0319-4E92-A296-23436F46A1FC"},
    {IID_ICoreWebView2EnvironmentOptions, "2FDE08A8-1E9A-4766-8C05-95A9CEB9D1C5"},
    {IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, "4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D"},
    {IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, "6C4819F3-C9B7-4260-8127-C9F5BDE7F68C"},
    {IID_ICoreWebView2Controller, "4D00C0D1-9434-4EB6-8078-8697A560334F"},
    {IID_ICoreWebView2, "76ECEACB-0462-4D94-AC83-423A6793775E"},
    {IID_ICoreWebView2_2, "9E8F0CF8-E670-4B5E-B2BC-73E061E3184C"},
    {IID_ICoreWebView2Settings, "E562E4F0-D7FA-43AC-8D71-C05150499F00"},
    {IID_ICoreWebView2WebResourceRequestedEventArgs, "453E667F-12C7-49D4-BE6D-DDBE7956F57A"},
    {IID_ICoreWebView2WebResourceRequest, "97055CD4-512C-4264-8B5F-E3F446CEA6A5"},
    {IID_ICoreWebView2HttpRequestHeaders, "E86CAC0E-5523-465C-B536-8FB9FC8C8C60"},
    {IID_ICoreWebView2HttpResponseHeaders, "03C5FF5A-9B45-4A88-881C-89A9F328619C"},
    {IID_ICoreWebView2HttpHeadersCollectionIterator, "0702FC30-F43B-47BB-AB52-A42CB552AD9F"},
    {IID_ICoreWebView2WebResourceResponse, "AAFCC94F-FA27-48FD-97DF-830EF75AAEC9"},
    {IID_ICoreWebView2NavigationStartingEventArgs, "5B495469-E119-438A-9B18-7604F25F2E49"},
    {IID_ICoreWebView2PermissionRequestedEventArgs, "973AE2EF-FF18-4894-8FB2-3C758F046810"},
    {IID_ICoreWebView2NewWindowRequestedEventArgs, "34ACB11C-FC37-4418-9132-F9C21D1EAFB9"},
    {IID_ICoreWebView2WebMessageReceivedEventArgs, "0F99A40C-E962-4207-9E92-E3D542EFF849"},
    {IID_ICoreWebView2DOMContentLoadedEventArgs, "16B1E21A-C503-44F2-84C9-70ABA5031283"},
    {IID_ICoreWebView2Deferral, "C10E7F7B-B585-46F0-A623-8BEFBF3E4EE0"},
    {IID_ICoreWebView2AcceleratorKeyPressedEventArgs, "9F760F8A-FB79-42BE-9990-7B56900FA9C7"},
    {IID_ICoreWebView2DocumentTitleChangedEventHandler, "F5F2B923-953E-4042-9F95-F3A118E1AFD4"},
    {IID_ICoreWebView2WebResourceRequestedEventHandler, "AB00B74C-15F1-4646-80E8-E76341D25D71"},
    {IID_ICoreWebView2NavigationStartingEventHandler, "9ADBE429-F36D-432B-9DDC-F8881FBD76E3"},
    {IID_ICoreWebView2PermissionRequestedEventHandler, "15E1C6A3-C72A-4DF3-91D7-D097FBEC6BFD"},
    {IID_ICoreWebView2ContainsFullScreenElementChangedEventHandler, "E45D98B1-AFEF-45BE-8BAF-6C7728867F73"},
    {IID_ICoreWebView2WindowCloseRequestedEventHandler, "5C19E9E0-092F-486B-AFFA-CA8231913039"},
    {IID_ICoreWebView2NewWindowRequestedEventHandler, "D4C185FE-C81C-4989-97AF-2D3FA7AB5651"},
    {IID_ICoreWebView2WebMessageReceivedEventHandler, "57213F19-00E6-49FA-8E07-898EA01ECBD2"},
    {IID_ICoreWebView2DOMContentLoadedEventHandler, "4BAC7E9C-199E-49ED-87ED-249303ACF019"},
    {IID_ICoreWebView2AcceleratorKeyPressedEventHandler, "B29C7E28-FA79-41A8-8E44-65811C76DCB2"},
  };
  for (const auto& row : rows) EXPECT_EQ(IidText(row.iid), row.expected);
  EXPECT_EQ(IidText(IidOf<ICoreWebView2_2>()), "9E8F0CF8-E670-4B5E-B2BC-73E061E3184C");
}

TEST(WebView2Abi, ValuesPassedByValueHaveTheRuntimeSizes) {
  EXPECT_EQ(sizeof(EventRegistrationToken), 8u);
  EXPECT_EQ(sizeof(RECT), 16u);
  EXPECT_EQ(sizeof(BOOL), 4u);
  EXPECT_EQ(COREWEBVIEW2_PERMISSION_STATE_ALLOW, 1);
  EXPECT_EQ(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL, 0);
  EXPECT_EQ(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC, 0);
  EXPECT_EQ(COREWEBVIEW2_PERMISSION_KIND_WINDOW_MANAGEMENT, 12);
  EXPECT_EQ(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER, 16);
  EXPECT_EQ(COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN, 2);
  EXPECT_EQ(sizeof(COREWEBVIEW2_PHYSICAL_KEY_STATUS), 24u);
  EXPECT_EQ(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, WasKeyDown), 12u);
}

}  // namespace
}  // namespace kiln
