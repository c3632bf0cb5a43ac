#include "service/idempotency_store.h"
#include "logging/log_text.h"
#include "platform/durable_file.h"
#include "platform/local_time.h"
#include "service/owner_settings_file.h"
#include "service/sqlite_database.h"
#include <algorithm>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <ctime>
#include <json/reader.h>
#include <json/writer.h>

namespace {

const char* const databaseName = "idempotency.sqlite";
const char* const jsonName = "idempotency.json";
const char* const damagedPrefix = "idempotency.damaged-";
// Retries come within minutes; a day covers a retry after a restart the next morning.
const std::time_t keptFor = 24 * 60 * 60;
// A busy till's day of receipts, with room to spare: the newest keys are kept whatever the
// clock says, so that a clock set right (or wrong) never prunes a sale of today.
const int64_t newestKept = 10000;
const unsigned writesBetweenPrunes = 64;
// An earlier version kept at most 10,000 keys as JSON, some 3 MiB.
const std::size_t largestKeyFile = 16 * 1024 * 1024;
// A damaged file larger than this is read as far as this.
const std::size_t largestDamagedFile = 64 * 1024 * 1024;

const char* const schema = R"(
    CREATE TABLE IF NOT EXISTS keys (
        key TEXT PRIMARY KEY NOT NULL,
        fingerprint TEXT NOT NULL,
        state TEXT NOT NULL,
        changed INTEGER NOT NULL,
        sequence INTEGER NOT NULL,
        answer TEXT,
        completedAnswer TEXT,
        document TEXT);
    CREATE INDEX IF NOT EXISTS keysByChange ON keys(sequence);
    CREATE INDEX IF NOT EXISTS unsettledKeys ON keys(document) WHERE state != 'finished';
    DELETE FROM keys WHERE state = 'started' AND document IS NULL;
)";
// Each change moves its row to the newest place.
const std::string nextSequence = "(SELECT IFNULL(MAX(sequence), 0) + 1 FROM keys)";

const std::pair<IdempotencyStore::State, const char*> stateNames[] = {
    {IdempotencyStore::State::Started, "started"},
    {IdempotencyStore::State::Unknown, "unknown"},
    {IdempotencyStore::State::Finished, "finished"},
};

const char* stateName(IdempotencyStore::State state) {
    for (const auto& [named, name] : stateNames) {
        if (named == state) {
            return name;
        }
    }
    return "";
}

std::optional<IdempotencyStore::State> stateNamed(const std::string& name) {
    const auto found = std::find_if(std::begin(stateNames), std::end(stateNames),
                                    [&](const auto& named) { return name == named.second; });
    return found == std::end(stateNames) ? std::nullopt : std::optional(found->first);
}

std::string text(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, value);
}

