// What clients may hold of the program at once: connections, and request bodies read into
// memory before their request is whole.
#ifndef TRANSPORT_CONNECTION_LIMITS_H
#define TRANSPORT_CONNECTION_LIMITS_H

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

using TlsStream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;
using Connection = std::shared_ptr<TlsStream>;

// Shuts the TCP socket under the connection down and closes it, so that its pending
// operations end; `what` names the connection in the log line of a failure.
void closeConnection(TlsStream& connection, const std::string& what);

// When either limit is reached, the oldest connections that have not yet sent a whole
// request are closed first: a flood of idle or slow connections then cannot keep out a
// client that sends its request at once. Used on the event-loop thread only.
class ConnectionLimits {
public:
    ConnectionLimits(std::size_t maxConnections, std::size_t maxBodyBytes);

    // Counts a newly accepted connection in. False when the limit is reached and no
    // connection can make room because all have sent their requests; the caller then
    // closes the new one.
    bool admit(TlsStream& connection);
    // The connection is being answered (its request was whole, or refused): it is no longer
    // closed to make room.
    void answerStarted(TlsStream& connection);
    // Room for `bytes` of body for the connection, made by closing older connections that
    // hold room for bodies they have not finished sending. False when that is not enough.
    bool reserveBody(TlsStream& connection, std::size_t bytes);
    // The connection is being freed; one that was never admitted or was closed to make
    // room is not counted any more and is ignored.
    void release(TlsStream* connection);

    std::size_t maxConnections() const { return connectionLimit; }

private:
    struct Held {
        std::list<TlsStream*>::iterator position;
        bool waiting = true;
        std::size_t bodyBytes = 0;
    };

    // The oldest connection still waiting for its request that `qualifies`; null for none.
    template <typename Predicate> TlsStream* oldestWaiting(Predicate qualifies) const;
    void closeToMakeRoom(TlsStream* connection);

    const std::size_t connectionLimit;
    const std::size_t bodyLimit;
    std::size_t bodyBytesHeld = 0;
    std::list<TlsStream*> byAge;
    std::unordered_map<TlsStream*, Held> held;
};

#endif
