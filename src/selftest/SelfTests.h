#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {


} // namespace pv::selftest
