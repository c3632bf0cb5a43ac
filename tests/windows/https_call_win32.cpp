// https-call [--cacert FILE] PORT METHOD PATH [BODY]: sends one request to 127.0.0.1:PORT, the
// body as JSON, and prints the answer's body; exit code 0 when an answer came. The Windows
// checks run it under Wine where a shop's user would run curl: the program serves only
// programs of its own account, and a Linux program is no Windows process whose account it
// could learn. It trusts the test certificate, or the certificates in FILE.
#include "platform/wide_text_win32.h"
#include "support/tls_client.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::string request(const std::string& method, const std::string& path, const std::string& body) {
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: localhost\r\n";
    if (!body.empty()) {
        text += "Content-Type: application/json; charset=utf-8\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n";
    }
    return text + "\r\n" + body;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.push_back(platform::narrow(argv[index]));
    }
    std::string trusted;
    if (arguments.size() > 2 && arguments[0] == "--cacert") {
        trusted = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.size() != 3 && arguments.size() != 4) {
        std::cerr << "Usage: https-call [--cacert FILE] PORT METHOD PATH [BODY]\n";
        return 2;
    }
    try {
        TlsClient client(static_cast<unsigned short>(std::stoi(arguments[0])), TlsVersion::Any,
                         nullptr, trusted);
        client.send(request(arguments[1], arguments[2], arguments.size() == 4 ? arguments[3] : ""));
        std::cout << client.receive().body;
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << "https-call: " << failure.what() << "\n";
        return 1;
    }
}
