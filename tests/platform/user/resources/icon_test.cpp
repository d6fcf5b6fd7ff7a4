// Icons: the choice of image in a group, the decoding of every colour depth, the icons of resources_test.rc
// with their pixels and terminal pictures, shared handles and the errors of LoadIconW.
#include <dlfcn.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <ceplatform_ui.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "res_image_builder.h"
#include "resources_test_ids.h"
#include "user/resources/icon_image.h"

namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;
constexpr uint32_t kOpaque = 0xFF000000u;

// ---- choosing the image of a group -----------------------------------------------------------------------

struct GroupImage {
    BYTE width, height, colorCount;
    WORD bitCount;
};

std::vector<BYTE> Group(const std::vector<GroupImage>& images) {
    std::vector<BYTE> out;
    PutWord(out, 0);
    PutWord(out, 1);
    PutWord(out, static_cast<WORD>(images.size()));
    WORD id = 1;
    for (const GroupImage& image : images) {
        out.push_back(image.width);
        out.push_back(image.height);
        out.push_back(image.colorCount);
        out.push_back(0);
        PutWord(out, 1);
        PutWord(out, image.bitCount);
        PutDword(out, 100);
        PutWord(out, id++);
    }
    return out;
}

struct ChoiceCase {
    const char* what;
    std::vector<GroupImage> images;
    WORD chosen;  // 1-based position in images
};

class IconChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(IconChoice, NearestToSixteenThenDeepest) {
    std::vector<BYTE> group = Group(GetParam().images);
    WORD id = 0;
    std::string error;
    ASSERT_TRUE(ce::ui::ChooseIconImage(group.data(), group.size(), &id, &error)) << error;
    EXPECT_EQ(id, GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, IconChoice,
    testing::Values(ChoiceCase{"only", {{32, 32, 16, 4}}, 1},
                    ChoiceCase{"size_before_depth", {{32, 32, 0, 32}, {16, 16, 16, 4}}, 2},
                    ChoiceCase{"depth_at_equal_size", {{16, 16, 16, 4}, {16, 16, 0, 32}, {16, 16, 0, 8}}, 2},
                    ChoiceCase{
                        "nearest_below_or_above", {{48, 48, 0, 32}, {24, 24, 0, 8}, {12, 12, 2, 1}}, 3},
                    ChoiceCase{"depth_at_equal_distance", {{24, 24, 0, 8}, {8, 8, 2, 1}}, 1},
                    ChoiceCase{"zero_side_is_256", {{0, 0, 0, 32}, {32, 32, 0, 32}}, 2},
                    ChoiceCase{"colour_count_without_bit_count", {{16, 16, 2, 0}, {16, 16, 16, 0}}, 2},
                    ChoiceCase{"first_of_equals", {{16, 16, 0, 8}, {16, 16, 0, 8}}, 1}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.what); });

TEST(IconChoice, MalformedGroupsAreRefused) {
    std::vector<BYTE> good = Group({{16, 16, 16, 4}, {32, 32, 0, 32}});
    std::vector<BYTE> cursors = good;
    cursors[2] = 2;
    std::vector<BYTE> empty = Group({});
    std::vector<std::vector<BYTE>> bad{cursors, empty};
    for (size_t length = 0; length < good.size(); ++length) {
        bad.emplace_back(good.begin(), good.begin() + static_cast<long>(length));
    }
    for (std::vector<BYTE>& group : bad) {
        group.shrink_to_fit();
        WORD id = 0;
        std::string error;
        EXPECT_FALSE(ce::ui::ChooseIconImage(group.data(), group.size(), &id, &error)) << group.size();
        EXPECT_FALSE(error.empty());
    }
}

// ---- decoding images -------------------------------------------------------------------------------------

constexpr int kWidth = 9;  // not a multiple of 8, 4 or 2: every row is padded
constexpr int kHeight = 3;

// The test pattern: palette index or colour of pixel (x, y), top row first; transparent where x == y.
uint32_t PatternRgb(int x, int y) {
    return (static_cast<uint32_t>(x * 20) << 16) | static_cast<uint32_t>(y * 40) << 8 | 0x11;
}

bool PatternTransparent(int x, int y) {
    return x == y;
}

// The palette of an image of 1, 4 or 8 bits per pixel; deeper images have none.
std::vector<uint32_t> PaletteFor(int bits) {
    std::vector<uint32_t> palette;
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i) {
        palette.push_back(static_cast<uint32_t>(i) * 0x010203u & 0xFFFFFFu);
    }
    return palette;
}

// Palette indexes of the pattern; images without a palette take their colours from PatternRgb.
unsigned IndexPattern(int x, int y, int bits) {
    return bits <= 8 ? static_cast<unsigned>(x * 3 + y * 5) % (1u << bits) : 0;
}

