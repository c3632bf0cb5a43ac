#include "poslib/request.h"

#include "poslib/frame.h"
#include "poslib/library_error.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace poslib {

namespace {

const std::string repeatCommand = "rpt";

std::string tokenText(unsigned number) {
    char token[8];
    std::snprintf(token, sizeof token, "@%04u", number % Request::tokenCount);
    return token;
}

// A run starts at a random token: the printer keeps the answers of earlier runs, and of other
// workstations sharing it, and a token they used would fetch their answer in place of ours.
unsigned firstToken() {
    std::random_device source;
    return source() % Request::tokenCount;
}

std::string nextToken() {
    static std::atomic<unsigned> counter{firstToken()};
    return tokenText(counter++);
}

// The token goes right after the command, where the printer takes it from any frame.
std::string withToken(std::string body, const std::string& token) {
    body.insert(body.find(tab) + 1, token + tab);
    return body;
}

} // namespace

Request::Request(const std::string& command, const std::string& parameters)
    : Request(command, parameters, nextToken()) {}

Request::Request(const std::string& command, const std::string& parameters, std::string token)
    : tokenField(std::move(token)), body(requestBody(command, parameters)),
      answeredAs(command.compare(0, 1, "!") == 0 ? command.substr(1) : command),
      isImmediate(answeredAs.size() != command.size()), wantsToken(command == repeatCommand) {}

std::string Request::frame() const {
    return encodeFrame(carriesToken ? withToken(body, tokenField) : body);
}

void Request::wantToken() {
    if (currentState != State::Created && !carriesToken) {
        throw LibraryError(WrongCallOrder, "request posted without its token");
    }
    wantsToken = true;
}

void Request::markPosted(bool tokened) {
    currentState = State::Posted;
    carriesToken = tokened || wantsToken;
}

std::shared_ptr<Request> Request::repeatOf(unsigned tokenNumber, const std::string& command) {
    if (tokenNumber >= tokenCount) {
        throw LibraryError(InvalidArgument, "token beyond four digits");
    }
    if (command.empty() || command == repeatCommand) {
        throw LibraryError(InvalidArgument, "no command to repeat the answer of");
    }
    std::shared_ptr<Request> repeat(new Request(repeatCommand, "", tokenText(tokenNumber)));
    repeat->answeredAs = command;
    return repeat;
}

unsigned Request::tokenNumber() const {
    return static_cast<unsigned>(std::stoul(tokenField.substr(1)));
}

bool Request::answersAs(const std::string& name) const {
    return name == answeredAs || (isImmediate && name == "!" + answeredAs);
}

void Request::complete(POSNET_STATUS status, std::vector<ResponseValue> values) {
    currentState = State::Completed;
    answerStatus = status;
    answerValues.assign(values.begin(), values.end());
}

POSNET_STATUS Request::status() const {
    if (currentState != State::Completed) {
        throw LibraryError(WrongCallOrder, "request not completed");
    }
    return answerStatus;
}

bool Request::popValue(ResponseValue& value) {
    if (answerValues.empty()) {
        return false;
    }
    value = std::move(answerValues.front());
    answerValues.pop_front();
    return true;
}

} // namespace poslib
