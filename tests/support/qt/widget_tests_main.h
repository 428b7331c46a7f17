// The main of a widget test that binds card ports: a private network namespace entered before any
// thread exists (so every later thread inherits it), the offscreen platform unless one is set, then
// the tests.
#pragma once

namespace support {

// Runs the tests; `private_network` tells them whether the namespace was entered (they skip if not).
int run_widget_tests_in_private_network(int argc, char** argv, bool& private_network);

}  // namespace support
