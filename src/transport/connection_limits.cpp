#include "transport/connection_limits.h"

#include <boost/log/trivial.hpp>

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxBodyBytes)
    : connectionLimit(maxConnections), bodyLimit(maxBodyBytes) {}

bool ConnectionLimits::admit(HeldConnection& connection) {
    if (byAge.size() >= connectionLimit) {
        HeldConnection* oldest = oldestWaiting([](const HeldConnection&) { return true; });
        if (oldest == nullptr) {
            BOOST_LOG_TRIVIAL(error) << "Connection limit of " << connectionLimit
                                     << " reached while every connection is being answered: "
                                        "closed the new connection";
            return false;
        }
        BOOST_LOG_TRIVIAL(error) << "Connection limit of " << connectionLimit
                                 << " reached: closed the oldest connection that had not sent "
                                    "a whole request";
        closeToMakeRoom(*oldest);
    }
    byAge.push_back(connection);
    return true;
}

void ConnectionLimits::answerStarted(HeldConnection& connection) {
    connection.waiting = false;
}

bool ConnectionLimits::reserveBody(HeldConnection& connection, std::size_t bytes) {
    if (!connection.byAge.is_linked()) {
        return false;
    }
    while (bodyLimit - bodyBytesHeld < bytes) {
        HeldConnection* oldest =
            oldestWaiting([](const HeldConnection& held) { return held.bodyBytes > 0; });
        if (oldest == nullptr) {
            BOOST_LOG_TRIVIAL(error)
                << "Refused a request body of " << bytes << " bytes: " << bodyBytesHeld
                << " bytes of request bodies are held, "
                << "the most allowed is " << bodyLimit;
            return false;
        }
        BOOST_LOG_TRIVIAL(error) << "Request bodies held reached " << bodyLimit
                                 << " bytes: closed the oldest connection that had not sent "
                                    "its whole body";
        closeToMakeRoom(*oldest);
    }
    connection.bodyBytes += bytes;
    bodyBytesHeld += bytes;
    return true;
}

void ConnectionLimits::release(HeldConnection& connection) {
    if (connection.byDeadline.is_linked()) {
        byDeadline.erase(byDeadline.iterator_to(connection));
    }
    if (!connection.byAge.is_linked()) {
        return;
    }
    bodyBytesHeld -= connection.bodyBytes;
    connection.bodyBytes = 0;
    byAge.erase(byAge.iterator_to(connection));
}

void ConnectionLimits::renewDeadline(HeldConnection& connection,
                                     DeadlineClock::time_point deadline) {
    if (connection.byDeadline.is_linked()) {
        byDeadline.erase(byDeadline.iterator_to(connection));
    }
    connection.deadline = deadline;
    byDeadline.push_back(connection);
}

void ConnectionLimits::clearDeadline(HeldConnection& connection) {
    if (connection.byDeadline.is_linked()) {
        byDeadline.erase(byDeadline.iterator_to(connection));
    }
}

void ConnectionLimits::closeOverdue(DeadlineClock::time_point now) {
    while (!byDeadline.empty() && byDeadline.front().deadline <= now) {
        HeldConnection& overdue = byDeadline.front();
        byDeadline.pop_front();
        overdue.close("a timed-out connection");
    }
}

std::optional<DeadlineClock::time_point> ConnectionLimits::nextDeadline() const {
    if (byDeadline.empty()) {
        return std::nullopt;
    }
    return byDeadline.front().deadline;
}

template <typename Predicate> HeldConnection* ConnectionLimits::oldestWaiting(Predicate qualifies) {
    for (HeldConnection& connection : byAge) {
        if (connection.waiting && qualifies(connection)) {
            return &connection;
        }
    }
    return nullptr;
}

void ConnectionLimits::closeToMakeRoom(HeldConnection& connection) {
    // Forgotten first: the connection object lives on until its pending operations have
    // ended, but its place and its body room are free at once.
    release(connection);
    connection.close("a connection closed to make room");
}
