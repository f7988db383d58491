#pragma once

namespace pv {

// Runs the built-in self-test suite on standard output; returns 0 when every
// check passed, else 1.
int runSelfTests();

} // namespace pv
