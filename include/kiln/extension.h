// Kiln extension interface: everything an extension DLL needs to talk to the
// Kiln host. Plain C++ with no dependencies; works with MSVC and mingw-w64.
//
// An extension is a DLL named "<anything>.ext.dll" placed beside kiln.exe.
// At start-up Kiln loads every such DLL and calls the function this header
// declares at its end, which the extension defines:
//
//   kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application)
//
// It returns the extension's object (or null to decline loading). From then
// on the host calls the extension through IExtension, and the extension calls
// the host through the IApplication it was given. Because the declaration is
// here, a definition with another calling convention (WINAPI, or /Gz without
// KILN_CDECL) or another prototype does not compile, rather than building a
// DLL that Kiln silently skips.
//
// The interface is a binary contract between modules built by different
// compilers, so these rules bind:
//
// - Kiln ships as a 32-bit x86 program: build the extension as a 32-bit x86
//   DLL (MSVC "Win32"/x86, or i686-w64-mingw32). Pointers and shared values
//   are then 32 bits wide. A game packed with "kiln-pack --arch x64" ships
//   the 64-bit kiln.exe instead, which loads only x86-64 DLLs.
// - Both interfaces are used through their tables of virtual functions, in
//   the order declared below, with the compiler's default calling convention
//   for member functions (thiscall on 32-bit x86; never COM's __stdcall).
//   Derive from IExtension, override exactly these four functions, and do
//   not add overloads of them (MSVC reorders overloaded virtual functions).
//   Your class may add further virtual functions after them; the host never
//   calls beyond the fourth.
// - The value records keep their layout whatever packing your project sets
//   (/Zp, #pragma pack): this header fixes it.
// - Texts are NUL-terminated UTF-8. Texts you receive are valid only during
//   the call; copy what you keep. Texts you pass are read during the call
//   only; the host copies what it keeps. Never pass null where a text is
//   expected, and pass only valid UTF-8 to SendWebMessage: the host ignores
//   such calls (a null id is not registered, a message with a null or
//   malformed text is not sent) rather than guessing what was meant.
// - The folder texts that GetAppFolder, GetContentFolder and
//   GetUserDataFolder return belong to the host: do not write or free them.
//   They are plain paths. Your DLL itself is loaded through its
//   extended-length path ("\\?\C:\..."), so on Windows GetModuleFileNameW on
//   your module returns that form, which the C runtime's file functions of
//   older toolchains refuse: find your files from GetAppFolder instead.
// - Neither side deletes the other's object: the host calls
//   IExtension::Destroy and never deletes your object; you never delete the
//   IApplication, which lives until just after your Destroy returns.
// - Everything happens on the host's UI thread. IApplication must only be
//   called on that thread: bring results of your own threads back to it by
//   your own means (for example a window message to the main window handle
//   you received in OnMainWindowCreated, handled in a subclass procedure).
// - EXCEPTIONS: never let an exception leave a function the host calls
//   (WrapperExtInit and the four IExtension functions); catch everything on
//   your side of the boundary. Every module carries its own C++ runtime, and
//   what an escaping exception does depends on the build:
//   * MSVC extension (or any compiler that throws as MSVC does), 32-bit
//     host, the one that ships: an exception escaping OnWebMessage is
//     stopped by the host after your frames' destructors have run and the
//     thrown object has been destroyed; the host drops that one page
//     message. A rethrow ("throw;") that escapes is stopped the same way,
//     though the host cannot destroy the object: the rethrow does not name
//     it. Around the other functions nothing is stopped: the process ends.
//   * mingw-w64 extension, 32-bit host: the extension's runtime unwinds with
//     tables that only it knows, finds no handler past its own frames and
//     calls std::terminate. The process ends at once; the host never sees
//     the exception.
//   * 64-bit host: an exception escaping OnWebMessage is stopped and that
//     one page message dropped, whether MSVC threw it (after your frames'
//     cleanup, the thrown object destroyed; a rethrow as on 32-bit) or
//     mingw-w64 did (every module there unwinds through the same system
//     tables). Around the other functions nothing is stopped.
//   Crashes such as access violations are never stopped.
// - SendWebMessage and GetUserDataFolder work only once the web view exists,
//   that is from the first OnWebMessage on. Called earlier, SendWebMessage
//   sends nothing and GetUserDataFolder returns an empty text.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The main window's handle. This is the type <windows.h> calls HWND (with
// STRICT, its default), so an override may be written with HWND.
struct HWND__;

#if defined(_WIN32)
#define KILN_CDECL __cdecl
#define KILN_EXTENSION_EXPORT extern "C" __declspec(dllexport)
#else
#define KILN_CDECL
#define KILN_EXTENSION_EXPORT extern "C"
#endif

