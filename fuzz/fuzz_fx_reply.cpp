// The exchange-rate reply.
#include "FuzzSupport.h"

#include "core/FxRateFetcher.h"
#include "core/FxRates.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    FxRateFetcher::Reply reply;
    if (FxRateFetcher::readReply(fuzz::bytesOf(data, size), &reply)) {
        if (!FxRates::isUsable(reply.rates.value(QStringLiteral("EUR"))))
            fuzz::fail(QStringLiteral("a reply without a usable rate was accepted"));
    } else if (reply.problem.isEmpty()) {
        fuzz::fail(QStringLiteral("a refused reply gave no reason"));
    }
    return 0;
}
