// read-shortcut FILE.lnk: prints what Windows reads from a shortcut, through the shell's own
// IShellLinkW: "TARGET|START IN", in UTF-8. scripts/windows/check-installer.sh runs it under
// Wine to see where the installer's shortcuts start the program.
#include <windows.h>

#include <cstdio>
#include <shlobj.h>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string converted(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    return converted;
}

int fail(const char* step, HRESULT result) {
    std::fprintf(stderr, "read-shortcut: %s failed: 0x%08lx\n", step,
                 static_cast<unsigned long>(result));
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: read-shortcut FILE.lnk\n");
        return 2;
    }
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (FAILED(result)) {
        return fail("making a shell link", result);
    }
    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        return fail("asking for its file", result);
    }
    result = file->Load(argv[1], STGM_READ);
    if (FAILED(result)) {
        return fail("loading the shortcut", result);
    }
    wchar_t target[MAX_PATH] = L"";
    wchar_t folder[MAX_PATH] = L"";
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    std::printf("%s|%s\n", utf8(target).c_str(), utf8(folder).c_str());
    file->Release();
    link->Release();
    CoUninitialize();
    return 0;
}
