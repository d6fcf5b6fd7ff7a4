// Runs a built program as a person or a script would: arguments, environment, standard input, and what it
// printed and answered.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tooltest {

struct RunResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Starts program with args, the test's environment plus env (which wins), input on standard input (a
// file, so not a terminal), and waits for it.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const Environment& env,
                     const std::string& input = std::string());

// A directory of its own for one test, removed with everything in it at the end.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& contents);

}  // namespace tooltest
