// What the fake WebView2 client DLL saw of its last creation call. Each copy of
// the DLL, loaded from its own folder, keeps its own record.
#pragma once

#include <windows.h>

struct FakeClientCall {
  int count;  // calls so far
  INT32 flag;
  INT32 runtimeType;
  const wchar_t* userDataFolder;  // the pointer as received
  void* environmentOptions;
  void* environmentCreatedHandler;
};

// What the fake returns unless told otherwise: a success code that no loader
// would make up by itself.
constexpr HRESULT kFakeClientDefaultResult = 0x00040ABC;

// The ProductVersion in the fake's version resource.
constexpr wchar_t kFakeClientProductVersion[] = L"120.0.2210.91";

using FakeClientLastCallFn = const FakeClientCall*(__cdecl*)();
using FakeClientSetResultFn = void(__cdecl*)(HRESULT);
