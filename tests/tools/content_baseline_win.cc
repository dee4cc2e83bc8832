// The baseline of the content benchmark (bench/content_wine.sh): reads the
// same bytes the content server serves, with nothing but plain file reads,
// and prints one JSON line per round: {"do", "round", "count", "bytes", "ms"}.
//
//   content_baseline.exe files FOLDER PREFIX SUFFIX COUNT ROUNDS
//       reads FOLDER\PREFIX<i>SUFFIX whole, for i from 0 to COUNT - 1
//   content_baseline.exe ranges FILE COUNT SIZE SEED ROUNDS
//       reads COUNT ranges of SIZE bytes at the stand-in's random starts
//   content_baseline.exe calls FILE COUNT SIZE
//       times, COUNT times each, the calls one answer of the content server
//       can make on FILE (ranges of SIZE bytes), one line per call:
//       {"call", "count", "us"}, us being microseconds per call
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "../common/random_ranges.h"

namespace {

class Clock {
 public:
  Clock() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double Ms() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_, start_;
};

void Report(const char* kind, int round, long long count, uint64_t bytes, double ms) {
  std::printf("{\"do\": \"%s\", \"round\": %d, \"count\": %lld, \"bytes\": %llu, \"ms\": %.3f}\n",
              kind, round, count, static_cast<unsigned long long>(bytes), ms);
  std::fflush(stdout);
}

uint64_t ReadWhole(const std::wstring& path, std::vector<char>& buffer) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint64_t total = 0;
  DWORD read = 0;
  while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read > 0) {
    total += read;
  }
  CloseHandle(file);
  return total;
}

int Files(const std::wstring& folder, const std::wstring& prefix, const std::wstring& suffix,
          long long count, int rounds) {
  std::vector<char> buffer(64 * 1024);
  for (int round = 0; round < rounds; ++round) {
    const Clock clock;
    uint64_t bytes = 0;
    for (long long i = 0; i < count; ++i) {
      bytes += ReadWhole(folder + L"\\" + prefix + std::to_wstring(i) + suffix, buffer);
    }
    Report("files", round, count, bytes, clock.Ms());
  }
  return 0;
}

int Ranges(const std::wstring& path, long long count, uint64_t size, uint64_t seed, int rounds) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER fileSize = {};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &fileSize) || size == 0 ||
      size > static_cast<uint64_t>(fileSize.QuadPart)) {
    std::fprintf(stderr, "cannot read ranges of that file\n");
    return 1;
  }
  std::vector<char> buffer(static_cast<size_t>(size));
  for (int round = 0; round < rounds; ++round) {
    uint64_t state = seed;
    const Clock clock;
    uint64_t bytes = 0;
    for (long long i = 0; i < count; ++i) {
      const uint64_t first =
          kiln::testing::NextRangeStart(state, static_cast<uint64_t>(fileSize.QuadPart), size);
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(first);
      at.OffsetHigh = static_cast<DWORD>(first >> 32);
      DWORD read = 0;
      if (ReadFile(file, buffer.data(), static_cast<DWORD>(size), &read, &at)) bytes += read;
    }
    Report("ranges", round, count, bytes, clock.Ms());
  }
  CloseHandle(file);
  return 0;
}

// Microseconds per run of body, over count runs.
template <typename Body>
void TimeCall(const char* name, long long count, Body body) {
  const Clock clock;
  for (long long i = 0; i < count; ++i) body(i);
  std::printf("{\"call\": \"%s\", \"count\": %lld, \"us\": %.2f}\n", name, count,
              clock.Ms() * 1000.0 / static_cast<double>(count));
  std::fflush(stdout);
}

int Calls(const std::wstring& path, long long count, uint64_t size) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto open = [&path] {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  };
  HANDLE file = open();
  LARGE_INTEGER fileSize = {};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &fileSize) || size == 0 ||
      size > static_cast<uint64_t>(fileSize.QuadPart)) {
    std::fprintf(stderr, "cannot read ranges of that file\n");
    return 1;
  }
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const char* view =
      mapping ? static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
  if (!view) {
    std::fprintf(stderr, "cannot map that file\n");
    return 1;
  }
  const uint64_t span = static_cast<uint64_t>(fileSize.QuadPart) - size + 1;
  auto at = [span](long long i) { return (static_cast<uint64_t>(i) * 7919 * 4096) % span; };
  std::vector<char> buffer(static_cast<size_t>(size));
  std::vector<wchar_t> name(32768);

  TimeCall("CreateFileW + CloseHandle", count, [&](long long) { CloseHandle(open()); });
  TimeCall("GetFinalPathNameByHandleW, VOLUME_NAME_DOS", count, [&](long long) {
    GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  TimeCall("GetFinalPathNameByHandleW, VOLUME_NAME_NT", count, [&](long long) {
    GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                              FILE_NAME_NORMALIZED | VOLUME_NAME_NT);
  });
  TimeCall("GetFileInformationByHandleEx, FileIdInfo", count, [&](long long) {
    FILE_ID_INFO id;
    GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof(id));
  });
  TimeCall("GetFinalPathNameByHandleW, VOLUME_NAME_NONE", count, [&](long long) {
    GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                              FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
  });
  TimeCall("GetFileInformationByHandleEx, FileStandardInfo", count, [&](long long) {
    FILE_STANDARD_INFO standard;
    GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard));
  });
  TimeCall("GetFileInformationByHandleEx, FileBasicInfo", count, [&](long long) {
    FILE_BASIC_INFO basic;
    GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic));
  });
  TimeCall("GetFileAttributesExW", count, [&](long long) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  });
  TimeCall("memcpy from the view", count,
           [&](long long i) { std::memcpy(buffer.data(), view + at(i), buffer.size()); });
  TimeCall("ReadProcessMemory from the view", count, [&](long long i) {
    SIZE_T read = 0;
    ReadProcessMemory(GetCurrentProcess(), view + at(i), buffer.data(), buffer.size(), &read);
  });
  TimeCall("ReadFile at an offset", count, [&](long long i) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at(i));
    where.OffsetHigh = static_cast<DWORD>(at(i) >> 32);
    DWORD read = 0;
    ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, &where);
  });
  TimeCall("CoCreateFreeThreadedMarshaler + Release", count, [&](long long) {
    IUnknown* marshaler = nullptr;
    if (SUCCEEDED(CoCreateFreeThreadedMarshaler(nullptr, &marshaler))) marshaler->Release();
  });
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"files" && argc == 7) {
    return Files(argv[2], argv[3], argv[4], std::wcstoll(argv[5], nullptr, 10),
                 static_cast<int>(std::wcstol(argv[6], nullptr, 10)));
  }
  if (mode == L"ranges" && argc == 7) {
    return Ranges(argv[2], std::wcstoll(argv[3], nullptr, 10), std::wcstoull(argv[4], nullptr, 10),
                  std::wcstoull(argv[5], nullptr, 10),
                  static_cast<int>(std::wcstol(argv[6], nullptr, 10)));
  }
  if (mode == L"calls" && argc == 5) {
    return Calls(argv[2], std::wcstoll(argv[3], nullptr, 10), std::wcstoull(argv[4], nullptr, 10));
  }
  std::fprintf(stderr,
               "usage: content_baseline files FOLDER PREFIX SUFFIX COUNT ROUNDS\n"
               "       content_baseline ranges FILE COUNT SIZE SEED ROUNDS\n"
               "       content_baseline calls FILE COUNT SIZE\n");
  return 2;
}
