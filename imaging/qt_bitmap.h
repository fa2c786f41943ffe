#pragma once
// QtBitmap: the converter's Bitmap over QImage, for BMP files of every depth Windows writes: 1, 4 and 8
// bits with a palette (8 and 4 bits also run-length encoded), 16 bits (5-5-5, or bit fields such as 5-6-5),
// 24 and 32 bits, bottom-up or top-down, with any of the Windows and OS/2 header sizes.
//
// Loading reads the file without blocking on it (a FIFO or device is refused) and hands its bytes to the
// BMP reader (imaging/bmp_reader.h), which checks headers and pixel data whole before the picture is
// allocated and then decodes them into it: a file that is cut short, or whose run-length data ends before
// its picture, is refused with the reason, and no pixel comes from anywhere but the file. The bitmap
// remembers the file's pixel format (bit depth, palette, 5-6-5 or 5-5-5), and save() writes a plain
// uncompressed bottom-up BMP in that same format; a run-length encoded source is saved uncompressed in its
// depth. Palette bitmaps take the nearest palette colour in setPixel.
//
// Limits: a picture of at most 65,535 pixels each way and at most 256 MB of pixels in memory, and a file
// of at most 512 MB; beyond them loading is refused with a message rather than attempted.
//
// Threads: one bitmap per thread; QImage needs no application object for this.

#include <QImage>

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "imaging/bitmap.h"

namespace hlx::imaging {

class QtBitmap : public imaging::Bitmap {
public:
    int width() const override { return m_image.width(); }
    int height() const override { return m_image.height(); }
    int bitDepth() const override { return m_depth; }
    std::vector<imaging::Rgb> palette() const override { return m_palette; }

    imaging::Rgb pixel(int x, int y) const override;
    void setPixel(int x, int y, imaging::Rgb colour) override;
    void readRow(int y, std::span<imaging::Rgb> out) const override;

    base::Status load(const std::string& path) override;
    base::Status save(const std::string& path) const override;
    base::Status create(int width, int height) override;

    // Loading from a file's bytes; messages start with the name given.
    base::Status loadBytes(std::span<const std::uint8_t> file, const std::string& name);
    // The BMP file save() writes.
    std::vector<std::uint8_t> bmpBytes() const;
    // The picture, for showing it.
    const QImage& image() const { return m_image; }

private:
    int paletteIndex(imaging::Rgb colour);
    void clear();

    // Palette depths: Format_Indexed8; the others: Format_RGB32 or Format_ARGB32.
    QImage m_image;
    int m_depth = 0;
    bool m_green6 = false;
    std::vector<imaging::Rgb> m_palette;
    std::unordered_map<std::uint32_t, std::uint8_t> m_nearest;  // colour -> palette index, filled on use
};

class QtBitmapFactory : public imaging::BitmapFactory {
public:
    std::unique_ptr<imaging::Bitmap> newBitmap() const override;
};

}  // namespace hlx::imaging
