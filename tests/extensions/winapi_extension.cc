// An extension whose author declared its entry point WINAPI, with their own
// declarations rather than the public header's: on 32-bit Windows the
// export then carries the __stdcall decoration instead of the plain name
// kiln.exe looks up.
extern "C" __declspec(dllexport) void* __stdcall WrapperExtInit(void*) { return nullptr; }
