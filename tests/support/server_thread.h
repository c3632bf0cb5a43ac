// Runs a server's blocking `start` on a background thread for the life of this object.
//
//     MyRestServer server(testServerSettings());
//     ServerThread running(server);
//     HttpAnswer answer = exchange(running.port(), "GET /x HTTP/1.1\r\n\r\n");
//
// The destructor stops the server's event loop and joins the thread; destroy it before
// the server.
#ifndef SUPPORT_SERVER_THREAD_H
#define SUPPORT_SERVER_THREAD_H

#include "transport/server.h"
#include <thread>

class ServerThread {
public:
    explicit ServerThread(Server& server);
    ~ServerThread();
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // The port the server listens on (the one the system chose for port 0).
    unsigned short port() const;

private:
    Server& server;
    std::thread thread;
};

#endif
