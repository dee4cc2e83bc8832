// The content server's bodies and mapped files on real files: which bytes a
// body holds, where they come from, who else may open the file meanwhile, and
// which threads may read it.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../common/test_bytes.h"
#include "../common/threads_win.h"
#include "app/app_config.h"
#include "common/paths.h"
#include "webview/byte_streams_win.h"
#include "webview/content_bodies_win.h"
#include "webview/content_folder_win.h"
#include "webview/kiln_web_view.h"
#include "webview/view_copy_win.h"

namespace kiln {
namespace {

using testing::Pattern;

constexpr uint64_t kFourGiB = 4ull << 30;

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return ToExtendedPath(std::wstring(folder) + name);
}

void WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at));
  ASSERT_EQ(written, bytes.size());
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  if (!bytes.empty()) WriteAt(file, 0, bytes);
  CloseHandle(file);
}

// Reads a stream to its end in pieces of the given size, as a browser might.
std::string ReadAll(IStream* stream, ULONG piece = 4096) {
  std::string bytes;
  std::string buffer(piece, '\0');
  for (;;) {
    ULONG read = 0;
    const HRESULT result = stream->Read(buffer.data(), piece, &read);
    EXPECT_TRUE(SUCCEEDED(result)) << std::hex << result;
    bytes.append(buffer.data(), read);
    if (FAILED(result) || read == 0) break;
  }
  return bytes;
}

// The error of opening the file for access while every other kind of access
// is shared, or 0 when it opens.
DWORD OpenError(const std::wstring& path, DWORD access) {
  HANDLE file = CreateFileW(path.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return 0;
}

// Opened for reading as the content server opens what it serves.
HANDLE OpenForReading(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring FinalPathOfFile(const std::wstring& path) {
  HANDLE file = OpenForReading(path);
  std::wstring finalPath = FinalPathOf(file);
  CloseHandle(file);
  EXPECT_FALSE(finalPath.empty());
  return finalPath;
}

ComRef<IStream> Range(const MappedFile* mapped, const std::wstring& path, uint64_t first,
                      uint64_t count) {
  bool viewFailed = false;
  ComRef<IStream> body = RangeBody(mapped, OpenForReading(path), first, count, &viewFailed);
  EXPECT_FALSE(viewFailed);
  return body;
}

class ContentFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempPath(L"kiln content \u00e9.bin");
    bytes_ = Pattern(1000, 3);
    WriteWholeFile(path_, bytes_);
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  AppConfig config_;
  std::wstring path_;
  std::string bytes_;
};

TEST_F(ContentFileTest, RangeStreamReadsExactlyItsBytesInPiecesOfAnySize) {
  ComRef<IStream> stream = FileRangeStream(OpenForReading(path_), 100, 250);
  ASSERT_TRUE(stream);
  EXPECT_EQ(ReadAll(stream.Get(), 7), bytes_.substr(100, 250));

  STATSTG stat = {};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 250u);

  // Seeking moves within the range, never outside it.
  LARGE_INTEGER move = {};
  ULARGE_INTEGER position = {};
  move.QuadPart = 240;
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 240u);
  char buffer[32] = {};
  ULONG read = 0;
  EXPECT_EQ(stream->Read(buffer, sizeof(buffer), &read), S_FALSE) << "the end came first";
  EXPECT_EQ(std::string(buffer, read), bytes_.substr(340, 10));
  move.QuadPart = -5;
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(ReadAll(stream.Get()), bytes_.substr(345, 5));
  move.QuadPart = -300;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &position), STG_E_INVALIDFUNCTION);
  ULONG written = 1;
  EXPECT_TRUE(FAILED(stream->Write("x", 1, &written)));
  EXPECT_EQ(written, 0u);
}

TEST_F(ContentFileTest, RangeStreamRefusesMissingFilesAndRangesPastTheEnd) {
  EXPECT_FALSE(FileRangeStream(OpenForReading(TempPath(L"kiln no such file.bin")), 0, 1));
  EXPECT_FALSE(FileRangeStream(OpenForReading(path_), 900, 101)) << "the file shrank below it";
  EXPECT_FALSE(FileRangeStream(OpenForReading(path_), 1001, 0));
  ComRef<IStream> last = FileRangeStream(OpenForReading(path_), 999, 1);
  ASSERT_TRUE(last);
  EXPECT_EQ(ReadAll(last.Get()), bytes_.substr(999));
}

