#include "service/idempotency_store.h"
#include "platform/durable_file.h"
#include <algorithm>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <json/reader.h>
#include <json/writer.h>
#include <vector>

namespace {

// Retries come within minutes; a day covers a retry after a restart the next morning.
const std::time_t keptFor = 24 * 60 * 60;
// A busy till's day of receipts, with room to spare; the file is written whole each time.
const std::size_t mostEntries = 10000;
const std::uintmax_t largestFile = 16 * 1024 * 1024;

const std::pair<IdempotencyStore::State, const char*> stateNames[] = {
    {IdempotencyStore::State::Started, "started"},
    {IdempotencyStore::State::Unknown, "unknown"},
    {IdempotencyStore::State::Finished, "finished"},
};

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
    document.kind = json["kind"] == documentName(DocumentKind::DailyReport)
                        ? DocumentKind::DailyReport
                        : DocumentKind::Receipt;
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

Json::Value entryToJson(const IdempotencyStore::Entry& entry) {
    Json::Value json(Json::objectValue);
    json["fingerprint"] = entry.fingerprint;
    for (const auto& [state, name] : stateNames) {
        if (state == entry.state) {
            json["state"] = name;
        }
    }
    json["time"] = Json::Int64(entry.time);
    json["answer"] = entry.answer;
    json["completedAnswer"] = entry.completedAnswer;
    if (entry.document) {
        json["document"] = documentToJson(*entry.document);
    }
    return json;
}

// An entry the program did not write is left out rather than guessed at.
std::optional<IdempotencyStore::Entry> entryFromJson(const Json::Value& json) {
    if (!json.isObject() || !json["fingerprint"].isString() || !json["time"].isInt64()) {
        return std::nullopt;
    }
    IdempotencyStore::Entry entry;
    const auto state =
        std::find_if(std::begin(stateNames), std::end(stateNames),
                     [&](const auto& named) { return json["state"] == named.second; });
    if (state == std::end(stateNames)) {
        return std::nullopt;
    }
    entry.state = state->first;
    entry.fingerprint = json["fingerprint"].asString();
    entry.time = static_cast<std::time_t>(json["time"].asInt64());
    entry.answer = json["answer"];
    entry.completedAnswer = json["completedAnswer"];
    if (json["document"].isObject()) {
        entry.document = documentFromJson(json["document"]);
    }
    return entry;
}

Json::Value parsedFile(const boost::filesystem::path& file) {
    if (boost::filesystem::file_size(file) > largestFile) {
        throw std::runtime_error("larger than " + std::to_string(largestFile) + " bytes");
    }
    boost::filesystem::ifstream in(file, std::ios::binary);
    Json::Value root;
    std::string errors;
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors) ||
        !root["requests"].isObject()) {
        throw std::runtime_error("not the program's JSON");
    }
    return root;
}

} // namespace

void IdempotencyStore::open(boost::filesystem::path location) {
    file = std::move(location);
    entries.clear();
    boost::system::error_code missing;
    if (!boost::filesystem::exists(file, missing)) {
        return;
    }
    try {
        const Json::Value requests = parsedFile(file)["requests"];
        for (const std::string& key : requests.getMemberNames()) {
            if (std::optional<Entry> entry = entryFromJson(requests[key])) {
                entries[key] = std::move(*entry);
            }
        }
    } catch (const std::exception& error) {
        // Only earlier answers are lost: a repeat of one of them prints again.
        BOOST_LOG_TRIVIAL(error) << "Idempotency keys not read from " << file.string() << ": "
                                 << error.what();
    }
}

const IdempotencyStore::Entry* IdempotencyStore::find(const std::string& key) const {
    const auto found = entries.find(key);
    return found == entries.end() ? nullptr : &found->second;
}

void IdempotencyStore::begin(const std::string& key, const std::string& fingerprint,
                             const Json::Value& completedAnswer) {
    activeKey = key;
    active = Entry();
    active.fingerprint = fingerprint;
    active.completedAnswer = completedAnswer;
}

void IdempotencyStore::progress(const DocumentInDoubt& document) {
    if (!activeKey) {
        return;
    }
    active.document = document;
    active.time = std::time(nullptr);
    entries[*activeKey] = active;
    write();
}

void IdempotencyStore::finish(const Json::Value& answer) {
    if (!activeKey) {
        return;
    }
    active.state = State::Finished;
    active.answer = answer;
    active.time = std::time(nullptr);
    entries[*activeKey] = active;
    activeKey.reset();
    write();
}

void IdempotencyStore::fail(const Json::Value& body) {
    if (!activeKey) {
        return;
    }
    const std::string key = *activeKey;
    activeKey.reset();
    if (body.isObject() && body["outcome"] == "unknown") {
        active.state = State::Unknown;
        active.answer = body;
        entries[key] = active;
    } else if (entries.erase(key) == 0) {
        return;
    }
    write();
}

void IdempotencyStore::settle(const DocumentInDoubt& document, DocumentOutcome outcome) {
    const auto settled = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return entry.second.state != State::Finished && entry.second.document == document;
    });
    if (settled == entries.end() || outcome == DocumentOutcome::Unknown) {
        return;
    }
    if (outcome == DocumentOutcome::Completed) {
        settled->second.state = State::Finished;
        settled->second.answer = settled->second.completedAnswer;
    } else {
        entries.erase(settled);
    }
    write();
}

std::optional<DocumentInDoubt> IdempotencyStore::unsettled() const {
    const Entry* newest = nullptr;
    for (const auto& [key, entry] : entries) {
        if (entry.state != State::Finished && entry.document &&
            (!newest || entry.time > newest->time)) {
            newest = &entry;
        }
    }
    return newest ? newest->document : std::nullopt;
}

// A key whose outcome cannot be written would let a repeat print again; the request itself
// has been carried out, so the failure is logged rather than answered.
void IdempotencyStore::write() {
    prune();
    if (file.empty()) {
        return;
    }
    Json::Value root(Json::objectValue);
    root["requests"] = Json::Value(Json::objectValue);
    for (const auto& [key, entry] : entries) {
        root["requests"][key] = entryToJson(entry);
    }
    try {
        boost::filesystem::create_directories(file.parent_path());
        platform::replaceFileAtomically(file, Json::FastWriter().write(root));
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "Idempotency keys not saved: " << error.what();
    }
}

void IdempotencyStore::prune() {
    const std::time_t oldest = std::time(nullptr) - keptFor;
    for (auto entry = entries.begin(); entry != entries.end();) {
        entry = entry->second.time < oldest ? entries.erase(entry) : std::next(entry);
    }
    if (entries.size() <= mostEntries) {
        return;
    }
    std::vector<std::pair<std::time_t, std::string>> byAge;
    for (const auto& [key, entry] : entries) {
        byAge.emplace_back(entry.time, key);
    }
    std::sort(byAge.begin(), byAge.end());
    byAge.resize(entries.size() - mostEntries);
    for (const auto& [time, key] : byAge) {
        entries.erase(key);
    }
}
