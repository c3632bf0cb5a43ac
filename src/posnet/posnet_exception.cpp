#include "posnet/posnet_exception.h"
#include "posnet/code_page_converter.h"
#include <boost/log/trivial.hpp>

namespace {

std::string describe(POSNET_STATUS code) {
    const char* text = POS_GetErrorString(code, "pl");
    return CodePageConverter::instance().toUtf8(text != nullptr ? text : "(brak opisu)");
}

} // namespace

PosnetException::PosnetException(POSNET_STATUS code, const std::string& callName)
    : RestException(500, "Internal Server Error", Json::Value()) {
    const std::string description = describe(code);
    body["type"] = "POSNET";
    body["exception"]["code"] = code;
    body["exception"]["message"] = description;
    BOOST_LOG_TRIVIAL(error) << "Posnet exception: " << code << " " << description;
    body["exception"]["description"] = callName;
}

PosnetException::~PosnetException() = default;

POSNET_STATUS PosnetException::code() const {
    return body["exception"]["code"].asInt();
}

OutcomeUnknownException::OutcomeUnknownException(const PosnetException& lostLine, DocumentKind kind)
    : RestException(lostLine.status, lostLine.message, lostLine.body) {
    body["exception"]["message"] = outcomeUnknownMessage(kind);
    body["outcome"] = "unknown";
}
