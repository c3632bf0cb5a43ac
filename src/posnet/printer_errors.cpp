#include "posnet/printer_errors.h"

PosnetError::PosnetError(POSNET_STATUS code, const std::string& text, const std::string& call)
    : PrinterError(call + " failed with " + std::to_string(code) + " " + text), code(code),
      text(text), call(call) {}

PrinterNotConnected::PrinterNotConnected() : PrinterError("no connection to the printer") {}

DocumentOutcomeUnknown::DocumentOutcomeUnknown(const PosnetError& lostLine, DocumentKind kind)
    : PrinterError(std::string("the line was lost and the printer cannot tell whether the ") +
                   documentName(kind) + " was completed"),
      lostLine(lostLine), kind(kind) {}

UnusableVatRate::UnusableVatRate(const std::string& rate, const std::string& received)
    : PrinterError("unusable VAT rate " + rate + " from the printer: " + received), rate(rate),
      received(received) {}

UnreadableAnswer::UnreadableAnswer(const std::string& field, const std::string& received)
    : PrinterError("unreadable " + field + " from the printer: " + received), field(field),
      received(received) {}
