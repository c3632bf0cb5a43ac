// The outcomes of requests that carried an "Idempotency-Key". The web application retries a
// print whose answer it did not get (a reload, a second click); with the key, the retry gets
// the first request's answer and prints nothing. Kept in "idempotency.json" in the
// configuration folder for a day, so that they outlast a restart or a crash.
#ifndef SERVICE_IDEMPOTENCY_STORE_H
#define SERVICE_IDEMPOTENCY_STORE_H

#include "posnet/document_in_doubt.h"
#include <boost/filesystem/path.hpp>
#include <ctime>
#include <json/value.h>
#include <map>
#include <optional>
#include <string>

class IdempotencyStore {
public:
    enum class State {
        // Carried out now, or cut short by a crash and not yet settled with the printer.
        Started,
        // The printer could not tell whether the document was printed.
        Unknown,
        Finished,
    };

    struct Entry {
        std::string fingerprint;
        State state = State::Started;
        std::time_t time = 0;
        // Finished: the answer's body; Unknown: the body of its 500.
        Json::Value answer;
        // What the route answers when its document is found completed after all.
        Json::Value completedAnswer;
        // The document as far as it got; none before it was started on the printer.
        std::optional<DocumentInDoubt> document;
    };

    // Reads the file; never throws: an unreadable file is logged and the store starts empty.
    // Until it is opened, the store keeps its entries in memory only.
    void open(boost::filesystem::path location);
    // Null when no entry has the key.
    const Entry* find(const std::string& key) const;

    // The request with this key is being carried out; it is recorded at its document's first
    // progress, so that a request refused before it reached the printer leaves nothing.
    void begin(const std::string& key, const std::string& fingerprint,
               const Json::Value& completedAnswer);
    void progress(const DocumentInDoubt& document);
    void finish(const Json::Value& answer);
    // A failure with "outcome": "unknown" in its body is kept as such; any other frees the
    // key, as the document was not printed and a retry must be able to print it.
    void fail(const Json::Value& body);
    // The printer told what became of a document in doubt.
    void settle(const DocumentInDoubt& document, DocumentOutcome outcome);
    // The newest document a crash or a lost line left in doubt.
    std::optional<DocumentInDoubt> unsettled() const;

private:
    void write();
    void prune();

    boost::filesystem::path file;
    std::map<std::string, Entry> entries;
    std::optional<std::string> activeKey;
    Entry active;
};

#endif