namespace kiln {

using WindowHandle = ::HWND__*;

// Natural alignment for the records below, whatever the including project's
// packing: a double at offset 8 needs 8.
#pragma pack(push, 8)

// Kind of an ExtensionValue. The host reads any other number like Other.
enum class ExtensionValueType : int32_t {
  Boolean = 0,  // number is 1.0 (true) or 0.0 (false); sent as true when not 0.0
  Number = 1,   // number holds the value
  String = 2,   // text holds the value
  Other = 3,    // no representation: JSON null, an object or an array
};

// One parameter value. 24 bytes on 32- and 64-bit Windows: type at offset 0,
// number at 8, text at 16. Bytes the members do not cover are zero when the
// host fills the record and are never read.
struct ExtensionValue {
  ExtensionValueType type;
  double number;     // Boolean and Number
  const char* text;  // String: NUL-terminated UTF-8
};

// One named value for SendWebMessage: 32 bytes, the value at offset 8. The
// name becomes the member's name in the page's "params" object.
struct NamedExtensionValue {
  const char* name;  // NUL-terminated UTF-8
  ExtensionValue value;
};

#pragma pack(pop)

static_assert(sizeof(double) == 8, "doubles cross the interface as IEEE-754 binary64");
static_assert(sizeof(bool) == 1, "a boolean result is one byte");
static_assert(sizeof(ExtensionValueType) == 4, "ExtensionValueType is 32-bit");
static_assert(sizeof(ExtensionValue) == 24, "ExtensionValue is 24 bytes");
static_assert(offsetof(ExtensionValue, type) == 0, "ExtensionValue::type at 0");
static_assert(offsetof(ExtensionValue, number) == 8, "ExtensionValue::number at 8");
static_assert(offsetof(ExtensionValue, text) == 16, "ExtensionValue::text at 16");
static_assert(sizeof(NamedExtensionValue) == 32, "NamedExtensionValue is 32 bytes");
static_assert(offsetof(NamedExtensionValue, name) == 0, "NamedExtensionValue::name at 0");
static_assert(offsetof(NamedExtensionValue, value) == 8, "NamedExtensionValue::value at 8");

// The host's side, one object per loaded extension (two extensions get two
// different pointers). Valid from WrapperExtInit until Destroy returns.
class IApplication {
 public:
  // Registers a component id for this extension, so that page messages
  // addressed to it reach OnWebMessage. False when the id is taken (by any
  // extension, this one included) or is not valid UTF-8. An extension may
  // register several ids; its own messages to the page carry the last one.
  virtual bool RegisterComponentId(const char* componentId) = 0;

  // Posts an "extension-message" to the page, carrying this extension's last
  // registered id, messageId, asyncId and one "params" member per named
  // value (the first of repeated names wins). values may be null when count
  // is 0. Everything is copied before the call returns.
  virtual void SendWebMessage(const char* messageId, uint32_t count,
                              const NamedExtensionValue* values, double asyncId) = 0;

  // The executable's folder, ending in a backslash.
  virtual const char* GetAppFolder() = 0;

  // The folder the page is served from ("<app folder>www\"); empty until the
  // web view host is set up, i.e. during WrapperExtInit, OnExtensionsLoaded
  // and OnMainWindowCreated.
  virtual const char* GetContentFolder() = 0;

  // The web view's user data folder; empty before the web view exists.
  virtual const char* GetUserDataFolder() = 0;

  // Version 2 or more, set inside WrapperExtInit, asks for OnExtensionsLoaded.
  // Setting it later has no effect.
  virtual void SetInterfaceVersion(int32_t version) = 0;

  // One registry of pointer-sized values shared by all extensions. A stored
  // null cannot be told apart from an absent key. The host never looks at
  // the values; whatever they point to is the extensions' business.
  virtual void SetSharedValue(const char* key, void* value) = 0;
  virtual void* GetSharedValue(const char* key) = 0;
  virtual void RemoveSharedValue(const char* key) = 0;

 protected:
  ~IApplication() = default;  // not virtual: the table holds the nine functions only
};

// The extension's side. The host ignores every result.
class IExtension {
 public:
  // Called once at shutdown, right before the DLL is freed: release
  // everything, including this object. Not called for an extension whose
  // WrapperExtInit returned null.
  virtual void Destroy() = 0;

  // A page message addressed to one of this extension's component ids (which
  // one is not passed). messageId is never empty; values is null when count
  // is 0; asyncId is the page's number, -1 when it gave none: pass it back to
  // SendWebMessage to mark the answer.
  virtual void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values,
                            double asyncId) = 0;

  // Called once, right after the main window is created (still hidden) and
  // before the web view exists.
  virtual void OnMainWindowCreated(WindowHandle window) = 0;

  // Called once after every extension has been loaded and before
  // OnMainWindowCreated, only if this extension set version 2 or more in
  // WrapperExtInit.
  virtual void OnExtensionsLoaded() = 0;

 protected:
  ~IExtension() = default;  // not virtual: the table holds the four functions only
};

// The type of the exported WrapperExtInit.
using WrapperExtInitFunction = IExtension*(KILN_CDECL*)(IApplication* application);

}  // namespace kiln

// The one export Kiln looks for, defined by the extension. Undecorated, cdecl:
// the caller removes the argument.
KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application);
