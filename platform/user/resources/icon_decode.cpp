// Decoding an icon image (a DIB with its transparency mask) into pixels.
#include <cstring>

#include "user/resources/byte_reader.h"
#include "user/resources/icon_image.h"

namespace ce::ui {
namespace {

constexpr BYTE kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr DWORD kInfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions only add fields after it
constexpr DWORD kCompressionNone = 0;  // BI_RGB
constexpr int kMaxSide = 256;          // pixels: the largest icon image there is
constexpr uint32_t kOpaque = 0xFF000000u;
constexpr size_t kQuadBytes = 4;  // RGBQUAD

struct InfoHeader {
    DWORD size;
    int32_t width, height;
    WORD planes, bitCount;
    DWORD compression, sizeImage;
    int32_t xPelsPerMeter, yPelsPerMeter;
    DWORD colorsUsed, colorsImportant;
};

size_t Stride(int width, int bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

uint32_t Rgb(const BYTE* bgr) {
    return (uint32_t{bgr[2]} << 16) | (uint32_t{bgr[1]} << 8) | bgr[0];
}

// The palette index of pixel x in a row of 1, 4 or 8 bits per pixel.
unsigned PaletteIndex(const BYTE* row, int x, int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
        default:
            return row[x];
    }
}

bool MaskTransparent(const BYTE* maskRow, int x) {
    return ((maskRow[x / 8] >> (7 - x % 8)) & 1) != 0;
}

bool ReadInfoHeader(ByteReader& reader, InfoHeader* header) {
    return reader.Read(&header->size) && reader.Read(&header->width) && reader.Read(&header->height) &&
           reader.Read(&header->planes) && reader.Read(&header->bitCount) &&
           reader.Read(&header->compression) && reader.Read(&header->sizeImage) &&
           reader.Read(&header->xPelsPerMeter) && reader.Read(&header->yPelsPerMeter) &&
           reader.Read(&header->colorsUsed) && reader.Read(&header->colorsImportant);
}

}  // namespace

DWORD DecodeIconImage(const BYTE* data, size_t size, DecodedIcon* icon, std::string* error) {
    if (size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0) {
        *error = "PNG-compressed icon images are not supported; store the image as a bitmap";
        return ERROR_NOT_SUPPORTED;
    }
    ByteReader reader(data, size);
    InfoHeader header;
    if (!ReadInfoHeader(reader, &header) || header.size < kInfoHeaderSize ||
        !reader.Skip(header.size - kInfoHeaderSize)) {
        *error = "the image's bitmap header is truncated";
        return ERROR_INVALID_DATA;
    }
    int bits = header.bitCount;
    if (header.compression != kCompressionNone ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
        *error = "unsupported image encoding: " + std::to_string(bits) + " bits per pixel, compression " +
                 std::to_string(header.compression);
        return ERROR_NOT_SUPPORTED;
    }
    // The height counts the colour bitmap and the mask.
    int width = header.width, height = header.height / 2;
    if (width <= 0 || width > kMaxSide || header.height <= 0 || height <= 0 || height > kMaxSide) {
        *error =
            "impossible image size " + std::to_string(header.width) + " x " + std::to_string(header.height);
        return ERROR_INVALID_DATA;
    }
    size_t paletteSize = 0;
    if (bits <= 8) {
        paletteSize = header.colorsUsed != 0 ? header.colorsUsed : size_t{1} << bits;
        if (paletteSize > (size_t{1} << bits)) {
            *error = "the palette is larger than the colour depth allows";
            return ERROR_INVALID_DATA;
        }
    }
    const BYTE* palette = reader.here();
    size_t colorStride = Stride(width, bits), maskStride = Stride(width, 1);
    if (!reader.Skip(paletteSize * kQuadBytes)) {
        *error = "the palette is truncated";
        return ERROR_INVALID_DATA;
    }
    const BYTE* colors = reader.here();
    if (!reader.Skip(colorStride * height)) {
        *error = "the colour bitmap is truncated";
        return ERROR_INVALID_DATA;
    }
    const BYTE* mask = reader.here();
    if (!reader.Skip(maskStride * height)) {
        *error = "the transparency mask is truncated";
        return ERROR_INVALID_DATA;
    }

    icon->width = width;
    icon->height = height;
    icon->argb.assign(static_cast<size_t>(width) * height, 0);
    bool hasAlpha = false;
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up.
        const BYTE* row = colors + colorStride * (height - 1 - y);
        const BYTE* maskRow = mask + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t pixel;
            if (bits <= 8) {
                unsigned index = PaletteIndex(row, x, bits);
                if (index >= paletteSize) {
                    *error = "a pixel names colour " + std::to_string(index) + " of a palette of " +
                             std::to_string(paletteSize);
                    return ERROR_INVALID_DATA;
                }
                pixel = Rgb(palette + index * kQuadBytes) | kOpaque;
            } else if (bits == 24) {
                pixel = Rgb(row + x * 3) | kOpaque;
            } else {
                const BYTE* bgra = row + x * 4;
                pixel = Rgb(bgra) | (uint32_t{bgra[3]} << 24);
                hasAlpha = hasAlpha || bgra[3] != 0;
            }
            icon->argb[static_cast<size_t>(y) * width + x] = MaskTransparent(maskRow, x) ? 0 : pixel;
        }
    }
    // A 32-bit image without any alpha is an old-style one: opaque wherever the mask says so.
    if (bits == 32 && !hasAlpha) {
        for (int y = 0; y < height; ++y) {
            const BYTE* maskRow = mask + maskStride * (height - 1 - y);
            for (int x = 0; x < width; ++x) {
                uint32_t& pixel = icon->argb[static_cast<size_t>(y) * width + x];
                pixel = MaskTransparent(maskRow, x) ? 0 : pixel | kOpaque;
            }
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace ce::ui
