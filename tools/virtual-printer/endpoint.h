// Where the simulated printer meets its host: a pseudo-terminal or a TCP port on 127.0.0.1.
#ifndef VIRTUAL_PRINTER_ENDPOINT_H
#define VIRTUAL_PRINTER_ENDPOINT_H

#include <memory>
#include <string>

namespace virtual_printer {

class Endpoint {
public:
    virtual ~Endpoint() = default;
    // The text the printer library takes as its port.
    virtual std::string portText() const = 0;
    // The descriptor that becomes readable when a host connects, or -1 when the line is
    // always there (a pseudo-terminal).
    virtual int listeningDescriptor() const = 0;
    // The descriptor of the next conversation.
    virtual int accept() = 0;
    // The host went away from the conversation on fd.
    virtual void hangUp(int fd) = 0;
};

// Creates the pair and a symbolic link at linkPath to its terminal end; the link is removed
// again with the endpoint. Throws std::runtime_error.
std::unique_ptr<Endpoint> openPseudoTerminal(const std::string& linkPath);
// port 0 picks a free port. Throws std::runtime_error.
std::unique_ptr<Endpoint> listenTcp(int port);

} // namespace virtual_printer

#endif