struct DibOptions {
    int bits = 4;
    int height = kHeight;  // pixels; the header says twice that
    DWORD compression = 0;
    DWORD colorsUsed = 0;
    bool alpha = true;  // 32-bit images: alpha from the pattern, else all zero
};

std::vector<BYTE> Dib(const DibOptions& options) {
    std::vector<BYTE> out;
    PutDword(out, 40);
    PutDword(out, kWidth);
    PutDword(out, static_cast<DWORD>(options.height * 2));
    PutWord(out, 1);
    PutWord(out, static_cast<WORD>(options.bits));
    PutDword(out, options.compression);
    for (int i = 0; i < 3; ++i) {
        PutDword(out, 0);
    }
    PutDword(out, options.colorsUsed);
    PutDword(out, 0);
    if (options.bits <= 8) {
        std::vector<uint32_t> palette = PaletteFor(options.bits);
        size_t count = options.colorsUsed ? options.colorsUsed : palette.size();
        for (size_t i = 0; i < count; ++i) {
            PutDword(out, palette[i % palette.size()]);
        }
    }
    size_t stride = ((kWidth * options.bits + 31) / 32) * 4, maskStride = 4;
    for (int y = options.height - 1; y >= 0; --y) {
        std::vector<BYTE> row(stride, 0);
        for (int x = 0; x < kWidth; ++x) {
            uint32_t rgb = PatternRgb(x, y);
            unsigned value = IndexPattern(x, y, options.bits);
            switch (options.bits) {
                case 1:
                    row[x / 8] |= static_cast<BYTE>(value << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= static_cast<BYTE>(x % 2 == 0 ? value << 4 : value);
                    break;
                case 8:
                    row[x] = static_cast<BYTE>(value);
                    break;
                default:
                    for (int byte = 0; byte < 3; ++byte) {
                        row[x * (options.bits / 8) + byte] = static_cast<BYTE>(rgb >> (8 * byte));
                    }
                    if (options.bits == 32) {
                        row[x * 4 + 3] = options.alpha ? static_cast<BYTE>(0x80 + x) : 0;
                    }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = options.height - 1; y >= 0; --y) {
        std::vector<BYTE> mask(maskStride, 0);
        for (int x = 0; x < kWidth; ++x) {
            mask[x / 8] |= static_cast<BYTE>(PatternTransparent(x, y) ? 0x80 >> (x % 8) : 0);
        }
        out.insert(out.end(), mask.begin(), mask.end());
    }
    return out;
}

class IconDecoding : public testing::TestWithParam<DibOptions> {};

TEST_P(IconDecoding, EveryDepthGivesThePatternBackAndEveryTruncationIsRefused) {
    const DibOptions& options = GetParam();
    std::vector<BYTE> dib = Dib(options);
    ce::ui::DecodedIcon icon;
    std::string error;
    ASSERT_EQ(ce::ui::DecodeIconImage(dib.data(), dib.size(), &icon, &error),
              static_cast<DWORD>(ERROR_SUCCESS))
        << error;
    ASSERT_EQ(icon.width, kWidth);
    ASSERT_EQ(icon.height, kHeight);
    const int bits = options.bits;
    std::vector<uint32_t> palette = PaletteFor(bits);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t want = 0;
            if (!PatternTransparent(x, y)) {
                want = bits <= 8 ? palette[IndexPattern(x, y, bits)] | kOpaque
                       : bits == 24 || !options.alpha
                           ? PatternRgb(x, y) | kOpaque
                           : PatternRgb(x, y) | static_cast<uint32_t>(0x80 + x) << 24;
            }
            EXPECT_EQ(icon.argb[y * kWidth + x], want) << "pixel " << x << "," << y;
        }
    }
    for (size_t length = 0; length < dib.size(); ++length) {
        std::vector<BYTE> prefix(dib.begin(), dib.begin() + static_cast<long>(length));
        EXPECT_EQ(ce::ui::DecodeIconImage(prefix.data(), prefix.size(), &icon, &error),
                  static_cast<DWORD>(ERROR_INVALID_DATA))
            << length << " bytes";
    }
}

// Without alpha, a 32-bit image takes its transparency from the mask.
INSTANTIATE_TEST_SUITE_P(Depths, IconDecoding,
                         testing::Values(DibOptions{1}, DibOptions{4}, DibOptions{8}, DibOptions{24},
                                         DibOptions{32}, DibOptions{32, kHeight, 0, 0, false}));

struct BadImage {
    const char* what;
    std::vector<BYTE> bytes;
    DWORD error;
};

std::vector<BadImage> BadImages() {
    std::vector<BadImage> cases;
    std::vector<BYTE> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    cases.push_back({"png", png, ERROR_NOT_SUPPORTED});
    DibOptions bitfields;
    bitfields.bits = 32;
    bitfields.compression = 3;
    cases.push_back({"bitfields", Dib(bitfields), ERROR_NOT_SUPPORTED});
    DibOptions sixteen;
    sixteen.bits = 16;
    cases.push_back({"sixteen_bits", Dib(sixteen), ERROR_NOT_SUPPORTED});
    DibOptions shortPalette;
    shortPalette.colorsUsed = 4;  // the pattern uses all sixteen
    cases.push_back({"index_beyond_palette", Dib(shortPalette), ERROR_INVALID_DATA});
    DibOptions hugePalette;
    hugePalette.colorsUsed = 17;
    cases.push_back({"palette_beyond_depth", Dib(hugePalette), ERROR_INVALID_DATA});
    DibOptions flat;
    flat.height = 0;
    cases.push_back({"no_rows", Dib(flat), ERROR_INVALID_DATA});
    std::vector<BYTE> topDown = Dib(DibOptions{});
    topDown[11] = 0xFF;  // negative height
    cases.push_back({"top_down", topDown, ERROR_INVALID_DATA});
    return cases;
}

TEST(IconDecoding, UnsupportedAndInconsistentImagesAreRefused) {
    for (BadImage& bad : BadImages()) {
        SCOPED_TRACE(bad.what);
        bad.bytes.shrink_to_fit();
        ce::ui::DecodedIcon icon;
        std::string error;
        EXPECT_EQ(ce::ui::DecodeIconImage(bad.bytes.data(), bad.bytes.size(), &icon, &error), bad.error);
        EXPECT_FALSE(error.empty());
    }
}

// ---- icons of the program's resources --------------------------------------------------------------------

CE_UI_ICON_INFO Info(HICON icon) {
    CE_UI_ICON_INFO info{};
    EXPECT_TRUE(CeUiGetIconInfo(icon, &info));
    return info;
}

std::vector<DWORD> Pixels(HICON icon) {
    CE_UI_ICON_INFO info = Info(icon);
    std::vector<DWORD> pixels(static_cast<size_t>(info.width) * info.height);
    EXPECT_EQ(CeUiGetIconPixels(icon, pixels.data(), static_cast<DWORD>(pixels.size())), pixels.size());
    return pixels;
}

HICON ProgramIcon(WORD id) {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

// The test icons' palette (make_icons.py): index (x + 2y) mod 16.
constexpr uint32_t kVgaPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                      0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

uint32_t FourBitPixel(int x, int y) {
    return (x < 2 && y < 2) ? 0 : kVgaPalette[(x + 2 * y) % 16] | kOpaque;
}

uint32_t ThirtyTwoBitPixel(int x, int y) {
    return (x == y ? 0x40000000u : kOpaque) | 0x800000u | static_cast<uint32_t>(8 * y) << 8 |
           static_cast<uint32_t>(8 * x);
}

struct ProgramIconCase {
    WORD id;
    int side;
    bool fourBits;
    const char16_t* glyphs;  // of the terminal picture; empty: the placeholder
    BYTE foreground, background;
    bool complaint;  // a message on stderr
};

class ProgramIcons : public testing::TestWithParam<ProgramIconCase> {};

// The chosen image is decoded top row first; the terminal picture comes from the resource beside the group.
TEST_P(ProgramIcons, DecodeTheChosenImageAndTakeTheirPictureBesideTheGroup) {
    const ProgramIconCase& c = GetParam();
    testing::internal::CaptureStderr();
    HICON icon = ProgramIcon(c.id);
    std::string complaint = testing::internal::GetCapturedStderr();
    ASSERT_NE(icon, nullptr) << "a bad picture must not lose the icon";
    CE_UI_ICON_INFO info = Info(icon);
    EXPECT_EQ(std::tie(info.width, info.height, info.resourceId), std::make_tuple(c.side, c.side, c.id));
    std::vector<DWORD> pixels = Pixels(icon);
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {2, 0}, {5, 3}, {0, 9}, {15, 15}}) {
        uint32_t want = c.fourBits ? FourBitPixel(x, y) : ThirtyTwoBitPixel(x, y);
        EXPECT_EQ(pixels[y * c.side + x], want) << "pixel " << x << "," << y;
    }
    EXPECT_EQ(std::u16string(info.glyphs), c.glyphs);
    EXPECT_EQ(info.foreground, c.foreground);
    EXPECT_EQ(info.background, c.background);
    EXPECT_EQ(!complaint.empty(), c.complaint) << complaint;
    if (c.complaint) {
        EXPECT_NE(complaint.find("#" + std::to_string(c.id)), std::string::npos) << complaint;
    }
}