Json::Value parsed(const std::string& text) {
    Json::Value value;
    Json::CharReaderBuilder reader;
    std::string errors;
    std::unique_ptr<Json::CharReader>(reader.newCharReader())
        ->parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

Json::Value documentToJson(const DocumentInDoubt& document) {
    Json::Value json(Json::objectValue);
    json["kind"] = documentName(document.kind);
    json["since"] = document.since;
    if (document.countersBefore) {
        json["completed"] = Json::Int64(document.countersBefore->completed);
        if (document.countersBefore->cancelled) {
            json["cancelled"] = Json::Int64(*document.countersBefore->cancelled);
        }
    }
    if (document.endToken) {
        json["token"] = *document.endToken;
    }
    return json;
}

DocumentInDoubt documentFromJson(const Json::Value& json) {
    DocumentInDoubt document;
    document.kind = DocumentKind::Receipt;
    for (const DocumentKind kind : {DocumentKind::DailyReport, DocumentKind::CashSlip}) {
        if (json["kind"] == documentName(kind)) {
            document.kind = kind;
        }
    }
    document.since = json["since"].asString();
    if (json["completed"].isInt64()) {
        document.countersBefore = ReceiptCounters{json["completed"].asInt64(), std::nullopt};
        if (json["cancelled"].isInt64()) {
            document.countersBefore->cancelled = json["cancelled"].asInt64();
        }
    }
    if (json["token"].isUInt()) {
        document.endToken = json["token"].asUInt();
    }
    return document;
}

// What a key found only in a damaged file answers: its first request may have printed.
Json::Value damagedAnswer() {
    Json::Value body(Json::objectValue);
    body["exception"] = "Zapis o tym wydruku został uszkodzony i nie wiadomo, czy dokument "
                        "został wydrukowany. Sprawdź ostatni wydruk na drukarce, zanim "
                        "wydrukujesz go ponownie.";
    body["outcome"] = "unknown";
    return body;
}

std::string compactTimestamp() {
    std::string stamp = platform::utcTimestampNow();
    stamp.erase(
        std::remove_if(stamp.begin(), stamp.end(), [](char c) { return c == '-' || c == ':'; }),
        stamp.end());
    return stamp;
}

std::string bytesOf(const boost::filesystem::path& file) {
    boost::filesystem::ifstream in(file, std::ios::binary);
    std::string bytes(largestDamagedFile, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// A write after the row's first need not wait for the disk: should a power cut lose it, the
// row stays as its last flushed write left it (its document under way), which the printer
// settles at the next connection; and the next flushed write takes it to the disk anyway.
class UnflushedCommits {
public:
    explicit UnflushedCommits(SqliteDatabase& database) : database(database) {
        database.execute("PRAGMA synchronous = NORMAL");
    }
    ~UnflushedCommits() {
        try {
            database.execute("PRAGMA synchronous = FULL");
        } catch (const SqliteError& error) {
            // The pragma does no input or output; should it fail all the same, the log says so.
            BOOST_LOG_TRIVIAL(error) << "Idempotency keys not flushed: " << error.what();
        }
    }
    UnflushedCommits(const UnflushedCommits&) = delete;
    UnflushedCommits& operator=(const UnflushedCommits&) = delete;

private:
    SqliteDatabase& database;
};

} // namespace

struct IdempotencyStore::Statements {
    explicit Statements(SqliteDatabase& database)
        : find(database.handle(), "SELECT fingerprint, state, answer, completedAnswer, document "
                                  "FROM keys WHERE key = ?1"),
          begin(database.handle(),
                "INSERT OR REPLACE INTO keys (key, fingerprint, state, changed, sequence, "
                "completedAnswer, document) VALUES (?1, ?2, 'started', ?3, " +
                    nextSequence + ", ?4, ?5)"),
          progress(database.handle(), "UPDATE keys SET document = ?2, changed = ?3, "
                                      "sequence = " +
                                          nextSequence + " WHERE key = ?1"),
          conclude(database.handle(), "UPDATE keys SET state = ?2, answer = ?3, changed = ?4, "
                                      "sequence = " +
                                          nextSequence + " WHERE key = ?1"),
          settleAsCompleted(database.handle(),
                            "UPDATE keys SET state = 'finished', answer = completedAnswer, "
                            "changed = ?2, sequence = " +
                                nextSequence + " WHERE document = ?1 AND state != 'finished'"),
          settleAsUnknown(database.handle(),
                          "UPDATE keys SET state = 'unknown', answer = ?2, changed = ?3, "
                          "sequence = " +
                              nextSequence + " WHERE document = ?1 AND state = 'started'"),
          forgetDocument(database.handle(),
                         "DELETE FROM keys WHERE document = ?1 AND state != 'finished'"),
          forget(database.handle(), "DELETE FROM keys WHERE key = ?1"),
          unsettled(database.handle(), "SELECT document FROM keys WHERE state != 'finished' "
                                       "AND document IS NOT NULL ORDER BY sequence DESC LIMIT 1"),
          // Each change of a key takes a new sequence number, so the newest keys are counted
          // by their rows, not by the numbers.
          prune(database.handle(), "DELETE FROM keys WHERE changed < ?1 AND sequence <= "
                                   "(SELECT sequence FROM keys ORDER BY sequence DESC "
                                   "LIMIT 1 OFFSET ?2)") {}

    SqliteDatabase::Statement find, begin, progress, conclude, settleAsCompleted, settleAsUnknown,
        forgetDocument, forget, unsettled, prune;
};

IdempotencyStore::IdempotencyStore() = default;

IdempotencyStore::~IdempotencyStore() = default;

void IdempotencyStore::open(boost::filesystem::path location) {
    const std::lock_guard<std::mutex> lock(guard);
    folder = std::move(location);
    statements.reset();
    database.reset();
    connect(false);
}

// The database is made at the first keyed request: a program used without keys leaves no
// file behind.
bool IdempotencyStore::connect(bool create) {
    if (database) {
        return true;
    }
    if (folder.empty()) {
        openFailure = "no data folder";
        return false;
    }
    boost::system::error_code unreadable;
    if (!create && !boost::filesystem::exists(folder / databaseName, unreadable) &&
        !boost::filesystem::exists(folder / jsonName, unreadable)) {
        return false;
    }
    try {
        boost::filesystem::create_directories(folder);
        openDatabase();
        takeOverJson();
        readDamagedFiles();
        prune();
        return true;
    } catch (const std::exception& error) {
        statements.reset();
        database.reset();
        if (openFailure != error.what()) {
            BOOST_LOG_TRIVIAL(error) << "Idempotency keys cannot be kept in "
                                     << (folder / databaseName).string() << ": " << error.what();
        }
        openFailure = error.what();
        return false;
    }
}

// WAL with full synchronous commits unless a write says otherwise: a change is on the disk when
// its statement returns, and a crash or a power cut leaves the last flushed state.
void IdempotencyStore::openDatabase() {
    const boost::filesystem::path file = folder / databaseName;
    for (int attempt = 0;; ++attempt) {
        try {
            database = std::make_unique<SqliteDatabase>(file);
            database->execute("PRAGMA busy_timeout = 2000");
            database->checkIntact();
            if (database->answer("PRAGMA journal_mode = WAL") != "wal") {
                throw std::runtime_error("the database does not take a write-ahead log");
            }
            database->execute("PRAGMA synchronous = FULL");
            // A sale touches a few pages, the newest; a cache of the default 2 MiB would only
            // fill with old keys that pruning reads once.
            database->execute("PRAGMA cache_size = -512");
            database->execute(schema);
            statements = std::make_unique<Statements>(*database);
            return;
        } catch (const SqliteError& error) {
            database.reset();
            if (!error.damaged() || attempt > 0) {
                throw;
            }
            const boost::filesystem::path aside =
                folder / (damagedPrefix + compactTimestamp() + ".sqlite");
            BOOST_LOG_TRIVIAL(error) << "Idempotency keys in " << file.string() << " are damaged ("
                                     << error.what() << "); moved aside to " << aside.string()
                                     << ": a repeat of a key found in it is answered as unknown";
            for (const char* part : {"-wal", "-shm"}) {
                boost::system::error_code missing;
                boost::filesystem::remove(aside.string() + part, missing);
                if (boost::filesystem::exists(file.string() + part, missing)) {
                    platform::renameOnDisk(file.string() + part, aside.string() + part);
                }
            }
            platform::renameOnDisk(file, aside);
        }
    }
}

// The keys an earlier version kept as JSON join the database once; the file is kept aside.
// One that cannot be read whole is treated as a damaged database is.
void IdempotencyStore::takeOverJson() {
    const boost::filesystem::path file = folder / jsonName;
    boost::system::error_code missing;
    if (!boost::filesystem::exists(file, missing)) {
        return;
    }
    std::vector<std::pair<std::string, Json::Value>> requests;
    const bool read = readOwnerSettings(
        jsonName, "idempotency keys of an earlier version",
        [&](const Json::Value& root) {
            const Json::Value& all = root["requests"];
            if (!all.isObject()) {
                refuseKey("requests");
            }
            for (const std::string& key : all.getMemberNames()) {
                requests.emplace_back(key, all[key]);
            }
        },
        largestKeyFile);
    if (!read) {
        const boost::filesystem::path aside =
            folder / (damagedPrefix + compactTimestamp() + ".json");
        BOOST_LOG_TRIVIAL(error) << "Idempotency keys in " << file.string()
                                 << " cannot be taken over; moved aside to " << aside.string()
                                 << ": a repeat of a key found in it is answered as unknown";
        platform::renameOnDisk(file, aside);
        return;
    }
    SqliteTransaction transaction(*database);
    SqliteDatabase::Statement insert(
        database->handle(),
        "INSERT OR IGNORE INTO keys (key, fingerprint, state, changed, sequence, answer, "
        "completedAnswer, document) VALUES (?1, ?2, ?3, ?4, " +
            nextSequence + ", ?5, ?6, ?7)");
    for (const auto& [key, entry] : requests) {
        const std::optional<State> state = stateNamed(entry["state"].asString());
        if (!entry["fingerprint"].isString() || !entry["time"].isInt64() || !state) {
            continue; // an entry the program did not write is left out rather than guessed at
        }
        insert.start()
            .bind(1, key)
            .bind(2, entry["fingerprint"].asString())
            .bind(3, std::string(stateName(*state)))
            .bind(4, entry["time"].asInt64())
            .bind(5, text(entry["answer"]))
            .bind(6, text(entry["completedAnswer"]));
        if (entry["document"].isObject()) {
            insert.bind(7, text(documentToJson(documentFromJson(entry["document"]))));
        }
        insert.run();
    }
    transaction.commit();
    platform::renameOnDisk(file, folder / (std::string(jsonName) + ".taken-over"));
    BOOST_LOG_TRIVIAL(info) << "Idempotency keys taken over from " << file.string() << ": "
                            << requests.size();
}

void IdempotencyStore::readDamagedFiles() {
    damagedBytes.clear();
    for (const auto& entry : boost::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, std::char_traits<char>::length(damagedPrefix), damagedPrefix) == 0) {
            damagedBytes.push_back(bytesOf(entry.path()));
        }
    }
}

