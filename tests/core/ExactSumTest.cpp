#include "TestRegistry.h"

#include "core/ExactSum.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace pv;

// Sums that a plain running sum of doubles gets wrong, and terms taken away
// again, in any order.
class ExactSumTest : public QObject
{
    Q_OBJECT

private slots:
    void sumsExactlyWhateverTheOrder()
    {
        ExactSum tenths;
        for (int i = 0; i < 10; ++i)
            tenths.add(0.1);
        QVERIFY(tenths.value() == 1.0);

        ExactSum cancelling;
        for (const double term : {1.0e16, 1.0, 0.01, -1.0e16})
            cancelling.add(term);
        QVERIFY(cancelling.value() == 1.0 + 0.01);
        cancelling.subtract(1.0);
        cancelling.subtract(0.01);
        QVERIFY(cancelling.value() == 0.0);

        // Half-way between two doubles: what lies below decides.
        ExactSum halfway;
        for (const double term : {1.0, std::ldexp(1.0, -53), std::ldexp(1.0, -80)})
            halfway.add(term);
        QVERIFY(halfway.value() == 1.0 + std::ldexp(1.0, -52));
    }

    void nonFiniteTermsCountAside()
    {
        const double infinity = std::numeric_limits<double>::infinity();
        ExactSum sum;
        sum.add(2.5);
        sum.add(infinity);
        QVERIFY(sum.value() == infinity);
        sum.add(std::nan(""));
        QVERIFY(std::isnan(sum.value()));
        sum.subtract(std::nan(""));
        sum.subtract(infinity);
        QVERIFY(sum.value() == 2.5);
    }
};

PV_REGISTER_TEST(ExactSumTest)
#include "ExactSumTest.moc"
