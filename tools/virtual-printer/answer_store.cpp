#include "answer_store.h"

#include <algorithm>

namespace virtual_printer {

void AnswerStore::keep(const std::string& token, const std::string& frame) {
    const auto same = std::find_if(answers.begin(), answers.end(),
                                   [&](const auto& answer) { return answer.first == token; });
    if (same != answers.end()) {
        forget(same);
    }
    answers.emplace_back(token, frame);
    bytes += frame.size();
    while (!answers.empty() && (answers.size() > mostAnswers || bytes > mostBytes)) {
        forget(answers.begin());
    }
}

std::optional<std::string> AnswerStore::find(const std::string& token) const {
    const auto found = std::find_if(answers.begin(), answers.end(),
                                    [&](const auto& answer) { return answer.first == token; });
    if (found == answers.end()) {
        return std::nullopt;
    }
    return found->second;
}

void AnswerStore::forget(std::deque<std::pair<std::string, std::string>>::iterator answer) {
    bytes -= answer->second.size();
    answers.erase(answer);
}

} // namespace virtual_printer