bool IdempotencyStore::inDamagedFile(const std::string& key) const {
    return std::any_of(damagedBytes.begin(), damagedBytes.end(), [&](const std::string& bytes) {
        return bytes.find(key) != std::string::npos;
    });
}

std::optional<IdempotencyStore::Entry> IdempotencyStore::find(const std::string& key) {
    const std::lock_guard<std::mutex> lock(guard);
    if (!connect(false)) {
        return std::nullopt;
    }
    SqliteDatabase::Statement& select = statements->find.start().bind(1, key);
    if (!select.step()) {
        if (!inDamagedFile(key)) {
            return std::nullopt;
        }
        return Entry{"", State::Unknown, damagedAnswer(), Json::Value(), std::nullopt};
    }
    Entry entry;
    entry.fingerprint = select.text(0);
    entry.state = stateNamed(select.text(1)).value_or(State::Started);
    entry.answer = parsed(select.text(2));
    entry.completedAnswer = parsed(select.text(3));
    if (!select.null(4)) {
        entry.document = documentFromJson(parsed(select.text(4)));
    }
    select.start();
    return entry;
}

void IdempotencyStore::begin(const std::string& key, const std::string& fingerprint,
                             const Json::Value& completedAnswer) {
    const std::lock_guard<std::mutex> lock(guard);
    activeKey.reset();
    if (!connect(true)) {
        throw KeysNotSaved(openFailure);
    }
    activeKey = key;
    activeFingerprint = fingerprint;
    activeCompletedAnswer = text(completedAnswer);
    activeRecorded = false;
}

