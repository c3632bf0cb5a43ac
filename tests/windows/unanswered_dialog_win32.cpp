// unanswered-dialog ANYTHING...: shows a dialog and waits until someone answers it, as
// Windows' confirmation of a new trusted authority does. scripts/windows/check-program.sh
// puts it where the program finds its certificate companion, so that a renewal never ends.
#include <windows.h>

int wmain() {
    MessageBoxW(nullptr, L"Do you want to install this certificate?", L"Security Warning",
                MB_YESNO | MB_ICONWARNING);
    return 3;
}
