// The content server's bodies and files on real files: which bytes a body
// holds, where they come from, who else may open the file meanwhile, which
// threads may read it, and what www lets out.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../common/test_bytes.h"
#include "../common/threads_win.h"
#include "common/paths.h"
#include "common/text_win.h"
#include "webview/byte_streams_win.h"
#include "webview/content_bodies_win.h"
#include "webview/content_folder_win.h"

namespace kiln {
namespace {

using testing::Pattern;

constexpr uint64_t kFourGiB = 4ull << 30;

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return ToExtendedPath(std::wstring(folder) + name);
}

std::string TempFolder() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return WideToUtf8(folder);
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
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ComRef<IStream> Range(const std::wstring& path, uint64_t first, uint64_t count) {
  return RangeBody(OpenForReading(path), first, count);
}

class ContentFileTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kName = L"kiln content \u00e9.bin";
  void SetUp() override {
    path_ = TempPath(kName);
    bytes_ = Pattern(1000, 3);
    WriteWholeFile(path_, bytes_);
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

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

TEST_F(ContentFileTest, SmallRangesAreCopiedAndTheFileLetGoLargeOnesReadFromIt) {
  ComRef<IStream> copied = Range(path_, 100, 100);
  ASSERT_TRUE(copied);
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);
  HANDLE exclusive = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "nothing holds the file once a range is copied";
  if (exclusive != INVALID_HANDLE_VALUE) {
    WriteAt(exclusive, 0, std::string(1000, 'x'));
    CloseHandle(exclusive);
  }
  EXPECT_EQ(ReadAll(copied.Get()), bytes_.substr(100, 100)) << "a copy, taken when the body was made";

  const std::wstring large = TempPath(L"kiln large range.bin");
  const std::string largeBytes = Pattern(static_cast<size_t>(kCopiedRangeBytes) + 10, 5);
  WriteWholeFile(large, largeBytes);
  ComRef<IStream> streamed = Range(large, 5, kCopiedRangeBytes + 1);
  ASSERT_TRUE(streamed);
  EXPECT_EQ(OpenError(large, GENERIC_WRITE), 0u) << "writers and deleters are let in meanwhile";
  EXPECT_EQ(OpenError(large, DELETE), 0u);
  EXPECT_EQ(ReadAll(streamed.Get(), 1 << 16), largeBytes.substr(5, static_cast<size_t>(kCopiedRangeBytes) + 1));
  streamed.Reset();
  DeleteFileW(large.c_str());
  EXPECT_FALSE(Range(TempPath(L"kiln no such file.bin"), 0, 10));
}

TEST_F(ContentFileTest, AFileThatCannotBeReadFailsTheBodyNotTheHost) {
  // A handle that may not read fails every read, as a file does whose disk
  // has gone away.
  HANDLE unreadable = CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(unreadable, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(RangeBody(unreadable, 400, 100));
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);
  HANDLE exclusive = CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the file is let go all the same";
  CloseHandle(exclusive);

  // Copies never read past the file's end.
  HANDLE file = OpenForReading(path_);
  char to[16] = {};
  EXPECT_TRUE(CopyFileRange(file, 10, to, sizeof(to)));
  EXPECT_EQ(std::string(to, sizeof(to)), bytes_.substr(10, 16));
  EXPECT_FALSE(CopyFileRange(file, 990, to, sizeof(to)));
  CloseHandle(file);
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

TEST_F(ContentFileTest, AStreamedFileLetsWritersAndDeletersIn) {
  ComRef<IStream> body = FileRangeStream(OpenForReading(path_), 0, bytes_.size());
  ASSERT_TRUE(body);
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u);
  EXPECT_EQ(OpenError(path_, DELETE), 0u);
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

TEST_F(ContentFileTest, WwwServesOnlyWhatItCanTellLiesInsideIt) {
  const std::string folder = TempFolder();
  const std::string name = WideToUtf8(kName);
  const std::wstring folderFinalPath = FinalFolderPath(folder);
  ASSERT_FALSE(folderFinalPath.empty());
  {
    ContentFolderFiles files(folder, folderFinalPath);
    const FileFacts facts = files.Examine(name);
    EXPECT_TRUE(facts.exists);
    EXPECT_EQ(facts.size, bytes_.size());
    HANDLE file = files.TakeFile();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u) << "an editor may save over a file being served";
    EXPECT_EQ(OpenError(path_, DELETE), 0u);
    CloseHandle(file);
  }
  // Where Windows cannot tell where www really is (a RAM disk, a drive made
  // with DefineDosDevice), nothing can be checked, so nothing is served.
  ContentFolderFiles unchecked(folder, L"");
  EXPECT_FALSE(unchecked.Examine(name).exists);
  EXPECT_EQ(unchecked.TakeFile(), INVALID_HANDLE_VALUE);
  ContentFolderFiles elsewhere(folder, folderFinalPath + L"\\www");
  EXPECT_FALSE(elsewhere.Examine(name).exists) << "a file outside www";
}

// A range-served file stays open between requests only while its name
// shows the file it was opened from: one saved anew in place with another
// size is measured and read anew, and no handle outlives its release.
TEST_F(ContentFileTest, AHeldFileIsMeasuredAnewOnceItsNameShowsAnotherFile) {
  const std::string folder = TempFolder();
  const std::string name = WideToUtf8(kName);
  const std::wstring folderFinalPath = FinalFolderPath(folder);
  ASSERT_FALSE(folderFinalPath.empty());
  HeldContentFiles held;
  HANDLE first = INVALID_HANDLE_VALUE;
  HANDLE last = INVALID_HANDLE_VALUE;
  {
    ContentFolderFiles files(folder, folderFinalPath, &held);
    EXPECT_EQ(files.Examine(name).size, bytes_.size());
    first = files.File();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
  }
  {
    ContentFolderFiles files(folder, folderFinalPath, &held);
    EXPECT_EQ(files.Examine(name).size, bytes_.size());
    EXPECT_EQ(files.File(), first) << "the same file is read through the handle held";
  }
  EXPECT_EQ(OpenError(path_, GENERIC_WRITE), 0u) << "an editor may save over a held file";
  const std::string saved = Pattern(1500, 4);
  HANDLE editor = CreateFileW(path_.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(editor, INVALID_HANDLE_VALUE);
  WriteAt(editor, 0, saved);
  CloseHandle(editor);
  {
    ContentFolderFiles files(folder, folderFinalPath, &held);
    EXPECT_EQ(files.Examine(name).size, saved.size());
    last = files.File();
    ComRef<IStream> body = CopiedRangeBody(files.File(), 1000, 500);
    ASSERT_TRUE(body);
    EXPECT_EQ(ReadAll(body.Get()), saved.substr(1000));
  }
  held.ReleaseAll();
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(last, &flags)) << "released means closed";
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

  ComRef<IStream> high = Range(path, kFourGiB + 98, 8);
  ASSERT_TRUE(high);
  EXPECT_EQ(ReadAll(high.Get()), std::string("\0\0high\0\0", 8));
  STATSTG stat = {};
  high->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 8u);
  high.Reset();

  ComRef<IStream> tail = Range(path, end.QuadPart - 3, 3);
  ASSERT_TRUE(tail);
  EXPECT_EQ(ReadAll(tail.Get()), std::string(3, '\0'));
  tail.Reset();
  EXPECT_FALSE(Range(path, end.QuadPart - 3, 4));
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace kiln