// The row is written with the document's first progress, before its first printer command
// that prints: a request refused before it leaves nothing, and each write costs a flush.
void IdempotencyStore::progress(const DocumentInDoubt& document) {
    const std::lock_guard<std::mutex> lock(guard);
    if (!activeKey) {
        return;
    }
    const int64_t now = std::time(nullptr);
    try {
        if (!activeRecorded) {
            statements->begin.start()
                .bind(1, *activeKey)
                .bind(2, activeFingerprint)
                .bind(3, now)
                .bind(4, activeCompletedAnswer)
                .bind(5, text(documentToJson(document)))
                .run();
            activeRecorded = true;
            return;
        }
        // The closing token and the counters need not wait for the disk: a power cut that
        // loses them leaves the record flushed before the first command, whose document is
        // then settled as not printed or unknown, never as printed.
        const UnflushedCommits unflushed(*database);
        statements->progress.start()
            .bind(1, *activeKey)
            .bind(2, text(documentToJson(document)))
            .bind(3, now)
            .run();
    } catch (const SqliteError& error) {
        throw KeysNotSaved(error.what());
    }
}

void IdempotencyStore::finish(const Json::Value& answer) {
    const std::lock_guard<std::mutex> lock(guard);
    conclude(State::Finished, answer);
}

void IdempotencyStore::fail(const Json::Value& body) {
    const std::lock_guard<std::mutex> lock(guard);
    if (body.isObject() && body["outcome"] == "unknown") {
        conclude(State::Unknown, body);
    } else {
        write("freed",
              [&](const std::string& key) { statements->forget.start().bind(1, key).run(); });
    }
}

