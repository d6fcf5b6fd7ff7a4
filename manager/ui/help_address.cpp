#include "help_address.h"

namespace {

constexpr const WCHAR* kScheme = TEXT("file://");
constexpr const WCHAR* kGuideFile = TEXT("user_guide.htm");

// Appends as much of text as fits; *used counts the characters already in url.
void AppendCut(LPWSTR url, int urlChars, int* used, LPCWSTR text, int textChars) {
    for (int i = 0; i < textChars && *used < urlChars - 1; ++i) {
        url[(*used)++] = text[i];
    }
    url[*used] = 0;
}

}  // namespace

void BuildHelpUrl(LPCWSTR modulePath, LPWSTR url, int urlChars) {
    if (url == nullptr || urlChars < 1) {
        return;
    }
    url[0] = 0;
    // The directory ends at the last separator, whatever the program file is called; both separators
    // count, since a path may come from the device or from the host.
    int directoryChars = 0;
    const int pathChars = modulePath != nullptr ? lstrlenW(modulePath) : 0;
    for (int i = 0; i < pathChars; ++i) {
        if (modulePath[i] == TEXT('\\') || modulePath[i] == TEXT('/')) {
            directoryChars = i + 1;
        }
    }
    int used = 0;
    AppendCut(url, urlChars, &used, kScheme, lstrlenW(kScheme));
    AppendCut(url, urlChars, &used, modulePath, directoryChars);
    AppendCut(url, urlChars, &used, kGuideFile, lstrlenW(kGuideFile));
}
