// The fiscal printer on its serial line or TCP address: the library's handles, the one
// connection, and the commands the program sends (receipts, VAT rates, the daily report).
// Failures are thrown as the errors of printer_errors.h and each one is logged where it
// arises; what happens on the printer is announced through the signals below.
#ifndef POSNET_PRINTER_H
#define POSNET_PRINTER_H

#include "posnet/document_in_doubt.h"
#include "posnet/document_recovery.h"
#include "posnet/posnet_library.h"
#include "posnet/printer_errors.h"
#include "posnet/printer_records.h"
#include <boost/signals2/signal.hpp>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Response values of a printer command by name, as the library delivers them.
using PosnetResponse = std::unordered_map<std::string, std::string>;

class Printer {
public:
    // `line` sets a serial port; the library ignores it for a printer on the network.
    explicit Printer(PosnetLibrary& library = linkedPosnetLibrary(),
                     const LineSettings& line = LineSettings());
    // Closes an open connection, announcing it.
    ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Closes any open connection and opens `port` (see printerPort()); false when the port
    // is refused, no handle can be made or the printer does not report ready. Throws
    // PosnetError when the library cannot open the port. A document left in doubt is then
    // settled with the printer.
    bool connect(const std::string& port);
    void disconnect();
    // True while a connection is open and its printer answered the status check.
    bool connected() const { return open; }
    const LineSettings& lineSettings() const { return line; }

    // Told the token of a command's frame (none when the library gives none) before the
    // frame is sent.
    using TokenObserver = std::function<void(std::optional<uint32_t>)>;

    // One printer command on the open connection; throws PrinterNotConnected when there is
    // none and PosnetError when the library or the printer refuses it, closing the
    // connection first when the line was lost.
    void runTransaction(const std::string& command, const std::string& parameters,
                        const TokenObserver& beforePosting = TokenObserver());
    PosnetResponse runTransactionWithResponse(const std::string& command,
                                              const std::string& parameters);

    // Prints the receipt; a receipt it leaves half-printed is cancelled before the error
    // leaves. When the answer to its closing command is lost, the printer is asked what
    // became of it: returns when it was completed, throws the lost line's PosnetError when it
    // was not, and DocumentOutcomeUnknown when the printer cannot tell.
    void printReceipt(const Receipt& receipt);
    // Asks the printer to drop the receipt it has open; never throws, as it runs while
    // another failure is on its way to the caller.
    void cancelTransaction();
    // Throws UnusableVatRate for a rate that is not a rate.
    VatRates vatRates();
    // The daily report dated today in local time; a lost answer as for printReceipt().
    void dailyReport();
    // A non-fiscal cash-in or cash-out slip.
    void moveCash(const CashMovement& movement);
    // The cash in the till as the printer counts it, in hundredths; throws UnreadableAnswer
    // when the printer's figure is not an amount.
    int64_t cashState();
    void openDrawer();
    PrinterInfo info();

    // A document whose closing answer was lost and whose fate is not known yet; settled at
    // the next connection.
    const std::optional<DocumentInDoubt>& documentInDoubt() const {
        return recovery.documentInDoubt();
    }
    // A document that an earlier run of the program left in doubt.
    void resumeDocumentInDoubt(const std::optional<DocumentInDoubt>& document) {
        recovery.resume(document);
    }

    // True when a connection opened, false when it closed.
    boost::signals2::signal<void(bool)> connectionChanged;
    boost::signals2::signal<void()> commandCompleted;
    boost::signals2::signal<void(const PosnetError&)> commandRefused;
    // A receipt or daily report is about to be opened, or closed: what it takes to find out
    // later what became of it.
    boost::signals2::signal<void(const DocumentInDoubt&)> documentProgress;
    // The printer was asked what became of the document in doubt; Unknown when it could not
    // tell, and the document stays in doubt.
    boost::signals2::signal<void(const DocumentInDoubt&, DocumentOutcome)> documentSettled;

private:
    // It asks the printer's records through the connection, the stored answers and the
    // cancellation below.
    friend class DocumentRecovery;

    // A printer command with its parameters, as a receipt sends it.
    struct Command {
        std::string name;
        std::string parameters;
        // Where a question's answer goes ("scnt"): a printer that refuses the question leaves
        // it empty, and the commands after it go on.
        PosnetResponse* answer = nullptr;
    };
    // The printer took commands sent after one it had no room for.
    struct QueueOverrun {};

    bool openConnection(const std::string& port);
    // Opens the connection that was last open again, after a lost line.
    bool reopen() { return openConnection(connectedPort); }
    void printOnce(const Receipt& receipt);
    // The commands from the counters read before "trinit" to the payments.
    std::vector<Command> saleCommands(const Receipt& receipt, PosnetResponse& counters);
    void printFooter(const std::vector<FooterLine>& footer);
    // Never throws: a footer it cannot end stays pending.
    void endFooterLeftOpen();
    // Asks the printer whether a receipt's footer is open and ends it; true when it was.
    bool finishOpenFooter();
    // As finishOpenFooter(), false when the printer refuses to tell.
    bool footerEnded();
    void runSale(const std::vector<Command>& sale);
    // Runs the commands in order, sent ahead of their answers unless the printer's queue
    // overran on this connection; throws the first refusal, and QueueOverrun when the
    // printer's receipt no longer matches the commands.
    void runCommands(const std::vector<Command>& commands);
    // The printer's answers in order, up to the first that is not a success or all of them;
    // throws the error of a lost line.
    std::vector<POSNET_STATUS> sendAhead(const std::vector<Command>& commands);
    POSNET_STATUS takeAnswer(std::deque<POSNET_HANDLE>& outstanding, const Command& command);
    void abandon(std::deque<POSNET_HANDLE>& outstanding);
    // The error for a failed library call, with the library's text for its code; logged.
    PosnetError posnetError(POSNET_STATUS code, const std::string& callName);
    // Closes the connection first when the code says it was lost.
    [[noreturn]] void throwPosnetError(POSNET_STATUS code, const std::string& callName);
    void requireConnection() const;
    POSNET_HANDLE postRequest(const std::string& command, const std::string& parameters,
                              const TokenObserver& beforePosting);
    POSNET_HANDLE sendRequest(const std::string& command, const std::string& parameters,
                              const TokenObserver& beforePosting);
    void post(POSNET_HANDLE request);
    void awaitAnswer(POSNET_HANDLE request);
    void checkRequest(POSNET_HANDLE request, POSNET_STATUS code, const char* callName);
    PosnetResponse responseValues(POSNET_HANDLE request);
    // A question's answer; empty when the printer refuses it, as an older model may.
    PosnetResponse optionalAnswer(const std::string& command);
    // What the printer still holds of the answer to the command that carried `token`.
    StoredAnswer storedAnswer(uint32_t token, const char* command);

    PosnetLibrary& library;
    const LineSettings line;
    POSNET_HANDLE deviceHandle = 0;
    POSNET_HANDLE device = 0;
    bool open = false;
    // The printer had no room for a command sent ahead: one at a time until it reconnects.
    bool oneAtATime = false;
    // The port of the last connection that opened, where a lost line is sought again.
    std::string connectedPort;
    // A receipt's fiscal part may have closed with its footer left open.
    bool footerPending = false;
    DocumentRecovery recovery{*this};
};

#endif
