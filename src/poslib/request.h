// One command from its creation to its answer.
#ifndef POSLIB_REQUEST_H
#define POSLIB_REQUEST_H

#include "poslib/request_text.h"

#include <deque>
#include <memory>
#include <string>

namespace poslib {

// Every request has a token ("@nnnn") of its own, which the printer echoes in its answer, so
// that an answer can be told from one to an earlier command. Tokens count up across the
// process from a random start and come round again only after 10000 commands. Whether the frame
// carries it is decided when it is posted (see Connection): a token costs 12 bytes on the line, one
// way and back, about 12 ms at 9600 baud.
class Request {
public:
    enum class State { Created, Posted, Completed };

    static constexpr unsigned tokenCount = 10000; // four decimal digits

    // command as the caller gave it ("trinit", "!sprn"); parameters as for requestBody().
    Request(const std::string& command, const std::string& parameters);
    // "rpt" carrying the token of an earlier `command`, whose stored answer the printer sends
    // again under that command's name; an answer under another name is some other command's
    // that came to carry the same token, and is taken as unexpected. Throws
    // LibraryError(InvalidArgument) for a token beyond four digits or no command.
    static std::shared_ptr<Request> repeatOf(unsigned tokenNumber, const std::string& command);

    // The frame as posted, with its token or without.
    std::string frame() const;
    const std::string& token() const { return tokenField; }
    bool tokened() const { return carriesToken; }
    // The caller will ask the printer for this command's answer again by its token, so the
    // frame must carry it; throws LibraryError(WrongCallOrder) once it was posted without.
    void wantToken();
    bool tokenWanted() const { return wantsToken; }
    unsigned tokenNumber() const;
    // Whether an answer of that name may be this request's: its command without the "!" of
    // immediate execution, or with it (printers differ there); for a repeat, the repeated
    // command's.
    bool answersAs(const std::string& name) const;
    bool immediate() const { return isImmediate; }
    State state() const { return currentState; }

    void markPosted(bool tokened);
    void complete(POSNET_STATUS status, std::vector<ResponseValue> values);

    // Throws LibraryError(WrongCallOrder) before the answer arrived.
    POSNET_STATUS status() const;
    std::size_t valueCount() const { return answerValues.size(); }
    // False when no value is left.
    bool popValue(ResponseValue& value);

private:
    Request(const std::string& command, const std::string& parameters, std::string token);

    std::string tokenField;
    std::string body;
    std::string answeredAs;
    bool isImmediate;
    bool wantsToken;
    bool carriesToken = false;
    State currentState = State::Created;
    POSNET_STATUS answerStatus = 0;
    std::deque<ResponseValue> answerValues;
};

} // namespace poslib

#endif
