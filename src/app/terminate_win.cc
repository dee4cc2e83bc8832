// What kiln.exe does when the C++ runtime gives up (std::terminate): end at
// once. The runtime's own handler would first print the name of the
// exception to stderr, which a window program does not have, and brings a
// symbol demangler of tens of KB into the exe for that alone. Defining the
// handler here keeps the runtime's one out of the link.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
