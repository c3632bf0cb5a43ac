#include "answer_store.h"

#include <algorithm>

namespace virtual_printer {

void AnswerStore::keep(const std::string& token, const std::string& frame) {
    const auto same = std::find_if(answers_.begin(), answers_.end(),
                                   [&](const auto& answer) { return answer.first == token; });
    if (same != answers_.end()) {
        forget(same);
    }
    answers_.emplace_back(token, frame);
    bytes_ += frame.size();
    while (!answers_.empty() && (answers_.size() > mostAnswers || bytes_ > mostBytes)) {
        forget(answers_.begin());
    }
}

std::optional<std::string> AnswerStore::find(const std::string& token) const {
    const auto found = std::find_if(answers_.begin(), answers_.end(),
                                    [&](const auto& answer) { return answer.first == token; });
    if (found == answers_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void AnswerStore::forget(std::deque<std::pair<std::string, std::string>>::iterator answer) {
    bytes_ -= answer->second.size();
    answers_.erase(answer);
}

} // namespace virtual_printer
