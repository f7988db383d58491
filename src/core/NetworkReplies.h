#pragma once

#include <QString>

class QNetworkReply;
class QNetworkRequest;

// Helpers every web client shares for its replies.
namespace pv {

// Gives a request its transfer time-out.
void setTransferTimeout(QNetworkRequest &request, int milliseconds);

// Aborts a reply on purpose, so that its cancellation is not taken for a
// time-out.
void abortReply(QNetworkReply *reply);

// True when the reply ended because its transfer time-out ran out. Qt 6.4
// reports its own transfer time-out as a cancelled operation rather than a
// time-out, so a cancellation nobody asked for counts as one too.
bool replyTimedOut(const QNetworkReply *reply);

// The reply's error text, naming a time-out as such.
QString replyErrorText(const QNetworkReply *reply);

// The HTTP status code of the reply, 0 when the server sent none.
int replyHttpStatus(const QNetworkReply *reply);

} // namespace pv