constexpr BYTE kDefault = CE_UI_COLOR_DEFAULT;

INSTANTIATE_TEST_SUITE_P(
    Icons, ProgramIcons,
    testing::Values(
        ProgramIconCase{IDI_TWO_SIZES, 16, true, u"?", CE_UI_COLOR_WHITE, CE_UI_COLOR_BLUE, false},
        ProgramIconCase{IDI_DEPTHS, 16, false, u"\u2194\u2195", CE_UI_COLOR_YELLOW, kDefault, false},
        ProgramIconCase{IDI_LARGE_ONLY, 32, true, u"", kDefault, kDefault, false},
        ProgramIconCase{IDI_THREE_GLYPHS, 16, false, u"", kDefault, kDefault, true},
        ProgramIconCase{IDI_BAD_COLOUR, 16, false, u"", kDefault, kDefault, true},
        ProgramIconCase{IDI_SEMICOLON, 16, false, u";", CE_UI_COLOR_BLACK, CE_UI_COLOR_WHITE, false},
        ProgramIconCase{IDI_WIDE_GLYPH, 16, false, u"\U0001D11E", CE_UI_COLOR_MAGENTA, CE_UI_COLOR_CYAN,
                        false}));

TEST(IconLoading, IconsAreSharedAndOutliveDestroyIcon) {
    HICON icon = ProgramIcon(IDI_TWO_SIZES);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(ProgramIcon(IDI_TWO_SIZES), icon);
    EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), u"#131"), icon);
    EXPECT_NE(ProgramIcon(IDI_DEPTHS), icon);
    SetLastError(kUntouched);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(GetLastError(), kUntouched);
    CE_UI_ICON_INFO info{};
    EXPECT_TRUE(CeUiGetIconInfo(icon, &info)) << "a shared icon was destroyed";
    EXPECT_EQ(ProgramIcon(IDI_TWO_SIZES), icon);
}

