#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/files_win.h"
#include "common/text_win.h"

namespace kiln {
namespace {

std::string TempFile(const char* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return WideToUtf8(std::wstring(folder)) + name;
}

TEST(TextTest, ConvertsBetweenUtf8AndUtf16) {
  EXPECT_EQ(Utf8ToWide("caf\xC3\xA9 \xF0\x9F\x9A\x80"), L"caf\u00e9 \U0001F680");
  EXPECT_EQ(WideToUtf8(L"caf\u00e9 \U0001F680"), "caf\xC3\xA9 \xF0\x9F\x9A\x80");
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(FilesTest, ReadsAFileWholeAndByteForByte) {
  const std::string path = TempFile("kiln files \xC3\xA9.bin");
  const std::string bytes("line\r\n\0\x1A end", 12);
  std::ofstream(Utf8ToWide(path).c_str(), std::ios::binary) << bytes;
  EXPECT_EQ(FileSize(path), bytes.size());
  EXPECT_EQ(ReadFileToString(path), bytes);
  DeleteFileW(Utf8ToWide(path).c_str());
  EXPECT_EQ(ReadFileToString(path), "");
  EXPECT_EQ(FileSize(path), 0u);
}

TEST(FilesTest, ExecutablePathIsCanonicalAndFolderExists) {
  const std::string& path = GetExecutablePath();
  EXPECT_EQ(path.rfind("\\\\?\\", 0), std::string::npos);
  EXPECT_NE(path.find("kiln_shell_tests.exe"), std::string::npos) << path;
  EXPECT_FALSE(GetLocalAppDataPath().empty());
  EXPECT_NE(GetFileAttributesW(Utf8ToWide(GetLocalAppDataPath()).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace kiln
