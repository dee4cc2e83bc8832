// The content server's bodies and mapped files on real files: which bytes a
// body holds, where they come from, and who else may open the file meanwhile.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../common/test_bytes.h"
#include "app/app_config.h"
#include "common/paths.h"
#include "webview/content_bodies_win.h"
#include "webview/file_range_stream_win.h"
#include "webview/kiln_web_view.h"

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
  ComRef<IStream> stream = OpenFileRangeStream(path_, 100, 250);
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
  EXPECT_FALSE(OpenFileRangeStream(TempPath(L"kiln no such file.bin"), 0, 1));
  EXPECT_FALSE(OpenFileRangeStream(path_, 900, 101)) << "the file shrank below the range";
  EXPECT_FALSE(OpenFileRangeStream(path_, 1001, 0));
  ComRef<IStream> last = OpenFileRangeStream(path_, 999, 1);
  ASSERT_TRUE(last);
  EXPECT_EQ(ReadAll(last.Get()), bytes_.substr(999));
}

TEST_F(ContentFileTest, RangeBodyCopiesFromAViewThatHoldsTheRangeElseReadsTheFile) {
  // A view with other bytes than the file shows where the body came from.
  std::string view = Pattern(1000, 100);
  MappedFile mapped;
  mapped.view = view.data();
  mapped.size = view.size();

  ComRef<IStream> copied = RangeBody(&mapped, path_, 100, 100);
  ASSERT_TRUE(copied);
  view.replace(100, 100, 100, 'x');
  EXPECT_EQ(ReadAll(copied.Get()), Pattern(1000, 100).substr(100, 100))
      << "a copy, taken when the body was made";

  mapped.size = 150;  // a view that ends inside the range is not read past
  ComRef<IStream> read = RangeBody(&mapped, path_, 100, 100);
  ASSERT_TRUE(read);
  EXPECT_EQ(ReadAll(read.Get()), bytes_.substr(100, 100));

  ComRef<IStream> unmapped = RangeBody(nullptr, path_, 500, 500);
  ASSERT_TRUE(unmapped);
  EXPECT_EQ(ReadAll(unmapped.Get()), bytes_.substr(500));
  EXPECT_FALSE(RangeBody(nullptr, TempPath(L"kiln no such file.bin"), 0, 10));
}

TEST_F(ContentFileTest, WholeFileBodyLetsReadersInAndKeepsWritersOut) {
  ComRef<IStream> body = WholeFileBody(path_);
  ASSERT_TRUE(body);
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(OpenError(path_, GENERIC_READ), 0u);
  {
    // The content server maps a file while a stream on it may still be read.
    KilnWebView host(&config_, nullptr, "C:\\app\\", nullptr, "");
    EXPECT_NE(host.MapContentFile("content.bin", path_), nullptr);
  }
  EXPECT_EQ(ReadAll(body.Get()), bytes_);
  body.Reset();
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);

  EXPECT_FALSE(WholeFileBody(TempPath(L"kiln no such file.bin")));
  const std::wstring empty = TempPath(L"kiln empty.bin");
  WriteWholeFile(empty, "");
  ComRef<IStream> nothing = WholeFileBody(empty);
  ASSERT_TRUE(nothing);
  EXPECT_EQ(ReadAll(nothing.Get()), "");
  nothing.Reset();
  DeleteFileW(empty.c_str());
}

TEST_F(ContentFileTest, MappedFilesAreMappedOnceKeptAndReleased) {
  const std::wstring empty = TempPath(L"kiln empty.bin");
  WriteWholeFile(empty, "");
  {
    KilnWebView host(&config_, nullptr, "C:\\app\\", nullptr, "");
    const MappedFile* mapped = host.MapContentFile("media/a.bin", path_);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped->size, bytes_.size());
    EXPECT_EQ(std::string(static_cast<const char*>(mapped->view), bytes_.size()), bytes_);
    EXPECT_EQ(host.MapContentFile("media/a.bin", path_), mapped) << "the same view again";
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(OpenError(path_, DELETE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(OpenError(path_, GENERIC_READ), 0u);

    EXPECT_EQ(host.MapContentFile("gone.bin", TempPath(L"kiln no such file.bin")), nullptr);
    EXPECT_EQ(host.MapContentFile("empty.bin", empty), nullptr);
    EXPECT_EQ(host.mappedFiles.size(), 1u) << "only files that were mapped are kept";
    EXPECT_EQ(OpenError(empty, GENERIC_WRITE), 0u) << "a failed mapping leaves nothing open";

    host.ReleaseMappedFiles();
    EXPECT_TRUE(host.mappedFiles.empty());
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);

    host.MapContentFile("media/a.bin", path_);
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

  ComRef<IStream> high = RangeBody(nullptr, path, kFourGiB + 98, 8);
  ASSERT_TRUE(high);
  EXPECT_EQ(ReadAll(high.Get()), std::string("\0\0high\0\0", 8));
  STATSTG stat = {};
  high->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 8u);
  high.Reset();

  ComRef<IStream> tail = RangeBody(nullptr, path, end.QuadPart - 3, 3);
  ASSERT_TRUE(tail);
  EXPECT_EQ(ReadAll(tail.Get()), std::string(3, '\0'));
  tail.Reset();
  EXPECT_FALSE(RangeBody(nullptr, path, end.QuadPart - 3, 4));
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace kiln