TEST(IconLoading, ThreadsLoadingAtOnceShareOneHandlePerIcon) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    const std::vector<WORD> ids{IDI_TWO_SIZES, IDI_DEPTHS, IDI_LARGE_ONLY};
    std::vector<std::vector<HICON>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                seen[t].push_back(ProgramIcon(ids[(t + round) % ids.size()]));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round) {
            EXPECT_EQ(seen[t][round], ProgramIcon(ids[(t + round) % ids.size()]));
        }
    }
}

struct LoadFailure {
    const char* what;
    std::function<HMODULE()> module;
    LPCWSTR name;
    DWORD error;
};

TEST(IconLoading, FailuresSayWhy) {
    auto program = [] { return GetModuleHandleW(nullptr); };
    auto platform = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<const void*>(&LoadIconW), &info);
        return static_cast<HMODULE>(info.dli_fbase);
    };
    std::vector<LoadFailure> failures{
        {"missing_id", program, MAKEINTRESOURCEW(999), ERROR_RESOURCE_NAME_NOT_FOUND},
        {"missing_name", program, u"NOSUCHICON", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"not_a_system_icon", [] { return HMODULE{}; }, MAKEINTRESOURCEW(IDI_TWO_SIZES),
         ERROR_RESOURCE_NAME_NOT_FOUND},
        {"no_resources", platform, MAKEINTRESOURCEW(IDI_TWO_SIZES), ERROR_RESOURCE_DATA_NOT_FOUND},
        {"garbage_module", [] { return reinterpret_cast<HMODULE>(0x4321); }, MAKEINTRESOURCEW(IDI_TWO_SIZES),
         ERROR_INVALID_HANDLE},
    };
    for (const LoadFailure& failure : failures) {
        SCOPED_TRACE(failure.what);
        SetLastError(kUntouched);
        EXPECT_EQ(LoadIconW(failure.module(), failure.name), nullptr);
        EXPECT_EQ(GetLastError(), failure.error);
    }
}

TEST(IconInfo, BadHandlesAndShortBuffers) {
    HICON icon = ProgramIcon(IDI_TWO_SIZES);
    ASSERT_NE(icon, nullptr);
    auto garbage = reinterpret_cast<HICON>(0x7777);
    CE_UI_ICON_INFO info{};
    SetLastError(kUntouched);
    EXPECT_FALSE(CeUiGetIconInfo(garbage, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    SetLastError(kUntouched);
    EXPECT_FALSE(DestroyIcon(garbage));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    SetLastError(kUntouched);
    EXPECT_FALSE(CeUiGetIconInfo(icon, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CeUiGetIconPixels(garbage, nullptr, 0), static_cast<DWORD>(-1));

    // A short buffer gets the first pixels only; the answer is still the whole count.
    std::vector<DWORD> pixels(8, kUntouched);
    EXPECT_EQ(CeUiGetIconPixels(icon, pixels.data(), 4), 256u);
    EXPECT_EQ(pixels[2], FourBitPixel(2, 0));
    EXPECT_EQ(pixels[4], kUntouched);
    EXPECT_EQ(CeUiGetIconPixels(icon, nullptr, 0), 256u);
}

}  // namespace
