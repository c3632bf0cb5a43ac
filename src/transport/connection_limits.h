// What clients may hold of the program at once: connections, request bodies read into
// memory before their request is whole, and time for each step of a connection.
#ifndef TRANSPORT_CONNECTION_LIMITS_H
#define TRANSPORT_CONNECTION_LIMITS_H

#include <boost/intrusive/list.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

using DeadlineClock = std::chrono::steady_clock;

// What the limits keep of one connection. It lives inside the connection, so that keeping it
// costs no allocation and no look-up.
class HeldConnection {
public:
    HeldConnection() = default;
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;

    // Ends the connection so that its pending operations end; `what` names it in the log
    // line of a failure.
    virtual void close(const std::string& what) = 0;

protected:
    ~HeldConnection() = default;

private:
    friend class ConnectionLimits;

    boost::intrusive::list_member_hook<> byAge;
    boost::intrusive::list_member_hook<> byDeadline;
    bool waiting = true;
    std::size_t bodyBytes = 0;
    DeadlineClock::time_point deadline;
};

// When either the connection or the body limit is reached, the oldest connections that have
// not yet sent a whole request are closed first: a flood of idle or slow connections then
// cannot keep out a client that sends its request at once. A connection that has sent its
// whole header and is sending a body that fits the limits is never closed for a new
// connection: the owner's slow upload is served however many connections others open.
// Every step of a connection has a deadline; a connection still in the step when it passes
// is closed. Used on the event-loop thread only.
class ConnectionLimits {
public:
    // Logs a line that a caller can cause as often as it likes, collapsed with the others of
    // its `cause`: the text of a count's line ("connections closed to make room").
    using Report = std::function<void(const std::string& cause, const std::string& line)>;

    ConnectionLimits(std::size_t maxConnections, std::size_t maxBodyBytes, Report report);
    ConnectionLimits(const ConnectionLimits&) = delete;
    ConnectionLimits& operator=(const ConnectionLimits&) = delete;

    // Counts a newly accepted connection in. False when the limit is reached and no
    // connection can make room because all have sent their requests; the caller then
    // closes the new one.
    bool admit(HeldConnection& connection);
    // The connection is being answered (its request was whole, or refused): it is no longer
    // closed to make room.
    void answerStarted(HeldConnection& connection);
    // Room for `bytes` of body for the connection, made by closing older connections that
    // hold room for bodies they have not finished sending. False when that is not enough.
    bool reserveBody(HeldConnection& connection, std::size_t bytes);
    // The connection is being freed; one that was never admitted or was closed to make
    // room is not counted any more and is ignored.
    void release(HeldConnection& connection);

    // The connection starts a step that must end by `deadline`. Every step is given the
    // same time, so connections come due in the order of their last renewal.
    void renewDeadline(HeldConnection& connection, DeadlineClock::time_point deadline);
    // The connection is in no step that could be late.
    void clearDeadline(HeldConnection& connection);
    // Closes the connections whose step has not ended by `now`.
    void closeOverdue(DeadlineClock::time_point now);
    // When the next connection comes due; none while no connection is in a step.
    std::optional<DeadlineClock::time_point> nextDeadline() const;

    std::size_t maxConnections() const { return connectionLimit; }

private:
    template <boost::intrusive::list_member_hook<> HeldConnection::*Hook>
    using List = boost::intrusive::list<
        HeldConnection,
        boost::intrusive::member_hook<HeldConnection, boost::intrusive::list_member_hook<>, Hook>>;

    // The oldest connection still waiting for its request that `qualifies`; null for none.
    template <typename Predicate> HeldConnection* oldestWaiting(Predicate qualifies);
    void closeToMakeRoom(HeldConnection& connection);

    const std::size_t connectionLimit;
    const std::size_t bodyLimit;
    const Report report;
    std::size_t bodyBytesHeld = 0;
    List<&HeldConnection::byAge> byAge;
    List<&HeldConnection::byDeadline> byDeadline;
};

#endif