TEST_F(ContentFileTest, RangeBodyCopiesFromAMappedFileThatHoldsTheRangeElseReadsTheFile) {
  // A mapped file with other bytes than the file named shows where the body
  // came from.
  const std::wstring other = TempPath(L"kiln mapped.bin");
  WriteWholeFile(other, Pattern(1000, 100));
  std::string view(1000, 'v');
  MappedFile mapped;
  mapped.file = OpenForReading(other);
  mapped.view = view.data();
  mapped.size = view.size();

  ComRef<IStream> copied = Range(&mapped, path_, 100, 100);
  ASSERT_TRUE(copied);
  HANDLE writer = CreateFileW(other.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  WriteAt(writer, 0, std::string(1000, 'x'));
  CloseHandle(writer);
  EXPECT_EQ(ReadAll(copied.Get()), Pattern(1000, 100).substr(100, 100))
      << "a copy, taken when the body was made";

  mapped.size = 150;  // a mapping that ends inside the range is not read past
  ComRef<IStream> read = Range(&mapped, path_, 100, 100);
  ASSERT_TRUE(read);
  EXPECT_EQ(ReadAll(read.Get()), bytes_.substr(100, 100));

  ComRef<IStream> unmapped = Range(nullptr, path_, 500, 500);
  ASSERT_TRUE(unmapped);
  EXPECT_EQ(ReadAll(unmapped.Get()), bytes_.substr(500));
  EXPECT_FALSE(Range(nullptr, TempPath(L"kiln no such file.bin"), 0, 10));
  CloseHandle(mapped.file);
  DeleteFileW(other.c_str());
}

TEST_F(ContentFileTest, AMappedFileThatCannotBeReadFailsTheBodyNotTheHost) {
  // A handle that may not read fails every read, as a file does whose disk
  // has gone away.
  MappedFile mapped;
  mapped.file = CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(mapped.file, INVALID_HANDLE_VALUE);
  mapped.view = bytes_.data();
  mapped.size = bytes_.size();
  bool viewFailed = false;
  EXPECT_FALSE(RangeBody(&mapped, OpenForReading(path_), 400, 100, &viewFailed));
  EXPECT_TRUE(viewFailed);
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u) << "the file is let go all the same";
  CloseHandle(mapped.file);

  // The copy works again once one has failed, and never reads past the
  // file's end.
  mapped.file = OpenForReading(path_);
  char to[16] = {};
  EXPECT_TRUE(CopyFromMappedFile(mapped, 10, to, sizeof(to)));
  EXPECT_EQ(std::string(to, sizeof(to)), bytes_.substr(10, 16));
  EXPECT_FALSE(CopyFromMappedFile(mapped, 990, to, sizeof(to)));
  CloseHandle(mapped.file);
}

TEST_F(ContentFileTest, StreamsAreReadAsThemselvesFromAnyThread) {
  // WebView2 reads bodies on a thread of its own: marshaled to a
  // multithreaded apartment, a body must arrive as the same object, not as
  // a proxy that calls back into the UI thread.
  ComRef<IStream> bodies[] = {FileRangeStream(OpenForReading(path_), 0, 1000), NotFoundBody()};
  for (ComRef<IStream>& body : bodies) {
    ASSERT_TRUE(body);
    IStream* marshaled = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IStream, body.Get(), &marshaled), S_OK);
    IStream* unmarshaled = nullptr;
    std::string read;
    kiln_test::Thread reader([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      if (SUCCEEDED(CoGetInterfaceAndReleaseStream(marshaled, IID_IStream,
                                                   reinterpret_cast<void**>(&unmarshaled)))) {
        read = ReadAll(unmarshaled);
      }
      CoUninitialize();
    });
    reader.Join();
    EXPECT_EQ(unmarshaled, body.Get());
    if (unmarshaled) unmarshaled->Release();
    EXPECT_FALSE(read.empty());
  }
}

