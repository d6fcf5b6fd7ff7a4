#include "command_line.h"

#include <vector>

#include "store/port_entry.h"

namespace {

constexpr int kPrefixLength = 3;

std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (const char16_t c : text) {
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return narrow;
}

// Words between single blanks; two blanks in a row, or one at either end, make an empty word.
std::vector<std::u16string> Words(const std::u16string& line) {
    std::vector<std::u16string> words;
    size_t start = 0;
    for (;;) {
        const size_t blank = line.find(u' ', start);
        words.push_back(
            line.substr(start, blank == std::u16string::npos ? std::u16string::npos : blank - start));
        if (blank == std::u16string::npos) {
            return words;
        }
        start = blank + 1;
    }
}

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool TakePorts(const std::vector<std::u16string>& words, size_t from, Command* command, std::string* error) {
    for (size_t i = from; i < words.size(); ++i) {
        DWORD number = 0;
        if (!ParsePortName(words[i], &number)) {
            *error = "\"" + Narrow(words[i]) + "\" is no port name: COM0: .. COM9: or KMX0: .. KMX9:";
            return false;
        }
        command->ports[command->portCount++] = number;
    }
    return true;
}

}  // namespace

bool ParsePortName(const std::u16string& name, DWORD* combinedNumber) {
    const bool colon = name.size() == kPrefixLength + 2 && name.back() == u':';
    if (name.size() != kPrefixLength + 1 && !colon) {
        return false;
    }
    std::u16string prefix;
    for (int i = 0; i < kPrefixLength; ++i) {
        prefix.push_back(Upper(name[i]));
    }
    const char16_t digit = name[kPrefixLength];
    if ((prefix != u"COM" && prefix != u"KMX") || digit < u'0' || digit > u'9') {
        return false;
    }
    *combinedNumber = static_cast<DWORD>(digit - u'0') + (prefix == u"KMX" ? kNumbersPerFamily : 0);
    return true;
}

bool ParseCommandLine(LPCWSTR line, Command* command, std::string* error) {
    *command = Command();
    const std::u16string text = line != nullptr ? line : u"";
    if (text.empty()) {
        return true;
    }
    // Exactly "start": the device's own start-up line.
    if (text == u"start") {
        command->kind = CommandKind::Start;
        return true;
    }
    const std::vector<std::u16string> words = Words(text);
    const std::u16string& verb = words[0];
    if (verb == u"--help" || verb == u"-h" || verb == u"list" || verb == u"start") {
        command->kind = verb == u"list" ? CommandKind::List : CommandKind::Help;
        if (words.size() > 1 || verb == u"start") {
            *error = Narrow(verb) + " takes no arguments";
            return false;
        }
        return true;
    }
    if (verb == u"add") {
        command->kind = CommandKind::Add;
        if (words.size() != 1 && words.size() != 3) {
            *error = "add takes two port names or none";
            return false;
        }
        if (!TakePorts(words, 1, command, error)) {
            return false;
        }
        if (command->portCount == 2 && command->ports[0] == command->ports[1]) {
            *error = "the two ports of a pair must be different";
            return false;
        }
        return true;
    }
    if (verb == u"delete") {
        command->kind = CommandKind::Delete;
        std::vector<std::u16string> names;
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i] == u"--force") {
                command->force = true;
            } else {
                names.push_back(words[i]);
            }
        }
        if (names.size() != 1) {
            *error = "delete takes one port name";
            return false;
        }
        return TakePorts(names, 0, command, error);
    }
    *error = verb.empty() ? "an empty argument" : "unknown command \"" + Narrow(verb) + "\"";
    return false;
}

const char* UsageText() {
    return "usage: tulkcfg [list | add [PORT PORT] | delete PORT [--force] | start | --help]\n"
           "  (nothing)              the manager's window: a tree of the ports, buttons to add and delete\n"
           "                         pairs and to disable physical ports; it needs a terminal\n"
           "  list                   one line per port: name, physical or virtual, partner, state (active,\n"
           "                         stopped: kept but not running, or disabled), open or closed\n"
           "  add [PORT PORT]        a new pair, under two free names (the two the manager's add dialog\n"
           "                         offers when none are given); prints the two names\n"
           "  delete PORT [--force]  the pair PORT belongs to; refused while one of its ports is open,\n"
           "                         unless --force\n"
           "  start                  starts the pairs kept in the registry, as after the device starts, and\n"
           "                         says what it started\n"
           "PORT is COM0: .. COM9: or KMX0: .. KMX9:. Exit status: 0 done, 1 refused (a line on standard\n"
           "error says why), 2 bad usage.\n";
}
