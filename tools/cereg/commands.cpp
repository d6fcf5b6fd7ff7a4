#include "commands.h"

#include <filesystem>
#include <string>
#include <vector>

#include <ceplatform.h>
#include <windows.h>

#include "confirm.h"
#include "error_text.h"
#include "key_name.h"
#include "utf.h"
#include "value_text.h"

namespace {

constexpr DWORD kValueNameChars = 16384;  // the longest value name and its NUL
constexpr DWORD kKeyNameChars = 256;      // the longest key name and its NUL
constexpr DWORD kProblemBytes = 1024;
constexpr const char* kDone = "The operation completed successfully.";
constexpr const char16_t* kDefaultValueName = u"(Default)";

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class Key {
  public:
    Key() = default;
    ~Key() {
        if (handle_ != nullptr) {
            RegCloseKey(handle_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &handle_; }
    HKEY get() const { return handle_; }

  private:
    HKEY handle_ = nullptr;
};

LONG Open(const KeyName& name, Key* key) {
    return RegOpenKeyExW(name.root, name.subKey.c_str(), 0, KEY_ALL_ACCESS, key->out());
}

LONG CheckExists(const KeyName& name) {
    Key key;
    return Open(name, &key);
}

// Reports one failure: the operation, what it was about, and why, on one line.
class Failure {
  public:
    Failure(const Command& command, Console& console) : command_(command), console_(console) {}

    void SetSubject(const std::string& subject) { subject_ = subject; }

    int Say(const std::string& reason) {
        console_.err << "cereg: " << OperationName() << ' ' << subject_ << ": " << reason << '\n';
        return kExitFailure;
    }
    int Code(LONG status) { return Say(Win32ErrorText(static_cast<DWORD>(status))); }

    // The answer to a question that must be yes for the command to go on; a failure otherwise.
    bool Confirmed(const std::string& question) {
        switch (Confirm(question, console_.interactive, console_.in, console_.out)) {
            case Answer::Yes:
                return true;
            case Answer::No:
                Say("cancelled");
                return false;
            case Answer::Refused:
                Say("needs a yes, and standard input is not a terminal (give " +
                    std::string(command_.operation == Operation::Export ? "/y" : "/f") + ")");
                return false;
        }
        return false;
    }

  private:
    const char* OperationName() const {
        switch (command_.operation) {
            case Operation::Query:
                return "query";
            case Operation::Add:
                return "add";
            case Operation::Delete:
                return "delete";
            case Operation::Export:
                return "export";
            case Operation::Import:
                return "import";
            case Operation::Help:
                break;
        }
        return "help";
    }

    const Command& command_;
    Console& console_;
    std::string subject_;
};

std::u16string Wide(const std::string& text) {
    std::u16string wide;
    Utf8ToUtf16(text, &wide);
    return wide;
}

std::string DisplayName(const std::u16string& valueName) {
    return Utf16ToUtf8(valueName.empty() ? std::u16string(kDefaultValueName) : valueName);
}

LONG ReadValue(HKEY key, const std::u16string& name, Value* value) {
    value->name = name;
    DWORD bytes = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &value->type, nullptr, &bytes);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value->data.resize(bytes);
        DWORD got = bytes;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value->type, value->data.data(), &got);
        if (status == ERROR_SUCCESS) {
            value->data.resize(got);
            return status;
        }
        bytes = got;  // grew in between: read again with the new size
    }
    return status;
}

LONG ListValues(HKEY key, std::vector<Value>* values) {
    std::u16string name(kValueNameChars, u'\0');
    std::vector<BYTE> data(1);
    for (DWORD index = 0;;) {
        DWORD nameChars = kValueNameChars;
        DWORD type = REG_NONE;
        DWORD bytes = static_cast<DWORD>(data.size());
        const LONG status =
            RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &bytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            data.resize(bytes);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        values->push_back(Value{std::u16string(name.data(), nameChars), type,
                                std::vector<BYTE>(data.begin(), data.begin() + bytes)});
        ++index;
    }
}

LONG ListSubkeys(HKEY key, std::vector<std::u16string>* names) {
    WCHAR name[kKeyNameChars];
    for (DWORD index = 0;; ++index) {
        DWORD chars = kKeyNameChars;
        const LONG status = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names->emplace_back(name, chars);
    }
}

void PrintValue(const Value& value, std::ostream& out) {
    out << "    " << DisplayName(value.name) << "    " << Utf16ToUtf8(TypeName(value.type)) << "    "
        << Utf16ToUtf8(FormatData(value.type, value.data)) << '\n';
}

class Query {
  public:
    Query(const Command& command, Console& console, Failure& failure)
        : command_(command), console_(console), failure_(failure) {}

