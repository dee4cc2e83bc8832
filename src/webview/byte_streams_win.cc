#include "webview/byte_streams_win.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace kiln {
namespace {

// IStream over count bytes that a subclass reads from wherever it keeps them.
class ReadOnlyStream : public IStream {
 public:
  explicit ReadOnlyStream(uint64_t count) : count_(count) {
    // Aggregated: the marshaler's IMarshal hands out this very object to any
    // apartment. Without it the stream still works, through the UI thread.
    IUnknown* marshaler = nullptr;
    if (SUCCEEDED(CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), &marshaler))) {
      marshaler_ = marshaler;
    }
  }
  ReadOnlyStream(const ReadOnlyStream&) = delete;
  ReadOnlyStream& operator=(const ReadOnlyStream&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
        IsEqualIID(iid, IID_IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IMarshal) && marshaler_) return marshaler_->QueryInterface(iid, object);
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
    HRESULT result = S_OK;
    while (total < wanted) {
      ULONG got = 0;
      result = ReadAt(position_, static_cast<BYTE*>(buffer) + total, wanted - total, &got);
      if (FAILED(result) || got == 0) break;
      total += got;
      position_ += got;
    }
    if (read) *read = total;
    if (FAILED(result)) return result;
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
    stat->grfMode = STGM_READ;
    return S_OK;
  }

  // Nothing to change, commit or lock in read-only bytes.
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

 protected:
  virtual ~ReadOnlyStream() {
    if (marshaler_) marshaler_->Release();
  }
  // Reads up to size bytes at offset (below count) of the stream's bytes.
  virtual HRESULT ReadAt(uint64_t offset, BYTE* buffer, ULONG size, ULONG* got) = 0;

 private:
  LONG references_ = 1;
  IUnknown* marshaler_ = nullptr;
  const uint64_t count_;
  uint64_t position_ = 0;
};

class FileRange final : public ReadOnlyStream {
 public:
  FileRange(HANDLE file, uint64_t first, uint64_t count)
      : ReadOnlyStream(count), file_(file), first_(first) {}

 private:
  ~FileRange() override { CloseHandle(file_); }

  HRESULT ReadAt(uint64_t offset, BYTE* buffer, ULONG size, ULONG* got) override {
    // Explicit offsets: the file's own position is never relied on, and
    // offsets beyond 4 GiB need both halves.
    const uint64_t at = first_ + offset;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD read = 0;
    if (!ReadFile(file_, buffer, size, &read, &where)) {
      const DWORD error = GetLastError();
      *got = 0;
      return error == ERROR_HANDLE_EOF ? S_OK : HRESULT_FROM_WIN32(error);
    }
    *got = read;
    return S_OK;
  }

  HANDLE file_;
  uint64_t first_;
};

class Memory final : public ReadOnlyStream {
 public:
  explicit Memory(std::string bytes) : ReadOnlyStream(bytes.size()), bytes_(std::move(bytes)) {}

 private:
  HRESULT ReadAt(uint64_t offset, BYTE* buffer, ULONG size, ULONG* got) override {
    std::memcpy(buffer, bytes_.data() + offset, size);
    *got = size;
    return S_OK;
  }

  std::string bytes_;
};

}  // namespace

ComRef<IStream> FileRangeStream(HANDLE file, uint64_t first, uint64_t count) {
  if (file == INVALID_HANDLE_VALUE || !file) return nullptr;
  LARGE_INTEGER size = {};
  const bool holdsRange = GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
                          first <= static_cast<uint64_t>(size.QuadPart) &&
                          count <= static_cast<uint64_t>(size.QuadPart) - first;
  IStream* stream = holdsRange ? new (std::nothrow) FileRange(file, first, count) : nullptr;
  if (!stream) {
    CloseHandle(file);
    return nullptr;
  }
  return ComRef<IStream>::Adopt(stream);
}

ComRef<IStream> MemoryStream(std::string bytes) {
  return ComRef<IStream>::Adopt(new (std::nothrow) Memory(std::move(bytes)));
}

}  // namespace kiln