TEST_F(ContentFileTest, AStreamedFileLetsWritersInAndCanBeMappedMeanwhile) {
  ComRef<IStream> body = FileRangeStream(OpenForReading(path_), 0, bytes_.size());
  ASSERT_TRUE(body);
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);
  {
    KilnWebView host(&config_, nullptr, "C:\\app\\", nullptr, "");
    EXPECT_NE(host.MapContentFile(FinalPathOfFile(path_), path_), nullptr);
  }
  EXPECT_EQ(ReadAll(body.Get()), bytes_);
  body.Reset();

  const std::wstring empty = TempPath(L"kiln empty.bin");
  WriteWholeFile(empty, "");
  ComRef<IStream> nothing = FileRangeStream(OpenForReading(empty), 0, 0);
  ASSERT_TRUE(nothing);
  EXPECT_EQ(ReadAll(nothing.Get()), "");
  nothing.Reset();
  DeleteFileW(empty.c_str());
}

TEST_F(ContentFileTest, MappedFilesAreMappedOncePerFileKeptAndReleased) {
  const std::wstring empty = TempPath(L"kiln empty.bin");
  WriteWholeFile(empty, "");
  const std::wstring identity = FinalPathOfFile(path_);
  {
    KilnWebView host(&config_, nullptr, "C:\\app\\", nullptr, "");
    const MappedFile* mapped = host.MapContentFile(identity, path_);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped->size, bytes_.size());
    EXPECT_EQ(std::string(static_cast<const char*>(mapped->view), bytes_.size()), bytes_);
    EXPECT_EQ(host.MapContentFile(identity, path_), mapped) << "the same view again";
    EXPECT_EQ(host.MapContentFile(identity, TempPath(L"KILN CONTENT \u00c9.BIN")), mapped)
        << "whatever name reached the file";
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(OpenError(path_, DELETE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(OpenError(path_, GENERIC_READ), 0u);

    EXPECT_EQ(host.MapContentFile(FinalPathOfFile(empty), empty), nullptr);
    EXPECT_EQ(host.MapContentFile(identity + L".gone", TempPath(L"kiln no such file.bin")), nullptr);
    EXPECT_EQ(host.MapContentFile(FinalPathOfFile(empty), path_), nullptr)
        << "a name that no longer leads to the file looked at";
    EXPECT_EQ(host.mappedFiles.size(), 1u) << "only files that were mapped are kept";
    EXPECT_EQ(OpenError(empty, GENERIC_WRITE), 0u) << "a failed mapping leaves nothing open";

    host.ForgetMappedFile(identity);
    EXPECT_TRUE(host.mappedFiles.empty());
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);

    host.MapContentFile(identity, path_);
    host.ReleaseMappedFiles();
    EXPECT_TRUE(host.mappedFiles.empty());
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);

    host.MapContentFile(identity, path_);
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u) << "the host releases what is left as it goes";
  DeleteFileW(empty.c_str());
}

// Offsets beyond 4 GiB need both halves of every offset; a 5 GiB sparse file
// costs no disk space.
TEST(LargeContentFileTest, RangesBeyondFourGibibytesComeFromTheirOffset) {
  const std::wstring path = TempPath(L"kiln large.bin");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD unused = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  LARGE_INTEGER end = {};
  end.QuadPart = 5 * (1ll << 30);
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  WriteAt(file, 100, "low");
  WriteAt(file, kFourGiB + 100, "high");
  CloseHandle(file);

  ComRef<IStream> high = Range(nullptr, path, kFourGiB + 98, 8);
  ASSERT_TRUE(high);
  EXPECT_EQ(ReadAll(high.Get()), std::string("\0\0high\0\0", 8));
  STATSTG stat = {};
  high->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 8u);
  high.Reset();

  ComRef<IStream> tail = Range(nullptr, path, end.QuadPart - 3, 3);
  ASSERT_TRUE(tail);
  EXPECT_EQ(ReadAll(tail.Get()), std::string(3, '\0'));
  tail.Reset();
  EXPECT_FALSE(Range(nullptr, path, end.QuadPart - 3, 4));
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace kiln
