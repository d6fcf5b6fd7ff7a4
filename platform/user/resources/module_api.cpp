// GetModuleHandleW and GetModuleFileNameW over the loader's list of modules.
#include <algorithm>
#include <new>

#include <windows.h>

#include "kernel/wide_string.h"
#include "user/resources/module_table.h"

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    try {
        auto module =
            lpModuleName == nullptr
                ? ce::ui::ProgramModule()
                : ce::ui::ModuleByName(std::u16string_view(lpModuleName, ce::WideLength(lpModuleName)));
        if (!module) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return ce::ui::ToHandle(*module);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (lpFilename == nullptr && nSize > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        auto module = hModule == nullptr ? ce::ui::ProgramModule() : ce::ui::ModuleByHandle(hModule);
        if (!module) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        std::u16string path = ce::FromUtf8(module->path);
        if (nSize == 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        // A short buffer gets as much of the path as fits before its terminator.
        size_t copied = std::min<size_t>(path.size(), nSize - 1);
        std::copy_n(path.data(), copied, lpFilename);
        lpFilename[copied] = 0;
        if (copied < path.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return nSize;
        }
        return static_cast<DWORD>(copied);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
