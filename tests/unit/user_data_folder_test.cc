#include "app/user_data_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace kiln {
namespace {

TEST(UserDataFolderNameTest, NamesWindowsRefusesBecomeNamesItTakes) {
  const std::pair<std::string, std::string> cases[] = {
      // Names Windows accepts stay as they are.
      {"my-game", "my-game"},
      {"My Game \xE2\x80\x94 Deluxe", "My Game \xE2\x80\x94 Deluxe"},
      {".hidden", ".hidden"},
      {"v1.2", "v1.2"},
      {"console", "console"},
      {"COM10", "COM10"},
      {"LPT0", "LPT0"},
      {"con-tra", "con-tra"},
      // Forbidden characters and control characters.
      {"My Game: Deluxe", "My Game_ Deluxe"},
      {"a<b>c\"d/e\\f|g?h*i", "a_b_c_d_e_f_g_h_i"},
      {std::string("tab\there\x01\0", 10), "tab_here__"},
      // Trailing dots and spaces, each of them.
      {"game.", "game_"},
      {"game. .", "game___"},
      {"..", "__"},
      {"../escape", ".._escape"},
      {"..\\..\\Windows", ".._.._Windows"},
      // Device names, in any case and with an extension or trailing spaces.
      {"CON", "CON_"},
      {"nul", "nul_"},
      {"Aux.save", "Aux_.save"},
      {"com1", "com1_"},
      {"LPT9.txt", "LPT9_.txt"},
      {"prn ", "prn_"},
  };
  for (const auto& [name, folder] : cases) {
    EXPECT_EQ(UserDataFolderName(name), folder) << name;
  }
}

}  // namespace
}  // namespace kiln
