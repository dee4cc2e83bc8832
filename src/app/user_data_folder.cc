#include "app/user_data_folder.h"

#include <cstring>

namespace kiln {
namespace {

bool IsForbidden(char c) {
  return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr;
}

bool IsDeviceName(const std::string& base) {
  std::string upper;
  for (const char c : base) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

std::string UserDataFolderName(const std::string& name) {
  std::string folder = name;
  for (char& c : folder) {
    if (IsForbidden(c)) c = '_';
  }
  for (size_t i = folder.size(); i > 0 && (folder[i - 1] == '.' || folder[i - 1] == ' '); --i) {
    folder[i - 1] = '_';
  }
  // Windows takes the part before the first dot, spaces after it ignored,
  // as the device: "con.txt" and "NUL " name devices too.
  const size_t dot = folder.find('.');
  size_t end = dot == std::string::npos ? folder.size() : dot;
  while (end > 0 && folder[end - 1] == ' ') --end;
  if (IsDeviceName(folder.substr(0, end))) folder.insert(end, "_");
  return folder;
}

}  // namespace kiln
