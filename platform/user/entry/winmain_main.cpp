// main() of programs written for the device: calls the program's WinMain as the device's loader does.
// Linked into the program from the static library CePlatform::winmain.
#include <string>
#include <string_view>

#include <windows.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kLargest = 0x10FFFF;

// The command line reaches the program as UTF-16; bytes that are not UTF-8 become U+FFFD.
std::u16string Widen(std::string_view bytes) {
    std::u16string wide;
    size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        int trailing = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t value = trailing == 0 ? lead : lead & (0x3F >> trailing);
        bool good = (lead < 0x80 || trailing > 0) && lead < 0xF8 && i + trailing < bytes.size() + 0;
        for (int k = 1; good && k <= trailing; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            good = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (!good || value < kSmallest[trailing] || value > kLargest || (value >= 0xD800 && value < 0xE000)) {
            wide.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        i += trailing + 1;
        if (value < 0x10000) {
            wide.push_back(static_cast<char16_t>(value));
        } else {
            value -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 | (value >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 | (value & 0x3FF)));
        }
    }
    return wide;
}

}  // namespace

int main(int argc, char** argv) {
    // The device hands a program its arguments as one line, without the program's own name.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line.push_back(' ');
        }
        line.append(argv[i]);
    }
    std::u16string commandLine = Widen(line);
    return WinMain(GetModuleHandleW(nullptr), nullptr, commandLine.data(), SW_SHOWNORMAL);
}
