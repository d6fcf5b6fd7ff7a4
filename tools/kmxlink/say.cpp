#include "say.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& Lines() {
    static std::mutex* lines = new std::mutex;  // kept to the end: a thread may still speak at exit
    return *lines;
}

void Print(std::FILE* stream, const std::string& text) {
    const std::string line = "kmxlink: " + text + "\n";
    std::lock_guard<std::mutex> guard(Lines());
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

void Say(const std::string& text) {
    Print(stdout, text);
}

void SayError(const std::string& text) {
    Print(stderr, text);
}
