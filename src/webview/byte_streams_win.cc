#include "webview/file_range_stream_win.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace kiln {
namespace {

class FileRangeStream final : public IStream {
 public:
  FileRangeStream(HANDLE file, uint64_t first, uint64_t count)
      : file_(file), first_(first), count_(count) {}
  FileRangeStream(const FileRangeStream&) = delete;
  FileRangeStream& operator=(const FileRangeStream&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
        IsEqualIID(iid, IID_IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && size > 0) return STG_E_INVALIDPOINTER;
    const uint64_t left = position_ < count_ ? count_ - position_ : 0;
    const ULONG wanted = static_cast<ULONG>(std::min<uint64_t>(size, left));
    ULONG total = 0;
    while (total < wanted) {
      // Explicit offsets: the file's own position is never relied on, and
      // offsets beyond 4 GiB need both halves.
      const uint64_t offset = first_ + position_;
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD got = 0;
      if (!ReadFile(file_, static_cast<BYTE*>(buffer) + total, wanted - total, &got, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        if (read) *read = total;
        return HRESULT_FROM_WIN32(error);
      }
      if (got == 0) break;
      total += got;
      position_ += got;
    }
    if (read) *read = total;
    return total < size ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
    if (written) *written = 0;
    return STG_E_ACCESSDENIED;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* newPosition) override {
    int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<int64_t>(count_); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const int64_t step = move.QuadPart;
    if ((step > 0 && base > INT64_MAX - step) || base + step < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<uint64_t>(base + step);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = count_;
    stat->grfMode = STGM_READ | STGM_SHARE_DENY_WRITE;
    return S_OK;
  }

  // Nothing to change, commit or lock in a read-only range.
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~FileRangeStream() { CloseHandle(file_); }

  LONG references_ = 1;
  HANDLE file_;
  uint64_t first_;
  uint64_t count_;
  uint64_t position_ = 0;
};

}  // namespace

ComRef<IStream> OpenFileRangeStream(const std::wstring& path, uint64_t first, uint64_t count) {
  // Shared for reading only, like the mapped files: nobody may change the
  // bytes while they are being sent.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  const bool holdsRange = GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
                          first <= static_cast<uint64_t>(size.QuadPart) &&
                          count <= static_cast<uint64_t>(size.QuadPart) - first;
  IStream* stream = holdsRange ? new (std::nothrow) FileRangeStream(file, first, count) : nullptr;
  if (!stream) {
    CloseHandle(file);
    return nullptr;
  }
  return ComRef<IStream>::Adopt(stream);
}

}  // namespace kiln
