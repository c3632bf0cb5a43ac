#include "support/server_thread.h"

ServerThread::ServerThread(Server& server)
    : server(server), thread([&server] { server.start(); }) {}

ServerThread::~ServerThread() {
    server.stop();
    thread.join();
}

unsigned short ServerThread::port() const {
    return server.listeningPort();
}
