#include "transport/connection_limits.h"

#include <boost/log/trivial.hpp>

namespace asio = boost::asio;

void closeConnection(TlsStream& connection, const std::string& what) {
    boost::system::error_code error;
    connection.lowest_layer().shutdown(asio::ip::tcp::socket::shutdown_both, error);
    // A peer that has already reset the connection leaves nothing to shut down; that is
    // the peer's doing, not a failure worth a log line.
    if (error && error != asio::error::not_connected) {
        BOOST_LOG_TRIVIAL(error) << "Shutting down " << what << " failed: " << error.message();
    }
    connection.lowest_layer().close(error);
    if (error) {
        BOOST_LOG_TRIVIAL(error) << "Closing " << what << " failed: " << error.message();
    }
}

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxBodyBytes)
    : connectionLimit(maxConnections), bodyLimit(maxBodyBytes) {}

bool ConnectionLimits::admit(TlsStream& connection) {
    if (held.size() >= connectionLimit) {
        TlsStream* oldest = oldestWaiting([](const Held&) { return true; });
        if (oldest == nullptr) {
            BOOST_LOG_TRIVIAL(error) << "Connection limit of " << connectionLimit
                                     << " reached while every connection is being answered: "
                                        "closed the new connection";
            return false;
        }
        BOOST_LOG_TRIVIAL(error) << "Connection limit of " << connectionLimit
                                 << " reached: closed the oldest connection that had not sent "
                                    "a whole request";
        closeToMakeRoom(oldest);
    }
    byAge.push_back(&connection);
    held[&connection].position = std::prev(byAge.end());
    return true;
}

void ConnectionLimits::answerStarted(TlsStream& connection) {
    const auto found = held.find(&connection);
    if (found != held.end()) {
        found->second.waiting = false;
    }
}

bool ConnectionLimits::reserveBody(TlsStream& connection, std::size_t bytes) {
    const auto found = held.find(&connection);
    if (found == held.end()) {
        return false;
    }
    while (bodyLimit - bodyBytesHeld < bytes) {
        TlsStream* oldest = oldestWaiting([](const Held& entry) { return entry.bodyBytes > 0; });
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
        closeToMakeRoom(oldest);
    }
    found->second.bodyBytes += bytes;
    bodyBytesHeld += bytes;
    return true;
}

void ConnectionLimits::release(TlsStream* connection) {
    const auto found = held.find(connection);
    if (found == held.end()) {
        return;
    }
    bodyBytesHeld -= found->second.bodyBytes;
    byAge.erase(found->second.position);
    held.erase(found);
}

template <typename Predicate>
TlsStream* ConnectionLimits::oldestWaiting(Predicate qualifies) const {
    for (TlsStream* connection : byAge) {
        const Held& entry = held.at(connection);
        if (entry.waiting && qualifies(entry)) {
            return connection;
        }
    }
    return nullptr;
}

void ConnectionLimits::closeToMakeRoom(TlsStream* connection) {
    // Forgotten first: the connection object lives on until its pending operations have
    // ended, but its place and its body room are free at once.
    release(connection);
    closeConnection(*connection, "a connection closed to make room");
}
