#include "service/idempotent_route.h"
#include "logging/log_text.h"
#include <boost/log/trivial.hpp>
#include <cstdio>
#include <json/writer.h>
#include <openssl/evp.h>

namespace {

const char* const keyHeader = "Idempotency-Key";
const std::size_t longestKey = 255;

RestException refusal(int status, const char* reason, const std::string& text) {
    Json::Value body(Json::objectValue);
    body["exception"] = text;
    return RestException(status, reason, body);
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The header's registered form is a quoted string; a bare value is taken as well.
std::optional<std::string> idempotencyKey(const HttpRequest& request) {
    const auto header = request.headers.find(keyHeader);
    if (header == request.headers.end()) {
        return std::nullopt;
    }
    std::string key = header->second;
    if (key.size() >= 2 && key.front() == '"' && key.back() == '"') {
        key = key.substr(1, key.size() - 2);
    }
    if (key.empty() || key.size() > longestKey || !printable(key)) {
        BOOST_LOG_TRIVIAL(error) << "Refused: malformed Idempotency-Key "
                                 << escapeForLog(header->second);
        throw refusal(400, "Bad Request",
                      "Idempotency-Key must be 1 to 255 printable ASCII characters");
    }
    return key;
}

// The same sale sent again with other spacing or key order is the same request.
std::string fingerprint(const RestRequest& request) {
    const std::string text = request.httpRequest->method + ' ' + request.httpRequest->path + '\n' +
                             Json::FastWriter().write(request.body);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// The key's record must be on the disk before anything is printed: a retry after a crash
// would otherwise print again.
RestException notSaved(const std::string& key, const KeysNotSaved& failure) {
    BOOST_LOG_TRIVIAL(error) << "Refused: Idempotency-Key " << escapeForLog(key)
                             << " could not be saved, nothing printed: " << failure.what();
    return refusal(500, "Internal Server Error",
                   "Idempotency-Key could not be saved, so nothing was printed: " +
                       std::string(failure.what()));
}

void answerRepeat(const IdempotencyStore::Entry& entry, const std::string& key,
                  const std::string& requestFingerprint, RestResponse& response) {
    const std::string named = "Idempotency-Key " + escapeForLog(key);
    // A key known only from a damaged file has no fingerprint left to compare.
    if (!entry.fingerprint.empty() && entry.fingerprint != requestFingerprint) {
        BOOST_LOG_TRIVIAL(error) << named << ": refused, it came before with another request";
        throw refusal(422, "Unprocessable Content",
                      "Idempotency-Key was used before with another request");
    }
    switch (entry.state) {
    case IdempotencyStore::State::Started:
        BOOST_LOG_TRIVIAL(error) << named << ": refused, the first request has not finished";
        throw refusal(409, "Conflict",
                      "The first request with this Idempotency-Key has not finished");
    case IdempotencyStore::State::Unknown:
        BOOST_LOG_TRIVIAL(info) << named
                                << ": the first request's outcome is still unknown; "
                                   "nothing printed";
        throw RestException(500, "Internal Server Error", entry.answer);
    default:
        BOOST_LOG_TRIVIAL(info) << named << ": answered as the first request; nothing printed";
        response.json = entry.answer;
    }
}

} // namespace

RouteHandler oncePerKey(RouteHandler handler, IdempotencyStore& store,
                        const Json::Value& completedAnswer) {
    return [handler, &store, completedAnswer](std::shared_ptr<RestRequest> request,
                                              std::shared_ptr<RestResponse> response) {
        const std::optional<std::string> key = idempotencyKey(*request->httpRequest);
        if (!key) {
            handler(request, response);
            return;
        }
        const std::string requestFingerprint = fingerprint(*request);
        if (const std::optional<IdempotencyStore::Entry> entry = store.find(*key)) {
            answerRepeat(*entry, *key, requestFingerprint, *response);
            return;
        }
        try {
            store.begin(*key, requestFingerprint, completedAnswer);
            handler(request, response);
        } catch (const KeysNotSaved& failure) {
            store.fail(Json::Value());
            throw notSaved(*key, failure);
        } catch (const RestException& failure) {
            store.fail(failure.body);
            throw;
        } catch (...) {
            store.fail(Json::Value());
            throw;
        }
        store.finish(response->json);
    };
}
