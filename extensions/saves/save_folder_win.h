// The saves folder on disk: every file call of saves.ext.dll, made on its
// worker thread only. Names reaching here have passed NameError.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "save_rules.h"

namespace kiln::saves {

class SaveFolder {
 public:
  // folder: "<user data folder>\saves", created on the first write.
  explicit SaveFolder(const std::string& folder);

  // Each fills the answer's result, or its error.
  void Write(const std::string& name, const std::string& text, Answer& answer);
  void Read(const std::string& name, Answer& answer);
  void List(Answer& answer);
  void Remove(const std::string& name, Answer& answer);

 private:
  std::wstring Path(const std::string& file) const;
  bool ListFiles(std::vector<std::string>& files, std::string& error) const;

  std::wstring folder_;  // extended-length, ending in a backslash
};

}  // namespace kiln::saves
