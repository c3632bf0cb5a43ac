// Receipts of 1, 10 and 100 lines through the running program: HTTPS to "/printer/print",
// the driver, and a virtual printer on TCP of 127.0.0.1 that costs every byte its time on a
// 9600-baud line in each direction. Next to each, its floor: the time the receipt's own
// frames, without tokens, need on that line one way.
//
//     receipt_bench PORT ROUNDS
//     receipt_bench PORT --keyed|--unkeyed SECONDS
//
// Connects the program at PORT (started with the test certificate) to a virtual printer of
// its own and prints one line per receipt size: "lines median_s best_s floor_s", and the
// one-line receipt again with a key of its own each time ("1-keyed ..."). Then, while
// a 100-line receipt prints, "/status" every 300 ms from 0.3 s on, 20 times, each on a
// connection of its own: "status median_ms worst_ms". With --keyed or --unkeyed, the printer
// passes bytes at once, and one-line receipts are printed for SECONDS, each with an
// Idempotency-Key of its own or without one: it prints the receipts a second.
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
#include <future>
#include <json/value.h>
#include <json/writer.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kBaud = 9600;
constexpr int kPrice = 1234; // hundredths
// 8N1: a start bit, eight data bits and a stop bit for every byte.
constexpr double kBytesPerSecond = kBaud / 10.0;

Json::Value saleOf(int lines) {
    Json::Value sale(Json::objectValue);
    sale["GrossTotal"] = lines * kPrice / 100.0;
    sale["FiscalPrinterPaymentId"] = 0;
    sale["Items"] = Json::Value(Json::arrayValue);
    for (int line = 1; line <= lines; ++line) {
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

// The receipt's own frames as the program builds them, without tokens, one way.
double floorSeconds(const Json::Value& sale) {
    const Receipt receipt = PrinterTypes::FiscalReceipt(sale).forPrinter(true);
    std::vector<poslib::Request> commands = {{"trinit", "bm,1"}};
    for (const ReceiptLine& line : receipt.lines) {
        commands.emplace_back("trline", buildLineParameters(line));
    }
    commands.emplace_back("trpayment", buildPaymentParameters(receipt.payments.front()));
    commands.emplace_back("trend", buildEndParameters(receipt));
    std::size_t bytes = 0;
    for (const poslib::Request& command : commands) {
        bytes += command.frame().size();
    }
    return static_cast<double>(bytes) / kBytesPerSecond;
}

std::string jsonPost(const std::string& path, const Json::Value& body,
                     const std::string& headers = "") {
    const std::string text = Json::FastWriter().write(body);
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1:9003\r\nContent-Type: application/json;charset=utf-8\r\n" +
           headers + "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

void expectTrue(const HttpAnswer& answer, const std::string& what) {
    if (answer.status != 200 || answer.body != "true") {
        throw std::runtime_error(what + " answered " + std::to_string(answer.status) + ": " +
                                 answer.body);
    }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void statusDuringReceipt(unsigned short port) {
    constexpr int kQuestions = 20;
    constexpr std::chrono::milliseconds kEvery{300};
    const auto start = std::chrono::steady_clock::now();
    auto receipt = std::async(std::launch::async, [port] {
        return ::exchange(port, jsonPost("/printer/print", saleOf(100)));
    });
    std::vector<std::future<double>> answers;
    for (int question = 1; question <= kQuestions; ++question) {
        std::this_thread::sleep_until(start + question * kEvery);
        answers.push_back(std::async(std::launch::async, [port] {
            const auto asked = std::chrono::steady_clock::now();
            const HttpAnswer answer =
                ::exchange(port, "GET /status HTTP/1.1\r\nHost: 127.0.0.1:9003\r\n\r\n");
            if (answer.status != 200) {
                throw std::runtime_error("/status answered " + std::to_string(answer.status));
            }
            return secondsSince(asked) * 1000;
        }));
    }
    std::vector<double> milliseconds;
    for (auto& answer : answers) {
        milliseconds.push_back(answer.get());
    }
    expectTrue(receipt.get(), "/printer/print");
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("status %.1f %.1f\n", milliseconds[milliseconds.size() / 2], milliseconds.back());
}

// The Idempotency-Key header of this run's `number`-th keyed receipt: a program that kept the
// keys of an earlier run still prints every receipt.
std::string keyHeader(int number) {
    static const std::string run =
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    return "Idempotency-Key: bench-" + run + "-" + std::to_string(number) + "\r\n";
}

// One-line receipts a second for `seconds`, each with a key of its own or without one.
double receiptsPerSecond(unsigned short port, double seconds, bool keyed) {
    const Json::Value sale = saleOf(1);
    const auto start = std::chrono::steady_clock::now();
    int receipts = 0;
    double elapsed = 0;
    for (; elapsed < seconds; ++receipts) {
        const std::string key = keyed ? keyHeader(receipts) : "";
        expectTrue(::exchange(port, jsonPost("/printer/print", sale, key)), "/printer/print");
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return receipts / elapsed;
}

int receiptsPerSecondOnInstantPrinter(unsigned short port, bool keyed, double seconds) {
    VirtualPrinterProcess printer;
    expectTrue(::exchange(port, jsonPost("/connect", Json::Value(printer.port()))), "/connect");
    std::printf("%.1f\n", receiptsPerSecond(port, seconds, keyed));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[2] : "";
    if (argc != 3 && mode != "--keyed" && mode != "--unkeyed") {
        std::fprintf(stderr, "usage: %s PORT ROUNDS | %s PORT --keyed|--unkeyed SECONDS\n", argv[0],
                     argv[0]);
        return 2;
    }
    try {
        const auto port = static_cast<unsigned short>(std::stoi(argv[1]));
        if (argc == 4) {
            return receiptsPerSecondOnInstantPrinter(port, mode == "--keyed", std::stod(argv[3]));
        }
        const int rounds = std::stoi(argv[2]);
        VirtualPrinterProcess printer({"--baud", std::to_string(kBaud)});
        expectTrue(::exchange(port, jsonPost("/connect", Json::Value(printer.port()))), "/connect");
        const struct {
            const char* name;
            int lines;
            bool keyed;
        } sizes[] = {{"1", 1, false}, {"10", 10, false}, {"100", 100, false}, {"1-keyed", 1, true}};
        for (const auto& size : sizes) {
            const Json::Value sale = saleOf(size.lines);
            std::vector<double> seconds;
            for (int round = 0; round < rounds; ++round) {
                const std::string key = size.keyed ? keyHeader(round) : "";
                const std::string request = jsonPost("/printer/print", sale, key);
                const auto start = std::chrono::steady_clock::now();
                const HttpAnswer answer = ::exchange(port, request);
                seconds.push_back(secondsSince(start));
                expectTrue(answer, "/printer/print");
            }
            std::sort(seconds.begin(), seconds.end());
            std::printf("%s %.4f %.4f %.4f\n", size.name, seconds[seconds.size() / 2],
                        seconds.front(), floorSeconds(sale));
        }
        statusDuringReceipt(port);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "receipt_bench: %s\n", error.what());
        return 1;
    }
}
