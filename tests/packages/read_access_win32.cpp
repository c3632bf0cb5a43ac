// read-access PATH: prints the owner and the access list of a file or folder as Windows
// reads them, in Windows' own text form (SDDL), e.g. "O:BAD:P(A;OICI;FA;;;BA)...".
// scripts/windows/check-installer.sh runs it under Wine to see who may change the install
// folder.
#include <windows.h>

#include <aclapi.h>
#include <cstdio>
#include <sddl.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: read-access PATH\n");
        return 2;
    }
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, what, nullptr, nullptr,
                                              nullptr, nullptr, &descriptor);
    wchar_t* text = nullptr;
    if (error != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what,
                                                              &text, nullptr)) {
        std::fprintf(stderr, "read-access: Windows error %lu\n",
                     static_cast<unsigned long>(error != ERROR_SUCCESS ? error : GetLastError()));
        return 1;
    }
    std::printf("%ls\n", text);
    LocalFree(text);
    LocalFree(descriptor);
    return 0;
}
