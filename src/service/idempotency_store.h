// The outcomes of requests that carried an "Idempotency-Key". The web application retries a
// print whose answer it did not get (a reload, a second click); with the key, the retry gets
// the first request's answer and prints nothing. Kept in the SQLite database
// "idempotency.sqlite" in the data folder, one row per key, so that they outlast a restart, a
// crash or a power cut: the row is on the disk before its document's first printer command,
// and later changes are written at once and reach the disk with the next flushed one. Safe to
// call from any thread; one call at a time uses the database.
#ifndef SERVICE_IDEMPOTENCY_STORE_H
#define SERVICE_IDEMPOTENCY_STORE_H

#include "posnet/document_in_doubt.h"
#include <boost/filesystem/path.hpp>
#include <functional>
#include <json/value.h>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class SqliteDatabase;

// The key's record could not be written to the disk; what() says why. Nothing may be printed
// for the request then: a retry could not know of it.
class KeysNotSaved : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
        // Empty for a key found only in the bytes of a damaged key file.
        std::string fingerprint;
        State state = State::Started;
        // Finished: the answer's body; Unknown: the body of its 500.
        Json::Value answer;
        // What the route answers when its document is found completed after all.
        Json::Value completedAnswer;
        // The document as far as it got; none before it was started on the printer.
        std::optional<DocumentInDoubt> document;
    };

    IdempotencyStore();
    ~IdempotencyStore();

    // The keys live in `folder`. An "idempotency.json" of an earlier version is taken over
    // and kept aside; a damaged database is moved aside, logged, and a key still found in its
    // bytes is answered as unknown. Never throws: a database that cannot be opened is tried
    // again at each use, and keyed requests are refused until it opens.
    void open(boost::filesystem::path folder);
    std::optional<Entry> find(const std::string& key);

    // The request with this key is about to be carried out. Throws KeysNotSaved when its
    // record cannot be kept.
    void begin(const std::string& key, const std::string& fingerprint,
               const Json::Value& completedAnswer);
    // Its document is about to reach the printer: returns once the key's record is on the
    // disk, or throws KeysNotSaved, and then nothing may be printed.
    void progress(const DocumentInDoubt& document);
    void finish(const Json::Value& answer);
    // A failure with "outcome": "unknown" in its body is kept as such; any other frees the
    // key, as the document was not printed and a retry must be able to print it.
    void fail(const Json::Value& body);
    // The printer told what became of a document in doubt; `unknownAnswer` is the 500 body
    // that a retry of a key whose document stays unknown gets.
    void settle(const DocumentInDoubt& document, DocumentOutcome outcome,
                const Json::Value& unknownAnswer);
    // The newest document a crash or a lost line left in doubt.
    std::optional<DocumentInDoubt> unsettled();

private:
    struct Statements;

    bool connect(bool create);
    void openDatabase();
    void takeOverJson();
    void readDamagedFiles();
    bool inDamagedFile(const std::string& key) const;
    // Runs `change` on the active key's row, which it ends; a failure is logged.
    void write(const char* what, const std::function<void(const std::string& key)>& change);
    void conclude(State state, const Json::Value& answer);
    void prune();

    std::mutex guard;
    boost::filesystem::path folder;
    std::unique_ptr<SqliteDatabase> database;
    std::unique_ptr<Statements> statements;
    std::string openFailure;
    std::vector<std::string> damagedBytes;
    std::optional<std::string> activeKey;
    std::string activeFingerprint;
    std::string activeCompletedAnswer;
    // The active key's row is written.
    bool activeRecorded = false;
    unsigned writesSincePrune = 0;
};

#endif
