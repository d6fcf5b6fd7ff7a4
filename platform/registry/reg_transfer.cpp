// Export and import of .reg files for tools. An export goes through the public Reg*W calls, so the same code
// serves the in-process registry and a device host's across its socket; an import is one change of
// whichever registry the process uses.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <ceplatform.h>
#include <windows.h>
#include <winreg.h>

#include "registry/hive_file.h"
#include "registry/key_path.h"
#include "registry/key_tree.h"
#include "registry/registry_backend.h"
#include "registry/reg_file.h"
#include "registry/text_codec.h"

namespace ce::registry {
namespace {

constexpr DWORD kKeyNameChars = kMaxKeyNameChars + 1;
constexpr DWORD kValueNameChars = kMaxValueNameChars + 1;
constexpr DWORD kFirstDataBytes = 256;

class OpenKey {
  public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Buffers reused across every key of one export.
struct Scratch {
    std::u16string name;
    std::vector<BYTE> data;
};

LONG ReadValues(HKEY key, Scratch* scratch, regfile::Section* section) {
    for (DWORD index = 0;;) {
        scratch->name.resize(kValueNameChars);
        DWORD nameChars = kValueNameChars;
        DWORD type = REG_NONE;
        DWORD bytes = static_cast<DWORD>(scratch->data.size());
        const LONG status = RegEnumValueW(key, index, scratch->name.data(), &nameChars, nullptr, &type,
                                          scratch->data.data(), &bytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            // The value grew since the buffer was sized; retry the same index.
            scratch->data.resize(std::max<size_t>(bytes, scratch->data.size() * 2));
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        scratch->name.resize(nameChars);
        section->values.push_back(
            regfile::ValueLine{0, scratch->name, false, type,
                               std::vector<BYTE>(scratch->data.begin(), scratch->data.begin() + bytes)});
        ++index;
    }
}

LONG ReadSubkeyNames(HKEY key, std::vector<std::u16string>* names) {
    std::u16string name(kKeyNameChars, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD chars = kKeyNameChars;
        const LONG status =
            RegEnumKeyExW(key, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names->emplace_back(name.data(), chars);
    }
}

// A root gets a section only when it holds values, as in a saved hive.
LONG ExportTree(HKEY key, const std::u16string& path, size_t depth, Scratch* scratch,
                regfile::Document* document) {
    regfile::Section section;
    section.path = path;
    if (const LONG status = ReadValues(key, scratch, &section); status != ERROR_SUCCESS) {
        return status;
    }
    if (depth > 0 || !section.values.empty()) {
        document->sections.push_back(std::move(section));
    }
    std::vector<std::u16string> names;
    if (const LONG status = ReadSubkeyNames(key, &names); status != ERROR_SUCCESS) {
        return status;
    }
    if (!names.empty() && depth >= kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    for (const std::u16string& name : names) {
        OpenKey child;
        const LONG status = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.out());
        if (status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED) {
            continue;  // deleted by someone else since it was listed
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (const LONG inner =
                ExportTree(child.get(), path + kPathSeparator + name, depth + 1, scratch, document);
            inner != ERROR_SUCCESS) {
            return inner;
        }
    }
    return ERROR_SUCCESS;
}

void PutProblem(const std::string& message, char* problem, DWORD problemSize) {
    if (problem == nullptr || problemSize == 0) {
        return;
    }
    const size_t length = std::min<size_t>(message.size(), problemSize - 1);
    std::memcpy(problem, message.data(), length);
    problem[length] = '\0';
}

std::string AtLine(const char* path, int line, const std::string& message) {
    return std::string(path) + ":" + std::to_string(line) + ": " + message;
}

LONG Export(HKEY root, LPCWSTR subKey, const char* path, std::string* message) {
    if (path == nullptr || *path == '\0') {
        *message = "no file named";
        return ERROR_INVALID_PARAMETER;
    }
    const int rootIndex = RootIndex(root);
    if (rootIndex < 0) {
        *message = "not a predefined root key";
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::u16string_view> names;
    if (const LONG status = SplitKeyPath(subKey != nullptr ? subKey : u"", &names); status != ERROR_SUCCESS) {
        *message = "bad key path";
        return status;
    }
    std::u16string keyPath = kRootNames[static_cast<size_t>(rootIndex)];
    for (const std::u16string_view name : names) {
        keyPath.push_back(kPathSeparator);
        keyPath.append(name);
    }
    OpenKey key;
    if (const LONG status = RegOpenKeyExW(root, subKey != nullptr ? subKey : u"", 0, KEY_READ, key.out());
        status != ERROR_SUCCESS) {
        *message = "cannot open " + ToUtf8(keyPath) + " (error " + std::to_string(status) + ")";
        return status;
    }
    regfile::Document document;
    Scratch scratch;
    scratch.data.resize(kFirstDataBytes);
    if (const LONG status = ExportTree(key.get(), keyPath, names.size(), &scratch, &document);
        status != ERROR_SUCCESS) {
        *message = "cannot read " + ToUtf8(keyPath) + " (error " + std::to_string(status) + ")";
        return status;
    }
    return WriteHiveFile(path, regfile::Write(document), message);
}

LONG Import(const char* path, std::string* message) {
    if (path == nullptr || *path == '\0') {
        *message = "no file named";
        return ERROR_INVALID_PARAMETER;
    }
    std::string contents;
    switch (ReadHiveFile(path, &contents, message)) {
        case ReadResult::Ok:
            break;
        case ReadResult::Missing:
            *message = std::string("no such file ") + path;
            return ERROR_FILE_NOT_FOUND;
        case ReadResult::Failed:
            return ERROR_CANTREAD;
    }
    regfile::Document document;
    regfile::ParseError problem;
    if (!regfile::Parse(contents, &document, &problem)) {
        *message = AtLine(path, problem.line, problem.message);
        return ERROR_BADDB;
    }
    // The file is read here, with the program's own rights; the registry, wherever it lives, takes the
    // whole document at once.
    const LONG status = Backend().importDocument(document, &problem);
    if (status != ERROR_SUCCESS) {
        *message = problem.line > 0 ? AtLine(path, problem.line, problem.message) : problem.message;
    }
    return status;
}

template <typename Body>
LONG RunTransfer(char* problem, DWORD problemSize, Body&& body) noexcept {
    try {
        std::string message;
        const LONG status = body(&message);
        if (status != ERROR_SUCCESS) {
            PutProblem(message, problem, problemSize);
        }
        return status;
    } catch (const std::bad_alloc&) {
        PutProblem("out of memory", problem, problemSize);
        return ERROR_OUTOFMEMORY;
    }
}

}  // namespace
}  // namespace ce::registry

extern "C" {

LONG CeRegistryExportKey(HKEY root, LPCWSTR subKey, const char* path, char* problem, DWORD problemSize) {
    return ce::registry::RunTransfer(problem, problemSize, [&](std::string* message) {
        return ce::registry::Export(root, subKey, path, message);
    });
}

LONG CeRegistryImportFile(const char* path, char* problem, DWORD problemSize) {
    return ce::registry::RunTransfer(
        problem, problemSize, [&](std::string* message) { return ce::registry::Import(path, message); });
}

}  // extern "C"
