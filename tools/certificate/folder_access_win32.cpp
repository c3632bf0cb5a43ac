#include "folder_access.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
// windows.h first: the security headers build on its types.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace certificate {

namespace {

// Owner Administrators; a protected list (nothing inherited from the folder above):
// Administrators and SYSTEM full control, Users read and execute (FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE), each for the folder, its subfolders and its files.
constexpr const wchar_t* installFolderAccess =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreer>;

[[noreturn]] void failed(const std::string& step, DWORD error) {
    throw std::runtime_error(step + " failed: Windows error " + std::to_string(error));
}

struct Parts {
    PSID owner = nullptr;
    PACL list = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
};

Parts partsOf(PSECURITY_DESCRIPTOR descriptor) {
    Parts parts;
    BOOL present = FALSE, defaulted = FALSE;
    DWORD revision = 0;
    if (!GetSecurityDescriptorOwner(descriptor, &parts.owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &parts.list, &defaulted) ||
        !GetSecurityDescriptorControl(descriptor, &parts.control, &revision))
        failed("reading an access list", GetLastError());
    return parts;
}

void set(const std::filesystem::path& path, SECURITY_INFORMATION what, PSID owner, PACL list) {
    const DWORD error = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                              what, owner, nullptr, list, nullptr);
    if (error != ERROR_SUCCESS)
        failed("setting the access list of " + path.u8string(), error);
}

// The same entries, byte for byte, in the same order.
bool sameEntries(PACL read, PACL asked) {
    if (read == nullptr || read->AceCount != asked->AceCount)
        return false;
    for (WORD i = 0; i < asked->AceCount; ++i) {
        void* readEntry = nullptr;
        void* askedEntry = nullptr;
        if (!GetAce(read, i, &readEntry) || !GetAce(asked, i, &askedEntry))
            return false;
        const WORD size = static_cast<ACE_HEADER*>(askedEntry)->AceSize;
        if (static_cast<ACE_HEADER*>(readEntry)->AceSize != size ||
            std::memcmp(readEntry, askedEntry, size) != 0)
            return false;
    }
    return true;
}

void checkAccess(const std::filesystem::path& folder, const Parts& asked) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL list = nullptr;
    const DWORD error = GetNamedSecurityInfoW(
        folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &owner, nullptr, &list, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        failed("reading the access list of " + folder.u8string(), error);
    const SecurityDescriptor read(descriptor);
    if (owner == nullptr || !EqualSid(owner, asked.owner))
        throw std::runtime_error(folder.u8string() + " is not owned by Administrators");
    if ((partsOf(descriptor).control & SE_DACL_PROTECTED) == 0 || !sameEntries(list, asked.list))
        throw std::runtime_error("the access list of " + folder.u8string() +
                                 " is not Administrators' and SYSTEM's full control and Users' "
                                 "read and execute alone");
}

// Wine maps an access list to Unix permissions and keeps nothing else, so there what was
// set cannot be read back.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace

bool restrictToAdministrators(const std::filesystem::path& folder) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(installFolderAccess, SDDL_REVISION_1,
                                                              &made, nullptr))
        failed("making the install folder's access list", GetLastError());
    const SecurityDescriptor descriptor(made);
    const Parts asked = partsOf(made);
    set(folder,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
            PROTECTED_DACL_SECURITY_INFORMATION,
        asked.owner, asked.list);
    // What is in it keeps only what it inherits: an entry of its own, or its owner, could
    // let a user change it.
    ACL empty{};
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION))
        failed("making an empty access list", GetLastError());
    for (const std::filesystem::directory_entry& entry :
         std::filesystem::recursive_directory_iterator(folder))
        set(entry.path(),
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                UNPROTECTED_DACL_SECURITY_INFORMATION,
            asked.owner, &empty);
    if (underWine())
        return false;
    checkAccess(folder, asked);
    return true;
}

} // namespace certificate
