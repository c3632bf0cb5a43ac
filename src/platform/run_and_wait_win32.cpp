#include "platform/run_and_wait.h"

#include "platform/wide_text_win32.h"

#include <stdexcept>
#include <windows.h>

namespace platform {

namespace {

struct Handle {
    HANDLE value = nullptr;
    ~Handle() {
        if (value != nullptr)
            CloseHandle(value);
    }
};

// Quoted as CommandLineToArgvW reads it back: backslashes before a quote are doubled.
std::wstring quoted(const std::wstring& word) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : word) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(character == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += character;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

[[noreturn]] void failed(const std::string& step) {
    throw std::runtime_error(step + " failed: Windows error " + std::to_string(GetLastError()));
}

std::string readAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0)
        text.append(buffer, count);
    return text;
}

} // namespace

ProgramOutcome runAndWait(const std::string& program, const std::vector<std::string>& arguments) {
    std::wstring commandLine = quoted(widen(program));
    for (const std::string& argument : arguments)
        commandLine += L" " + quoted(widen(argument));
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle reading, writing;
    if (!CreatePipe(&reading.value, &writing.value, &inherited, 0))
        failed("making a pipe");
    SetHandleInformation(reading.value, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing.value;
    startup.hStdError = writing.value;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &started))
        failed("starting " + program);
    Handle process{started.hProcess};
    Handle thread{started.hThread};
    CloseHandle(writing.value);
    writing.value = nullptr;
    ProgramOutcome outcome;
    outcome.output = readAll(reading.value);
    WaitForSingleObject(process.value, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.value, &code);
    outcome.exitCode = static_cast<int>(code);
    return outcome;
}

boost::filesystem::path executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            failed("finding the program's own file");
        if (length < path.size())
            return boost::filesystem::path(path.substr(0, length)).parent_path();
        path.resize(path.size() * 2);
    }
}

} // namespace platform
