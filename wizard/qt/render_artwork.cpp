// zorload-artwork: renders the wizard's pictures and the transfer animation
// into files the Windows window compiles into its resources:
//   header.bmp, start.bmp             24-bit bitmaps;
//   port.bmp, components.bmp,
//   nospace.bmp                       32 x 32, 24-bit, transparent = magenta;
//   zorload-clip.avi                  the animation as an uncompressed 8-bit
//                                     AVI with one palette for all frames,
//                                     as the common-controls animation plays it.
// Usage: zorload-artwork FOLDER. Needs no display (offscreen platform).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "wizard/qt/artwork.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(v & 0xff);
    out.push_back((v >> 8) & 0xff);
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

void putFourcc(Bytes& out, const char* code) {
    out.insert(out.end(), code, code + 4);
}

bool writeFile(const QString& path, const Bytes& data) {
    std::ofstream f(path.toStdString(), std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

// BITMAPINFOHEADER of a bottom-up, uncompressed DIB.
void putBitmapInfoHeader(Bytes& out, int width, int height, int bits, std::uint32_t imageSize,
                         std::uint32_t colours) {
    put32(out, 40);
    put32(out, width);
    put32(out, height);
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);  // BI_RGB
    put32(out, imageSize);
    put32(out, 3780);  // 96 pixels per inch
    put32(out, 3780);
    put32(out, colours);
    put32(out, 0);
}

// A 24-bit .bmp file; fully transparent parts of the picture become magenta,
// which the window treats as see-through, and half-covered edge pixels are
// blended over the dialog colour so no magenta fringe is left.
Bytes bmp24(const QImage& picture) {
    const QImage img = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int stride = (w * 3 + 3) & ~3;
    const std::uint32_t imageSize = stride * h;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + 40 + imageSize);
    put32(out, 0);
    put32(out, 14 + 40);
    putBitmapInfoHeader(out, w, h, 24, imageSize, 0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        std::size_t rowStart = out.size();
        for (int x = 0; x < w; ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            int rgb[3] = {qRed(px), qGreen(px), qBlue(px)};
            if (a < 64) {
                rgb[0] = 255, rgb[1] = 0, rgb[2] = 255;
            } else if (a < 255) {
                for (int& c : rgb)
                    c = (c * a + 0xf0 * (255 - a) + 127) / 255;
            }
            out.push_back(rgb[2]);
            out.push_back(rgb[1]);
            out.push_back(rgb[0]);
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

// One palette for every frame, by median cut over the colours of all frames
// weighted by how often they occur: the box with the widest spread of any
// channel is split at its weighted median until there are 256 boxes, and
// each box gives its weighted mean colour.
struct Tally {
    QRgb colour;
    std::uint32_t count;
};

std::vector<QRgb> sharedPalette(const std::vector<QImage>& frames) {
    std::unordered_map<QRgb, std::uint32_t> counts;
    for (const QImage& f : frames)
        for (int y = 0; y < f.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(f.constScanLine(y));
            for (int x = 0; x < f.width(); ++x)
                ++counts[line[x] | 0xff000000u];
        }
    std::vector<Tally> all;
    for (const auto& [colour, count] : counts)
        all.push_back({colour, count});
    std::sort(all.begin(), all.end(), [](const Tally& a, const Tally& b) {
        return a.count != b.count ? a.count > b.count : a.colour < b.colour;
    });

    const auto channel = [](QRgb c, int ch) {
        return ch == 0 ? qRed(c) : ch == 1 ? qGreen(c) : qBlue(c);
    };
    struct Box {
        std::size_t begin, end;  // into all
        int spread = 0, widest = 0;
    };
    const auto measure = [&](Box& b) {
        b.spread = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (std::size_t i = b.begin; i < b.end; ++i) {
                lo = std::min(lo, channel(all[i].colour, ch));
                hi = std::max(hi, channel(all[i].colour, ch));
            }
            if (hi - lo > b.spread)
                b.spread = hi - lo, b.widest = ch;
        }
    };
    std::vector<Box> boxes{{0, all.size()}};
    measure(boxes[0]);
    while (boxes.size() < 256) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.spread < b.spread; });
        if (it->spread <= 0)
            break;  // every box holds one colour
        Box& b = *it;
        const int ch = b.widest;
        std::stable_sort(all.begin() + b.begin, all.begin() + b.end,
                         [&](const Tally& x, const Tally& y) {
                             return channel(x.colour, ch) < channel(y.colour, ch);
                         });
        std::uint64_t total = 0, half = 0;
        for (std::size_t i = b.begin; i < b.end; ++i)
            total += all[i].count;
        std::size_t cut = b.begin + 1;
        for (std::size_t i = b.begin; i + 1 < b.end; ++i) {
            half += all[i].count;
            cut = i + 1;
            if (2 * half >= total)
                break;
        }
        Box upper{cut, b.end};
        b.end = cut;
        measure(b);
        measure(upper);
        boxes.push_back(upper);
    }
    std::vector<QRgb> palette;
    for (const Box& b : boxes) {
        std::uint64_t sum[3] = {0, 0, 0}, n = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += std::uint64_t(channel(all[i].colour, ch)) * all[i].count;
            n += all[i].count;
        }
        palette.push_back(
            qRgb(int((sum[0] + n / 2) / n), int((sum[1] + n / 2) / n), int((sum[2] + n / 2) / n)));
    }
    palette.resize(256, qRgb(0, 0, 0));
    return palette;
}

