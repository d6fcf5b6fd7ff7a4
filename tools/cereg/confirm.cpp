#include "confirm.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    std::string text = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

Answer Confirm(const std::string& question, bool interactive, std::istream& in, std::ostream& out) {
    if (!interactive) {
        return Answer::Refused;
    }
    std::string line;
    while (true) {
        out << question << " (Yes/No)? " << std::flush;
        if (!std::getline(in, line)) {
            out << '\n';
            return Answer::No;
        }
        const std::string answer = Trimmed(line);
        if (answer == "y" || answer == "yes") {
            return Answer::Yes;
        }
        if (answer == "n" || answer == "no") {
            return Answer::No;
        }
    }
}
