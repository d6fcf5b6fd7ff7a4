#include "command_line.h"

#include <algorithm>
#include <cctype>

#include "utf.h"
#include "value_text.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "/v" and "-V" are switches; "/tmp/out.reg" is a file. Anything of letters alone after the mark is taken
// for a switch, so a mistyped one is refused rather than read as a key.
bool IsSwitch(const std::string& arg) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
        return false;
    }
    return std::all_of(arg.begin() + 1, arg.end(), [](unsigned char c) { return std::isalpha(c) != 0; });
}

bool IsHelp(const std::string& arg) {
    const std::string lower = Lower(arg);
    return lower == "/?" || lower == "-?" || lower == "-h" || lower == "--help" || lower == "/h";
}

class Parser {
  public:
    Parser(const std::vector<std::string>& args, Command* command, std::string* error)
        : args_(args), command_(command), error_(error) {}

    bool Run() {
        if (args_.empty()) {
            return Fail("no operation given");
        }
        if (std::any_of(args_.begin(), args_.end(), IsHelp)) {
            command_->operation = Operation::Help;
            return true;
        }
        const std::string operation = Lower(args_[0]);
        if (operation == "query") {
            command_->operation = Operation::Query;
        } else if (operation == "add") {
            command_->operation = Operation::Add;
        } else if (operation == "delete") {
            command_->operation = Operation::Delete;
        } else if (operation == "export") {
            command_->operation = Operation::Export;
        } else if (operation == "import") {
            command_->operation = Operation::Import;
        } else {
            return Fail("unknown operation '" + args_[0] + "'");
        }
        std::vector<std::string> positional;
        for (index_ = 1; index_ < args_.size(); ++index_) {
            const std::string& arg = args_[index_];
            if (!IsSwitch(arg)) {
                positional.push_back(arg);
            } else if (!TakeSwitch(Lower(arg.substr(1)))) {
                return false;
            }
        }
        return TakePositional(positional) && CheckCombination();
    }

  private:
    bool Fail(std::string message) {
        *error_ = std::move(message);
        return false;
    }

    bool Allowed(std::initializer_list<Operation> operations, const std::string& name) {
        if (std::find(operations.begin(), operations.end(), command_->operation) == operations.end()) {
            return Fail("/" + name + " does not go with " + Lower(args_[0]));
        }
        if (std::find(seen_.begin(), seen_.end(), name) != seen_.end()) {
            return Fail("/" + name + " given twice");
        }
        seen_.push_back(name);
        return true;
    }

    bool Argument(const std::string& name, std::string* out) {
        if (index_ + 1 >= args_.size()) {
            return Fail("/" + name + " needs an argument");
        }
        *out = args_[++index_];
        return true;
    }

    bool TakeSwitch(const std::string& name) {
        using enum Operation;
        if (name == "v") {
            std::string value;
            if (!Allowed({Query, Add, Delete}, name) || !Argument(name, &value)) {
                return false;
            }
            command_->value = value;
            return true;
        }
        if (name == "ve") {
            command_->value = std::string();
            return Allowed({Query, Add, Delete}, name);
        }
        if (name == "va") {
            command_->allValues = true;
            return Allowed({Delete}, name);
        }
        if (name == "s") {
            if (command_->operation == Add) {
                return Allowed({Add}, name) && Argument(name, &command_->separator);
            }
            command_->recurse = true;
            return Allowed({Query}, name);
        }
        if (name == "t") {
            std::string type;
            if (!Allowed({Add}, name) || !Argument(name, &type)) {
                return false;
            }
            std::u16string wide;
            Utf8ToUtf16(type, &wide);
            command_->type = TypeByName(wide);
            if (!command_->type) {
                return Fail("unknown type '" + type +
                            "': give REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY");
            }
            return true;
        }
        if (name == "d") {
            std::string data;
            if (!Allowed({Add}, name) || !Argument(name, &data)) {
                return false;
            }
            command_->data = data;
            return true;
        }
        if (name == "f") {
            command_->force = true;
            return Allowed({Add, Delete}, name);
        }
        if (name == "y") {
            command_->force = true;
            return Allowed({Export}, name);
        }
        return Fail("unknown switch '" + args_[index_] + "'");
    }

    bool TakePositional(const std::vector<std::string>& positional) {
        const size_t wanted = command_->operation == Operation::Export ? 2 : 1;
        if (positional.size() != wanted) {
            return Fail(Lower(args_[0]) + " takes " +
                        (command_->operation == Operation::Export   ? "a key and a file"
                         : command_->operation == Operation::Import ? "one file"
                                                                    : "one key") +
                        ", given " + std::to_string(positional.size()) + " argument(s)");
        }
        if (command_->operation == Operation::Import) {
            command_->file = positional[0];
            return true;
        }
        command_->key = positional[0];
        if (command_->operation == Operation::Export) {
            command_->file = positional[1];
        }
        return true;
    }

    bool CheckCombination() {
        const bool hasV = std::find(seen_.begin(), seen_.end(), "v") != seen_.end();
        const bool hasVe = std::find(seen_.begin(), seen_.end(), "ve") != seen_.end();
        if (static_cast<int>(hasV) + static_cast<int>(hasVe) + static_cast<int>(command_->allValues) > 1) {
            return Fail("give only one of /v, /ve and /va");
        }
        if (command_->operation == Operation::Add && !command_->value && (command_->type || command_->data)) {
            return Fail("/t and /d need a value: give /v name or /ve");
        }
        return true;
    }

    const std::vector<std::string>& args_;
    Command* command_;
    std::string* error_;
    size_t index_ = 0;
    std::vector<std::string> seen_;
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error) {
    *command = Command();
    return Parser(args, command, error).Run();
}

const char* UsageText() {
    return R"(cereg: the device's registry from the command line, in the manner of its reg command.

  cereg query  KEY [/v NAME | /ve] [/s]
  cereg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]
  cereg delete KEY [/v NAME | /ve | /va] [/f]
  cereg export KEY FILE.reg [/y]
  cereg import FILE.reg

KEY      HKEY_LOCAL_MACHINE\Drivers\BuiltIn, HKLM\Drivers\BuiltIn, or Drivers\BuiltIn (the root is then
         HKEY_LOCAL_MACHINE). HKCU, HKCR and HKU name the other roots.
/v NAME  the value NAME; /ve the key's default (unnamed) value; /va every value of the key.
/s       query: the key and every key below it. add: the separator between the strings of a
         REG_MULTI_SZ (default \0, the two characters).
/t TYPE  REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY.
/d DATA  the data: text; a number (decimal or 0x hex) for REG_DWORD; hex digits (0A1B...) for
         REG_BINARY; strings joined by the separator for REG_MULTI_SZ.
/f       add and delete without asking; /y export over an existing file without asking.

Without /f or /y, replacing or deleting asks for a yes or no on standard input; when standard input is
not a terminal the command refuses instead. Values print as "    NAME    TYPE    DATA".
import reads the files regedit writes: "Windows Registry Editor Version 5.00" (UTF-16 or UTF-8) and
"REGEDIT4" (text in the ANSI code page, Windows-1252).
Exit status: 0 on success, 1 on failure, with one line on standard error naming the key and the reason;
2 on a command line that makes no sense.

The device: CE_DEVICE names the device directory whose registry cereg works on ("none": the
registry of cereg's own process, kept in the file CE_REGISTRY names).
)";
}
