#include "transport/connection_limits.h"

#include <utility>

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxBodyBytes,
                                   Report report)
    : connectionLimit(maxConnections), bodyLimit(maxBodyBytes), report(std::move(report)) {}

bool ConnectionLimits::admit(HeldConnection& connection) {
    const std::string limit = "Connection limit of " + std::to_string(connectionLimit);
    if (byAge.size() >= connectionLimit) {
        HeldConnection* oldest =
            oldestWaiting([](const HeldConnection& held) { return held.bodyBytes == 0; });
        if (oldest == nullptr) {
            report("new connections closed at the connection limit",
                   limit + " reached while every connection is being answered or sending its "
                           "body: closed the new connection");
            return false;
        }
        report("connections closed to make room at the connection limit",
               limit + " reached: closed the oldest connection that had not sent a whole "
                       "request");
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
            report("request bodies refused at the limit of bodies held",
                   "Refused a request body of " + std::to_string(bytes) +
                       " bytes: " + std::to_string(bodyBytesHeld) +
                       " bytes of request bodies are held, the most allowed is " +
                       std::to_string(bodyLimit));
            return false;
        }
        report("connections closed to make room for request bodies",
               "Request bodies held reached " + std::to_string(bodyLimit) +
                   " bytes: closed the oldest connection that had not sent its whole body");
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
