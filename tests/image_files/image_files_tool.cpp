// Command-line access to the image-file codec for check_image_files.py:
//   image_files_tool decode FILE RAW       RGBA16 little-endian pixels to RAW, metadata as JSON
//   image_files_tool convert FILE OUT [8]  decode, then encode by OUT's extension (8: 8-bit)
// A failure prints its one-line reason to stderr and exits 1.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "image_files/image_files.h"
#include "tests/image_files/decoded_image.h"

namespace {

using namespace image_files;

using Decoded = DecodedImage;

std::vector<std::uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

bool Decode(const char* path, Decoded& decoded) {
    decoded = DecodeToMemory(ReadFile(path));
    if (decoded.error.empty()) return true;
    std::cerr << decoded.error << '\n';
    return false;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* UnitName(ResolutionUnit unit) {
    switch (unit) {
        case ResolutionUnit::Inch:
            return "inch";
        case ResolutionUnit::Centimetre:
            return "centimetre";
        case ResolutionUnit::Metre:
            return "metre";
        case ResolutionUnit::None:
            break;
    }
    return "none";
}

void PrintMetadata(const Decoded& decoded) {
    const ImageMetadata& m = decoded.metadata;
    std::cout << "{\"width\": " << decoded.width << ", \"height\": " << decoded.height
              << ", \"pages\": " << m.pageCount
              << ", \"associated\": " << (m.associatedAlpha ? "true" : "false")
              << ", \"icc_size\": " << (m.icc ? m.icc->data.size() : 0);
    if (m.pngGamma) std::cout << ", \"gamma\": " << *m.pngGamma;
    if (m.pngSrgbIntent) std::cout << ", \"srgb\": " << int{*m.pngSrgbIntent};
    if (m.resolution) {
        std::cout << ", \"resolution\": [" << m.resolution->x << ", " << m.resolution->y << ", \""
                  << UnitName(m.resolution->unit) << "\"]";
    }
    std::cout << ", \"text\": [";
    for (std::size_t i = 0; i < m.text.size(); ++i) {
        std::cout << (i ? ", " : "") << "[" << Json(m.text[i].keyword) << ", "
                  << Json(m.text[i].value) << "]";
    }
    std::cout << "]}\n";
}

bool Convert(const Decoded& decoded, const std::string& out, bool eightBit) {
    EncodeOptions options;
    if (eightBit) options.bitsPerChannel = 8;
    const PixelView view{decoded.pixels.data(), decoded.width, decoded.height, 0};
    std::vector<std::uint8_t> file;
    const bool png = out.size() > 4 && out.substr(out.size() - 4) == ".png";
    const Failure failure = png ? EncodePng(view, decoded.metadata, options, file)
                                : EncodeTiff(view, decoded.metadata, options, file);
    if (failure) std::cerr << failure.reason << '\n';
    return !failure && WriteFile(out, file.data(), file.size());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    Decoded decoded;
    if (command == "decode" && argc == 4) {
        if (!Decode(argv[2], decoded)) return 1;
        PrintMetadata(decoded);
        return WriteFile(argv[3], decoded.pixels.data(), decoded.pixels.size() * 2) ? 0 : 1;
    }
    if (command == "convert" && (argc == 4 || argc == 5)) {
        const bool eightBit = argc == 5 && std::string(argv[4]) == "8";
        return Decode(argv[2], decoded) && Convert(decoded, argv[3], eightBit) ? 0 : 1;
    }
    std::cerr << "usage: image_files_tool decode FILE RAW | convert FILE OUT [8]\n";
    return 2;
}
