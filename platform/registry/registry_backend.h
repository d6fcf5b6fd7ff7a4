// Where a process's registry lives: in the process (its own store and hive), or in the device host that
// serves every program of the device. The process uses one backend for its whole life, chosen at its first
// call that needs one; the Reg*W calls hand each call to it.
//
// Each operation takes the public call's parameters as the caller gave them and answers what the public
// call answers; it checks them itself (the in-process store here, the host for a remote registry). An
// operation may block on the registry's lock or on the host; it takes no lock of the caller's.
#pragma once

#include <windows.h>

#include "registry/reg_file.h"

namespace ce::registry {

using RegistryCreateKeyFn = LONG(HKEY key, LPCWSTR subKey, DWORD options, PHKEY result, LPDWORD disposition);
using RegistryOpenKeyFn = LONG(HKEY key, LPCWSTR subKey, PHKEY result);
using RegistryCloseKeyFn = LONG(HKEY key);
using RegistryDeleteKeyFn = LONG(HKEY key, LPCWSTR subKey);
using RegistryEnumKeyFn = LONG(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                               LPWSTR className, LPDWORD classChars, PFILETIME lastWrite);
using RegistryQueryInfoKeyFn = LONG(HKEY key, LPWSTR className, LPDWORD classChars, LPDWORD reserved,
                                    LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                                    LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                                    LPDWORD securityBytes, PFILETIME lastWrite);
using RegistryFlushKeyFn = LONG(HKEY key);
using RegistrySetValueFn = LONG(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size);
using RegistryQueryValueFn = LONG(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size);
using RegistryEnumValueFn = LONG(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                                 LPDWORD type, LPBYTE data, LPDWORD size);
using RegistryDeleteValueFn = LONG(HKEY key, LPCWSTR name);
// CeRegistryUseHive: keeps the registry in the hive file at path (null: in memory only). FALSE with the
// last error set when it cannot.
using RegistryUseHiveFn = BOOL(const char* path);
// CeRegistryImportFile, once the program has read and parsed the file: the document as one change (see
// document_import.h), why it was refused in *error.
using RegistryImportDocumentFn = LONG(const regfile::Document& document, regfile::ParseError* error);

struct RegistryBackend {
    RegistryCreateKeyFn* createKey;
    RegistryOpenKeyFn* openKey;
    RegistryCloseKeyFn* closeKey;
    RegistryDeleteKeyFn* deleteKey;
    RegistryEnumKeyFn* enumKey;
    RegistryQueryInfoKeyFn* queryInfoKey;
    RegistryFlushKeyFn* flushKey;
    RegistrySetValueFn* setValue;
    RegistryQueryValueFn* queryValue;
    RegistryEnumValueFn* enumValue;
    RegistryDeleteValueFn* deleteValue;
    RegistryUseHiveFn* useHive;
    RegistryImportDocumentFn* importDocument;
};

// The registry of this process's own store.
extern const RegistryBackend kInProcessRegistry;

// The backend this process uses, chosen on first use.
const RegistryBackend& Backend();

}  // namespace ce::registry
