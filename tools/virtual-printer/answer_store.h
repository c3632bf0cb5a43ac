// The printer's memory of its answers to commands that carried a token, which "rpt" sends
// again: the last 32, at most 1 KiB in all, the oldest forgotten first.
#ifndef VIRTUAL_PRINTER_ANSWER_STORE_H
#define VIRTUAL_PRINTER_ANSWER_STORE_H

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace virtual_printer {

class AnswerStore {
public:
    static constexpr std::size_t mostAnswers = 32;
    static constexpr std::size_t mostBytes = 1024;

    // A token used again replaces the answer it was stored with.
    void keep(const std::string& token, const std::string& frame);
    // The frame exactly as it was answered, or nothing once it was forgotten.
    std::optional<std::string> find(const std::string& token) const;

private:
    void forget(std::deque<std::pair<std::string, std::string>>::iterator answer);

    std::deque<std::pair<std::string, std::string>> answers; // token and frame, oldest first
    std::size_t bytes = 0;
};

} // namespace virtual_printer

#endif
