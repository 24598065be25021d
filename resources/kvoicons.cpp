// Draws KvoCheck's icons as 16-colour .ico files; built and run on the build
// machine (tool/CMakeLists.txt), the resource script takes the files from
// the build tree.
//
//   kvoicons DIR   writes DIR/kvocheck.ico (32 x 32 and 16 x 16: a blue disc
//                  with a white check mark), DIR/kvo_red.ico (16 x 16: a red
//                  disc with a black exclamation mark), DIR/kvo_yellow.ico
//                  and DIR/kvo_green.ico (yellow and green discs with a
//                  black letter i)
//
// Every image is 4 bits per pixel over the standard 16-colour palette, with
// an AND mask that makes everything outside the drawing transparent.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

enum Colour : uint8_t {
    kBlack = 0, kMaroon = 1, kDarkGreen = 2, kOlive = 3, kNavy = 4, kPurple = 5, kTeal = 6, kSilver = 7,
    kGrey = 8, kRed = 9, kLime = 10, kYellow = 11, kBlue = 12, kFuchsia = 13, kAqua = 14, kWhite = 15,
    kClear = 16,  // transparent
};

const uint8_t kPalette[16][3] = {
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0}, {0, 0, 128}, {128, 0, 128}, {0, 128, 128},
    {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255}, {255, 0, 255},
    {0, 255, 255}, {255, 255, 255},
};

struct Image {
    int size;
    std::vector<uint8_t> pixels;  // size * size, top row first

    explicit Image(int n) : size(n), pixels(static_cast<size_t>(n * n), kClear) {}
    uint8_t& At(int x, int y) { return pixels[static_cast<size_t>(y * size + x)]; }
};

// Paints every pixel whose centre, in units of the image size (0..1), the
// shape contains.
void Fill(Image& image, uint8_t colour, const std::function<bool(double, double)>& inside)
{
    for (int y = 0; y < image.size; ++y)
        for (int x = 0; x < image.size; ++x)
            if (inside((x + 0.5) / image.size, (y + 0.5) / image.size))
                image.At(x, y) = colour;
}

std::function<bool(double, double)> Disc(double cx, double cy, double r)
{
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

std::function<bool(double, double)> Box(double x0, double y0, double x1, double y1)
{
    return [=](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
}

// A stroke of width w along the segment (x0, y0)-(x1, y1).
std::function<bool(double, double)> Stroke(double x0, double y0, double x1, double y1, double w)
{
    return [=](double x, double y) {
        const double dx = x1 - x0, dy = y1 - y0;
        double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        const double ex = x0 + t * dx - x, ey = y0 + t * dy - y;
        return ex * ex + ey * ey <= w * w / 4;
    };
}

// A state disc: a rim of a darker shade, the glyph in black.
Image StateIcon(uint8_t face, uint8_t rim, bool exclamation)
{
    Image image(16);
    Fill(image, rim, Disc(0.5, 0.5, 0.5));
    Fill(image, face, Disc(0.5, 0.5, 0.43));
    const double left = 7.0 / 16, right = 9.0 / 16;  // two pixels wide
    if (exclamation) {
        Fill(image, kBlack, Box(left, 3.0 / 16, right, 10.0 / 16));
        Fill(image, kBlack, Box(left, 11.0 / 16, right, 13.0 / 16));
    } else {
        Fill(image, kBlack, Box(left, 3.0 / 16, right, 5.0 / 16));
        Fill(image, kBlack, Box(left, 6.0 / 16, right, 13.0 / 16));
        Fill(image, kBlack, Box(6.0 / 16, 6.0 / 16, right, 7.0 / 16));
        Fill(image, kBlack, Box(6.0 / 16, 12.0 / 16, 10.0 / 16, 13.0 / 16));
    }
    return image;
}

Image AppIcon(int size)
{
    Image image(size);
    Fill(image, kNavy, Disc(0.5, 0.5, 0.5));
    Fill(image, kBlue, Disc(0.5, 0.5, 0.42));
    const double w = size >= 32 ? 0.13 : 0.16;
    Fill(image, kWhite, Stroke(0.25, 0.52, 0.43, 0.70, w));
    Fill(image, kWhite, Stroke(0.43, 0.70, 0.76, 0.32, w));
    return image;
}

void Put16(std::vector<uint8_t>& out, unsigned v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, unsigned long v)
{
    Put16(out, static_cast<unsigned>(v & 0xFFFF));
    Put16(out, static_cast<unsigned>(v >> 16));
}

// The BITMAPINFOHEADER, palette, colour bits and mask of one image.
std::vector<uint8_t> IconImage(const Image& image)
{
    const int n = image.size;
    const int colourRow = (n * 4 + 31) / 32 * 4;
    const int maskRow = (n + 31) / 32 * 4;
    std::vector<uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<unsigned long>(n));
    Put32(out, static_cast<unsigned long>(2 * n));  // colour bits and mask
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);
    Put32(out, static_cast<unsigned long>((colourRow + maskRow) * n));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, 0);
    for (const auto& rgb : kPalette) {
        out.push_back(rgb[2]);
        out.push_back(rgb[1]);
        out.push_back(rgb[0]);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) {  // bottom row first
        std::vector<uint8_t> row(static_cast<size_t>(colourRow), 0);
        for (int x = 0; x < n; ++x) {
            const uint8_t c = image.pixels[static_cast<size_t>(y * n + x)];
            const uint8_t index = c == kClear ? kBlack : c;
            row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(maskRow), 0);
        for (int x = 0; x < n; ++x)
            if (image.pixels[static_cast<size_t>(y * n + x)] == kClear)
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool WriteIcon(const std::string& path, const std::vector<Image>& images)
{
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(images.size()));
    std::vector<std::vector<uint8_t>> bodies;
    for (const Image& image : images)
        bodies.push_back(IconImage(image));
    unsigned long offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(images[i].size));
        out.push_back(static_cast<uint8_t>(images[i].size));
        out.push_back(16);  // colours
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, 4);  // bits per pixel
        Put32(out, static_cast<unsigned long>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<unsigned long>(bodies[i].size());
    }
    for (const auto& body : bodies)
        out.insert(out.end(), body.begin(), body.end());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvoicons DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = WriteIcon(dir + "/kvocheck.ico", {AppIcon(32), AppIcon(16)}) &&
                    WriteIcon(dir + "/kvo_red.ico", {StateIcon(kRed, kMaroon, true)}) &&
                    WriteIcon(dir + "/kvo_yellow.ico", {StateIcon(kYellow, kOlive, false)}) &&
                    WriteIcon(dir + "/kvo_green.ico", {StateIcon(kLime, kDarkGreen, false)});
    if (!ok) {
        std::fprintf(stderr, "kvoicons: cannot write the icons to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
