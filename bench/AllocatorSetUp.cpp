// Built into every benchmark: each runs on the allocator set-up the program
// runs on, from before its first allocation, as the program's main sets it.
#include "core/Disposal.h"

namespace {

const bool allocatorSetUp = (pv::Disposal::setUpAllocator(), true);

} // namespace