    int Run(const KeyName& name) {
        Key key;
        if (const LONG status = Open(name, &key); status != ERROR_SUCCESS) {
            return failure_.Code(status);
        }
        if (command_.value && !command_.recurse) {
            Value value;
            if (const LONG status = ReadValue(key.get(), Wide(*command_.value), &value);
                status != ERROR_SUCCESS) {
                failure_.SetSubject(Utf16ToUtf8(name.FullName()) + " /v " +
                                    DisplayName(Wide(*command_.value)));
                return failure_.Code(status);
            }
            console_.out << '\n' << Utf16ToUtf8(name.FullName()) << '\n';
            PrintValue(value, console_.out);
            return kExitSuccess;
        }
        if (const LONG status = Walk(key.get(), name); status != ERROR_SUCCESS) {
            return failure_.Code(status);
        }
        if (command_.value) {
            console_.out << "\nEnd of search: " << matches_ << " match(es) found.\n";
            if (matches_ == 0) {
                failure_.SetSubject(Utf16ToUtf8(name.FullName()) + " /v " +
                                    DisplayName(Wide(*command_.value)));
                return failure_.Code(ERROR_FILE_NOT_FOUND);
            }
        }
        return kExitSuccess;
    }

  private:
    LONG Walk(HKEY key, const KeyName& name) {
        std::vector<Value> values;
        std::vector<std::u16string> subkeys;
        LONG status = ListValues(key, &values);
        if (status == ERROR_SUCCESS) {
            status = ListSubkeys(key, &subkeys);
        }
        if (status != ERROR_SUCCESS) {
            failure_.SetSubject(Utf16ToUtf8(name.FullName()));
            return status;
        }
        PrintBlock(name, values);
        if (!command_.recurse) {
            if (!subkeys.empty()) {
                console_.out << '\n';
            }
            for (const std::u16string& subkey : subkeys) {
                console_.out << Utf16ToUtf8(ChildKey(name, subkey).FullName()) << '\n';
            }
            return ERROR_SUCCESS;
        }
        for (const std::u16string& subkey : subkeys) {
            Key child;
            status = RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, child.out());
            if (status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED) {
                continue;  // gone since it was listed
            }
            if (status == ERROR_SUCCESS) {
                status = Walk(child.get(), ChildKey(name, subkey));
            }
            if (status != ERROR_SUCCESS) {
                return status;
            }
        }
        return ERROR_SUCCESS;
    }

    // A search (/s with /v) shows only the keys holding the value.
    void PrintBlock(const KeyName& name, const std::vector<Value>& values) {
        const std::u16string wanted = command_.value ? Wide(*command_.value) : std::u16string();
        std::vector<const Value*> shown;
        for (const Value& value : values) {
            if (!command_.value || lstrcmpiW(value.name.c_str(), wanted.c_str()) == 0) {
                shown.push_back(&value);
            }
        }
        if (command_.value && shown.empty()) {
            return;
        }
        matches_ += shown.size();
        console_.out << '\n' << Utf16ToUtf8(name.FullName()) << '\n';
        for (const Value* value : shown) {
            PrintValue(*value, console_.out);
        }
    }

    const Command& command_;
    Console& console_;
    Failure& failure_;
    size_t matches_ = 0;
};

