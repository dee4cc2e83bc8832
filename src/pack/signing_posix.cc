#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/signing.h"

extern char** environ;

namespace kiln {
namespace {

// A line typed on the terminal, not shown as it is typed.
bool AskPassword(std::string& password) {
  const int terminal = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (terminal < 0) return false;
  const char prompt[] = "Password of the certificate: ";
  (void)!write(terminal, prompt, sizeof prompt - 1);
  termios before{};
  const bool quiet = tcgetattr(terminal, &before) == 0;
  if (quiet) {
    termios hidden = before;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(terminal, TCSAFLUSH, &hidden);
  }
  char c;
  while (read(terminal, &c, 1) == 1 && c != '\n') password += c;
  if (quiet) tcsetattr(terminal, TCSAFLUSH, &before);
  (void)!write(terminal, "\n", 1);
  close(terminal);
  return true;
}

}  // namespace

bool SignExe(const std::string& in, const std::string& out, const std::string& pfx,
             std::string& why) {
  std::string password;
  if (const char* given = std::getenv("KILN_SIGN_PASSWORD")) {
    password = given;
  } else if (!AskPassword(password)) {
    why = "needs a password: set KILN_SIGN_PASSWORD";
    return false;
  }
  // The password reaches osslsigncode through a pipe, not its command
  // line, which every user of the machine can read.
  std::vector<std::string> arguments = {"osslsigncode", "sign", "-pkcs12", pfx, "-readpass",
                                        "-", "-h", "sha256", "-in", in, "-out", out};
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    why = "cannot be used: no pipe for the password";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "osslsigncode", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[0]);
  if (spawned == 0) (void)!write(pipeEnds[1], password.data(), password.size());
  close(pipeEnds[1]);
  if (spawned != 0) {
    why = "cannot be used: osslsigncode is not installed (apt-get install osslsigncode)";
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    why = "osslsigncode could not sign the exe with it (a wrong password?)";
    return false;
  }
  return true;
}

}  // namespace kiln
