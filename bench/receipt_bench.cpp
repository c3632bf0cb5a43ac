// A receipt of 100 lines through the running program: HTTPS to "/printer/print", the driver,
// and a virtual printer on TCP of 127.0.0.1 (which passes bytes at once, whatever the baud
// rate). Next to that, the time a 9600-baud line needs for the same commands and answers.
//
//     receipt_bench PORT ROUNDS
//
// Connects the program at PORT (started with the test certificate) to a virtual printer of
// its own and prints one line: "median_s best_s line_s commands".
#include "poslib/frame.h"
#include "poslib/request.h"
#include "posnet/parameter_text.h"
#include "service/printer_types.h"
#include "support/tls_client.h"
#include "support/virtual_printer_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <json/value.h>
#include <json/writer.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kLines = 100;
constexpr int kPrice = 1234; // hundredths
// 8N1: a start bit, eight data bits and a stop bit for every byte.
constexpr double kBytesPerSecondAt9600 = 9600.0 / 10.0;

Json::Value saleOfHundredLines() {
    Json::Value sale(Json::objectValue);
    sale["GrossTotal"] = kLines * kPrice / 100.0;
    sale["FiscalPrinterPaymentId"] = 0;
    sale["Items"] = Json::Value(Json::arrayValue);
    for (int line = 1; line <= kLines; ++line) {
        Json::Value item(Json::objectValue);
        item["ProductName"] = "Chleb żytni krojony nr " + std::to_string(line);
        item["ProductUnitOfMeasurment"] = "szt";
        item["Quantity"] = 1;
        item["ProductCurrencyGrossPrice"] = kPrice / 100.0;
        item["FiscalPrinterVatRateType"] = 0;
        item["GrossValue"] = kPrice / 100.0;
        sale["Items"].append(item);
    }
    return sale;
}

// The commands the driver sends for the sale, as the program builds them.
std::vector<std::pair<std::string, std::string>> commandsFor(const Json::Value& sale) {
    const Receipt receipt = PrinterTypes::FiscalReceipt(sale).forPrinter(true);
    std::vector<std::pair<std::string, std::string>> commands = {{"trinit", "bm,1"}};
    for (const ReceiptLine& line : receipt.lines) {
        commands.emplace_back("trline", buildLineParameters(line));
    }
    commands.emplace_back("trpayment", buildPaymentParameters(receipt));
    commands.emplace_back("trend", buildEndParameters(receipt));
    return commands;
}

// Bytes on the line: each command's frame and its answer (a plain success frame), both
// carrying the command's token.
std::size_t lineBytes(const std::vector<std::pair<std::string, std::string>>& commands) {
    std::size_t bytes = 0;
    for (const auto& [command, parameters] : commands) {
        const poslib::Request request(command, parameters);
        bytes += request.frame().size();
        bytes +=
            poslib::encodeFrame(command + poslib::kTab + request.token() + poslib::kTab).size();
    }
    return bytes;
}

std::string jsonPost(const std::string& path, const Json::Value& body) {
    const std::string text = Json::FastWriter().write(body);
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1:9003\r\nContent-Type: application/json;charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(text.size()) + "\r\n\r\n" + text;
}

void expectTrue(const HttpAnswer& answer, const std::string& what) {
    if (answer.status != 200 || answer.body != "true") {
        throw std::runtime_error(what + " answered " + std::to_string(answer.status) + ": " +
                                 answer.body);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT ROUNDS\n", argv[0]);
        return 2;
    }
    try {
        const auto port = static_cast<unsigned short>(std::stoi(argv[1]));
        const int rounds = std::stoi(argv[2]);
        VirtualPrinterProcess printer;
        expectTrue(::exchange(port, jsonPost("/connect", Json::Value(printer.port()))), "/connect");

        const Json::Value sale = saleOfHundredLines();
        const std::string request = jsonPost("/printer/print", sale);
        std::vector<double> seconds;
        for (int round = 0; round < rounds; ++round) {
            const auto start = std::chrono::steady_clock::now();
            const HttpAnswer answer = ::exchange(port, request);
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            expectTrue(answer, "/printer/print");
        }
        std::sort(seconds.begin(), seconds.end());
        const auto commands = commandsFor(sale);
        std::printf("%.4f %.4f %.3f %zu\n", seconds[seconds.size() / 2], seconds.front(),
                    static_cast<double>(lineBytes(commands)) / kBytesPerSecondAt9600,
                    commands.size());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "receipt_bench: %s\n", error.what());
        return 1;
    }
}
