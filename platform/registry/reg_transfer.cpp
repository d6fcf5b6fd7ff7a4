// Export and import of .reg files for tools. Everything goes through the public Reg*W calls, never the
// store, so the same code serves the in-process registry and a device host's across its socket.
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

// One section resolved against the registry's naming rules.
struct Target {
    HKEY root = nullptr;
    std::u16string below;  // path under the root, without a trailing separator
};

bool ResolveTarget(const regfile::Section& section, Target* target, std::string* message) {
    const std::u16string_view path = section.path;
    const size_t separator = path.find(kPathSeparator);
    const std::u16string_view rootName = path.substr(0, separator);
    const int root = RootIndexByName(rootName);
    if (root < 0) {
        *message = "unknown root key '" + ToUtf8(rootName) + "'";
        return false;
    }
    const std::u16string_view below =
        separator == std::u16string_view::npos ? std::u16string_view() : path.substr(separator + 1);
    std::vector<std::u16string_view> names;
    if (SplitKeyPath(below, &names) != ERROR_SUCCESS || names.size() > kMaxKeyDepth) {
        *message = "bad key path '" + ToUtf8(path) + "'";
        return false;
    }
    if (section.remove && names.empty()) {
        *message = "a root key cannot be deleted";
        return false;
    }
    target->root = reinterpret_cast<HKEY>(kFirstRootHandle + static_cast<uintptr_t>(root));
    target->below.clear();
    for (const std::u16string_view name : names) {
        if (!target->below.empty()) {
            target->below.push_back(kPathSeparator);
        }
        target->below.append(name);
    }
    return true;
}

// Checks every section before anything changes, so a bad file leaves the registry as it was.
bool CheckDocument(const regfile::Document& document, const char* path, std::vector<Target>* targets,
                   std::string* message) {
    for (const regfile::Section& section : document.sections) {
        Target target;
        std::string why;
        if (!ResolveTarget(section, &target, &why)) {
            *message = AtLine(path, section.line, why);
            return false;
        }
        for (const regfile::ValueLine& value : section.values) {
            if (CheckValueName(value.name) != ERROR_SUCCESS) {
                *message = AtLine(path, value.line, "value name too long");
                return false;
            }
        }
        targets->push_back(std::move(target));
    }
    return true;
}

std::string CallFailed(const char* path, int line, const char* call, LONG status) {
    return AtLine(path, line, std::string(call) + " failed with error " + std::to_string(status));
}

LONG ApplySection(const regfile::Section& section, const Target& target, const char* path,
                  std::string* message) {
    if (section.remove) {
        const LONG status = RegDeleteKeyW(target.root, target.below.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            *message = CallFailed(path, section.line, "RegDeleteKeyW", status);
            return status;
        }
        return ERROR_SUCCESS;
    }
    OpenKey key;
    LONG status = RegCreateKeyExW(target.root, target.below.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.out(), nullptr);
    if (status != ERROR_SUCCESS) {
        *message = CallFailed(path, section.line, "RegCreateKeyExW", status);
        return status;
    }
    for (const regfile::ValueLine& value : section.values) {
        const LPCWSTR name = value.name.c_str();
        if (value.remove) {
            status = RegDeleteValueW(key.get(), name);
            if (status == ERROR_FILE_NOT_FOUND) {
                status = ERROR_SUCCESS;
            }
        } else {
            status = RegSetValueExW(key.get(), name, 0, value.type, value.data.data(),
                                    static_cast<DWORD>(value.data.size()));
        }
        if (status != ERROR_SUCCESS) {
            *message =
                CallFailed(path, value.line, value.remove ? "RegDeleteValueW" : "RegSetValueExW", status);
            return status;
        }
    }
    return ERROR_SUCCESS;
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
    std::vector<Target> targets;
    if (!CheckDocument(document, path, &targets, message)) {
        return ERROR_BADDB;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        if (const LONG status = ApplySection(document.sections[i], targets[i], path, message);
            status != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
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
