#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {

// Card numbers (CardNumberChecks.cpp)
void testCardNumberOrdering();
void testCardNumberNormalisation();
// Undo and redo of holding commands (UndoRedoChecks.cpp)
void testUndoRedo();
// Label sheet (LabelChecks.cpp)
void testLabels();
// Binders, value history and the catalog cache (BinderChecks.cpp)
void testBinders();

} // namespace pv::selftest
