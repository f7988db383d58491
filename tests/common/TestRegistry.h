#pragma once

#include <QObject>
#include <functional>
#include <vector>

// Each QtTest class of a suite registers itself with PV_REGISTER_TEST; the
// suite's shared main runs them all in one executable.
namespace pv::test {

using TestFactory = std::function<QObject *()>;

std::vector<TestFactory> &registry();

struct Registrar
{
    explicit Registrar(TestFactory factory) { registry().push_back(std::move(factory)); }
};

} // namespace pv::test

#define PV_REGISTER_TEST(Class) \
    static ::pv::test::Registrar pvTestRegistrar_##Class([]() -> QObject * { return new Class; });
