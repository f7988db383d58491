#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv {
class TcgdexClient;
}

namespace pv::selftest {

// Card numbers (CardNumberChecks.cpp)
void testCardNumberOrdering();
void testCardNumberNormalisation();

// Card database endpoints (EndpointChecks.cpp), given the suite's client.
void testEnglishEndpoints(TcgdexClient &client);
void testBinderEndpoints(TcgdexClient &client);
void testJapaneseEndpoints(TcgdexClient &client);
void testImages(TcgdexClient &client);

} // namespace pv::selftest