int Add(const Command& command, Console& console, const KeyName& name, Failure& failure) {
    std::vector<BYTE> data;
    std::u16string valueName;
    if (command.value) {
        valueName = Wide(*command.value);
        failure.SetSubject(Utf16ToUtf8(name.FullName()) + " /v " + DisplayName(valueName));
        const DWORD type = command.type.value_or(REG_SZ);
        // A REG_DWORD without data is 0, as the device's reg has it.
        const std::string text = command.data.value_or(type == REG_DWORD ? "0" : "");
        std::string why;
        if (!ParseData(type, Wide(text), Wide(command.separator), &data, &why)) {
            return failure.Say(why);
        }
        Key existing;
        if (Open(name, &existing) == ERROR_SUCCESS &&
            RegQueryValueExW(existing.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS &&
            !command.force && !failure.Confirmed("Value " + DisplayName(valueName) + " exists, overwrite")) {
            return kExitFailure;
        }
    }
    Key key;
    LONG status = RegCreateKeyExW(name.root, name.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.out(), nullptr);
    if (status == ERROR_SUCCESS && command.value) {
        status = RegSetValueExW(key.get(), valueName.c_str(), 0, command.type.value_or(REG_SZ), data.data(),
                                static_cast<DWORD>(data.size()));
    }
    if (status != ERROR_SUCCESS) {
        return failure.Code(status);
    }
    console.out << kDone << '\n';
    return kExitSuccess;
}

int DeleteValues(const Command& command, Console& console, const KeyName& name, Failure& failure) {
    Key key;
    if (const LONG status = Open(name, &key); status != ERROR_SUCCESS) {
        return failure.Code(status);
    }
    std::vector<std::u16string> names;
    std::string question;
    if (command.allValues) {
        std::vector<Value> values;
        if (const LONG status = ListValues(key.get(), &values); status != ERROR_SUCCESS) {
            return failure.Code(status);
        }
        for (Value& value : values) {
            names.push_back(std::move(value.name));
        }
        question = "Delete all values under the registry key " + Utf16ToUtf8(name.FullName());
    } else {
        names.push_back(Wide(*command.value));
        failure.SetSubject(Utf16ToUtf8(name.FullName()) + " /v " + DisplayName(names[0]));
        if (const LONG status =
                RegQueryValueExW(key.get(), names[0].c_str(), nullptr, nullptr, nullptr, nullptr);
            status != ERROR_SUCCESS) {
            return failure.Code(status);
        }
        question = "Delete the registry value " + DisplayName(names[0]);
    }
    if (!command.force && !failure.Confirmed(question)) {
        return kExitFailure;
    }
    for (const std::u16string& valueName : names) {
        const LONG status = RegDeleteValueW(key.get(), valueName.c_str());
        if (status != ERROR_SUCCESS && !(command.allValues && status == ERROR_FILE_NOT_FOUND)) {
            return failure.Code(status);
        }
    }
    console.out << kDone << '\n';
    return kExitSuccess;
}

int Delete(const Command& command, Console& console, const KeyName& name, Failure& failure) {
    if (command.value || command.allValues) {
        return DeleteValues(command, console, name, failure);
    }
    if (name.subKey.empty()) {
        return failure.Say("a root key cannot be deleted");
    }
    if (const LONG status = CheckExists(name); status != ERROR_SUCCESS) {
        return failure.Code(status);
    }
    if (!command.force &&
        !failure.Confirmed("Permanently delete the registry key " + Utf16ToUtf8(name.FullName()))) {
        return kExitFailure;
    }
    if (const LONG status = RegDeleteKeyW(name.root, name.subKey.c_str()); status != ERROR_SUCCESS) {
        return failure.Code(status);
    }
    console.out << kDone << '\n';
    return kExitSuccess;
}

int Transferred(LONG status, const char* problem, Console& console, Failure& failure) {
    if (status != ERROR_SUCCESS) {
        // A malformed file is the file's fault: the registry's own words for it would blame the device.
        const std::string text =
            status == ERROR_BADDB ? "the file is refused" : Win32ErrorText(static_cast<DWORD>(status));
        return failure.Say(*problem != '\0' ? std::string(problem) + " (" + text + ")" : text);
    }
    console.out << kDone << '\n';
    return kExitSuccess;
}

int Export(const Command& command, Console& console, const KeyName& name, Failure& failure) {
    if (const LONG status = CheckExists(name); status != ERROR_SUCCESS) {
        return failure.Code(status);
    }
    std::error_code ignored;
    if (!command.force && std::filesystem::exists(command.file, ignored)) {
        failure.SetSubject(command.file);
        if (!failure.Confirmed("File " + command.file + " already exists. Overwrite")) {
            return kExitFailure;
        }
    }
    char problem[kProblemBytes] = "";
    const LONG status =
        CeRegistryExportKey(name.root, name.subKey.c_str(), command.file.c_str(), problem, sizeof(problem));
    return Transferred(status, problem, console, failure);
}

int Import(const Command& command, Console& console, Failure& failure) {
    char problem[kProblemBytes] = "";
    const LONG status = CeRegistryImportFile(command.file.c_str(), problem, sizeof(problem));
    return Transferred(status, problem, console, failure);
}

}  // namespace

int RunCommand(const Command& command, Console& console) {
    Failure failure(command, console);
    if (command.operation == Operation::Help) {
        console.out << UsageText();
        return kExitSuccess;
    }
    if (command.operation == Operation::Import) {
        failure.SetSubject(command.file);
        return Import(command, console, failure);
    }
    KeyName name;
    std::u16string typed;
    failure.SetSubject(command.key);
    if (!Utf8ToUtf16(command.key, &typed)) {
        return failure.Say("the key name is not UTF-8 text");
    }
    if (!ParseKeyName(typed, &name)) {
        return failure.Say("not a key name: every part between backslashes needs a name");
    }
    failure.SetSubject(Utf16ToUtf8(name.FullName()));
    switch (command.operation) {
        case Operation::Query:
            return Query(command, console, failure).Run(name);
        case Operation::Add:
            return Add(command, console, name, failure);
        case Operation::Delete:
            return Delete(command, console, name, failure);
        case Operation::Export:
            return Export(command, console, name, failure);
        default:
            return failure.Say("unknown operation");
    }
}
