#include "bin/obrelix-statusline/capture.hpp"
#include "platform/platform.hpp"

// The exit status is 0 on every path and nothing is printed: the host tool
// runs this on every status refresh and has no use for either.
int main() {
  try {
    obrelix::capture::run_capture(obrelix::platform::native_platform());
  } catch (...) {
    // Only memory exhaustion gets here; the run ends like any other failure.
  }
  return 0;
}