void IdempotencyStore::conclude(State state, const Json::Value& answer) {
    write(stateName(state), [&](const std::string& key) {
        statements->conclude.start()
            .bind(1, key)
            .bind(2, std::string(stateName(state)))
            .bind(3, text(answer))
            .bind(4, int64_t(std::time(nullptr)))
            .run();
    });
}

// The request has been carried out, so a failure to note it is logged rather than answered:
// a repeat of the key may then print again, and the log says why.
void IdempotencyStore::write(const char* what,
                             const std::function<void(const std::string& key)>& change) {
    if (!activeKey) {
        return;
    }
    const std::string key = *activeKey;
    activeKey.reset();
    if (!activeRecorded) {
        return; // the request ended before its document reached the printer
    }
    try {
        const UnflushedCommits unflushed(*database);
        change(key);
    } catch (const SqliteError& error) {
        BOOST_LOG_TRIVIAL(error) << "Idempotency key " << escapeForLog(key) << " not saved as "
                                 << what << ": " << error.what();
    }
    if (++writesSincePrune >= writesBetweenPrunes) {
        prune();
    }
}

void IdempotencyStore::settle(const DocumentInDoubt& document, DocumentOutcome outcome,
                              const Json::Value& unknownAnswer) {
    const std::lock_guard<std::mutex> lock(guard);
    if (!connect(false)) {
        return;
    }
    const std::string documentText = text(documentToJson(document));
    const int64_t now = std::time(nullptr);
    try {
        if (outcome == DocumentOutcome::Completed) {
            statements->settleAsCompleted.start().bind(1, documentText).bind(2, now).run();
        } else if (outcome == DocumentOutcome::NotCompleted) {
            statements->forgetDocument.start().bind(1, documentText).run();
        } else {
            statements->settleAsUnknown.start()
                .bind(1, documentText)
                .bind(2, text(unknownAnswer))
                .bind(3, now)
                .run();
        }
    } catch (const SqliteError& error) {
        BOOST_LOG_TRIVIAL(error) << "Idempotency key of the " << documentName(document.kind)
                                 << " in doubt not saved as settled: " << error.what();
    }
}

std::optional<DocumentInDoubt> IdempotencyStore::unsettled() {
    const std::lock_guard<std::mutex> lock(guard);
    if (!connect(false)) {
        return std::nullopt;
    }
    SqliteDatabase::Statement& select = statements->unsettled.start();
    if (!select.step()) {
        return std::nullopt;
    }
    const DocumentInDoubt document = documentFromJson(parsed(select.text(0)));
    select.start();
    return document;
}

// Pruned by the time of the last change, and never among the newest keys, whatever the clock.
void IdempotencyStore::prune() {
    writesSincePrune = 0;
    try {
        statements->prune.start()
            .bind(1, int64_t(std::time(nullptr) - keptFor))
            .bind(2, newestKept)
            .run();
    } catch (const SqliteError& error) {
        BOOST_LOG_TRIVIAL(error) << "Old idempotency keys not pruned: " << error.what();
    }
}
