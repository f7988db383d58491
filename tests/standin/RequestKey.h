#pragma once

#include <QByteArray>

// The one spelling of a request target under which the recorded card
// database answers are filed: "+" read as a space, every path segment and
// query key/value percent-decoded and encoded again with upper-case hex,
// leaving only A-Z a-z 0-9 - . _ ~ (and ":" in the query) as they are.
namespace pv::test {

// Percent-encodes UTF-8 text, keeping the unreserved characters (and ":"
// when keepColon is set).
QByteArray encodeKeyPart(const QByteArray &decoded, bool keepColon);

// Decodes and re-encodes every "/"-separated segment of a path.
QByteArray normalisePath(const QByteArray &path);

// The lookup key of a raw request target (path and optional query).
QByteArray requestKey(const QByteArray &rawTarget);

// The same key with its query items sorted, so that clients that send the
// items in another order still find the recorded answer.
QByteArray withSortedQuery(const QByteArray &key);

} // namespace pv::test
