#include "pack/kiln_exe_search.h"

namespace kiln {

std::vector<std::string> KilnExeCandidates(KilnArch arch, const std::string& programFolder) {
  std::vector<std::string> candidates = {programFolder + "/kiln.exe"};
  // build/<preset>/src: two folders up is the build output.
  const size_t src = programFolder.find_last_of('/');
  const size_t preset = src == std::string::npos || src == 0
                            ? std::string::npos
                            : programFolder.find_last_of('/', src - 1);
  if (preset != std::string::npos) {
    const std::string build = programFolder.substr(0, preset);
    candidates.push_back(build + (arch == KilnArch::X64 ? "/win64" : "/win32") + "/src/kiln.exe");
  }
  return candidates;
}

}  // namespace kiln