// Index of the palette entry nearest to c (squared distance in RGB).
std::uint8_t nearest(const std::vector<QRgb>& palette, QRgb c) {
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < int(palette.size()); ++i) {
        const int dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]),
                  db = qBlue(c) - qBlue(palette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance)
            best = i, bestDistance = d;
    }
    return static_cast<std::uint8_t>(best);
}

// A chunk: fourcc, size, data and a pad byte to an even length.
void putChunk(Bytes& out, const char* fourcc, const Bytes& data) {
    putFourcc(out, fourcc);
    put32(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2)
        out.push_back(0);
}

// A LIST of the given type holding the given chunks.
void putList(Bytes& out, const char* type, const Bytes& body) {
    putFourcc(out, "LIST");
    put32(out, body.size() + 4);
    putFourcc(out, type);
    out.insert(out.end(), body.begin(), body.end());
}

// RIFF 'AVI ': hdrl (avih, strl with strh and strf), movi with one '00db'
// chunk per frame, idx1 pointing at them. Frames are stored bottom-up, rows
// of 272 bytes (already a multiple of four).
Bytes avi8(const std::vector<QImage>& frames, int fps) {
    const int w = frames.front().width(), h = frames.front().height();
    const std::uint32_t frameSize = ((w + 3) & ~3) * h;
    const std::uint32_t count = frames.size();
    const std::vector<QRgb> palette = sharedPalette(frames);

    Bytes avih;
    put32(avih, 1000000 / fps);  // microseconds per frame
    put32(avih, frameSize * fps);
    put32(avih, 0);
    put32(avih, 0x10);  // AVIF_HASINDEX
    put32(avih, count);
    put32(avih, 0);
    put32(avih, 1);  // streams
    put32(avih, frameSize);
    put32(avih, w);
    put32(avih, h);
    for (int i = 0; i < 4; ++i)
        put32(avih, 0);

    Bytes strh;
    putFourcc(strh, "vids");
    putFourcc(strh, "DIB ");
    put32(strh, 0);  // flags
    put16(strh, 0);  // priority
    put16(strh, 0);  // language
    put32(strh, 0);  // initial frames
    put32(strh, 1);  // scale
    put32(strh, fps);
    put32(strh, 0);  // start
    put32(strh, count);
    put32(strh, frameSize);
    put32(strh, 0xffffffffu);  // quality: default
    put32(strh, 0);            // sample size: varies
    put16(strh, 0);
    put16(strh, 0);
    put16(strh, w);
    put16(strh, h);

    Bytes strf;
    putBitmapInfoHeader(strf, w, h, 8, frameSize, 256);
    for (QRgb c : palette) {
        strf.push_back(qBlue(c));
        strf.push_back(qGreen(c));
        strf.push_back(qRed(c));
        strf.push_back(0);
    }

    Bytes strl, hdrl;
    putChunk(strl, "strh", strh);
    putChunk(strl, "strf", strf);
    putChunk(hdrl, "avih", avih);
    putList(hdrl, "strl", strl);

    std::unordered_map<QRgb, std::uint8_t> lookup;
    Bytes movi, idx1;
    for (const QImage& f : frames) {
        Bytes pixels;
        for (int y = h - 1; y >= 0; --y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(f.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                const QRgb c = line[x] | 0xff000000u;
                auto found = lookup.find(c);
                if (found == lookup.end())
                    found = lookup.emplace(c, nearest(palette, c)).first;
                pixels.push_back(found->second);
            }
            pixels.resize(pixels.size() + ((w + 3) & ~3) - w, 0);
        }
        putFourcc(idx1, "00db");
        put32(idx1, 0x10);             // AVIIF_KEYFRAME
        put32(idx1, movi.size() + 4);  // from the 'movi' type code
        put32(idx1, frameSize);
        putChunk(movi, "00db", pixels);
    }

    Bytes body;
    putList(body, "hdrl", hdrl);
    putList(body, "movi", movi);
    putChunk(body, "idx1", idx1);
    Bytes out;
    putFourcc(out, "RIFF");
    put32(out, body.size() + 4);
    putFourcc(out, "AVI ");
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorload-artwork FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "zorload-artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    using namespace zor::qtui;
    std::vector<QImage> frames;
    for (int i = 0; i < ANIMATION_FRAMES; ++i)
        frames.push_back(animationFrame(i).convertToFormat(QImage::Format_RGB32));

    const std::pair<const char*, Bytes> files[] = {
        {"header.bmp", bmp24(headerPicture().toImage())},
        {"start.bmp", bmp24(startPicture().toImage())},
        {"port.bmp", bmp24(portIcon().toImage())},
        {"components.bmp", bmp24(componentsIcon().toImage())},
        {"nospace.bmp", bmp24(noSpaceIcon().toImage())},
        {"zorload-clip.avi", avi8(frames, ANIMATION_FPS)},
    };
    for (const auto& [name, data] : files) {
        if (!writeFile(dir.filePath(name), data)) {
            std::fprintf(stderr, "zorload-artwork: cannot write %s\n",
                         qPrintable(dir.filePath(name)));
            return 1;
        }
    }
    return 0;
}
