#pragma once
// Bitmap: a picture as the converter sees it, so that the codec and the conversion stay free of any GUI
// toolkit. The program implements it over QImage (BMP files of every depth Windows writes); tests use a
// plain in-memory picture.
//
// A bitmap keeps the pixel format of the file it was loaded from: its bit depth (1, 4, 8, 16, 24 or 32)
// and, for 1, 4 and 8 bits, its palette. Pixels are read and written as 8-bit-per-channel colours; on a
// palette bitmap setPixel stores the nearest palette colour. save() writes the bitmap in that same format.
//
// Coordinates are checked by the caller: x in 0 .. width - 1, y in 0 .. height - 1 (an assertion, not a
// reported failure).
//
// Threads: a bitmap is used by one thread at a time. BitmapFactory::newBitmap may be called from any thread.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/vxc_stream.h"

namespace hlx::imaging {

class Bitmap {
public:
    virtual ~Bitmap() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // Bits per pixel of the file format: 1, 4, 8, 16, 24 or 32; 0 for a bitmap that holds no picture.
    virtual int bitDepth() const = 0;
    // The colours of a palette bitmap (1, 4 or 8 bits); empty for the others.
    virtual std::vector<Rgb> palette() const = 0;

    virtual Rgb pixel(int x, int y) const = 0;
    virtual void setPixel(int x, int y, Rgb colour) = 0;
    // Row y, left to right, into out (out.size() == width()). The default asks pixel() for each; an
    // implementation with direct access to its rows does it faster.
    virtual void readRow(int y, std::span<Rgb> out) const;

    // Replaces the picture with the BMP file at path. On failure the message says what is wrong with the
    // file ("/home/t/logo.bmp: ...") and the bitmap holds no picture.
    virtual base::Status load(const std::string& path) = 0;
    // Writes the picture as a BMP file in its own format. The file is replaced atomically: on failure an
    // existing file is left as it was and no partial file remains.
    virtual base::Status save(const std::string& path) const = 0;
    // Replaces the picture with a black 24-bit picture of the given size (1 ... 65,535 each way).
    virtual base::Status create(int width, int height) = 0;
};

// Makes the platform's empty bitmaps (to be loaded or created).
class BitmapFactory {
public:
    virtual ~BitmapFactory() = default;
    virtual std::unique_ptr<Bitmap> newBitmap() const = 0;
};

// The index of the palette colour nearest to c (smallest squared distance over R, G and B; the lowest
// index among equals), or -1 for an empty palette.
int nearestPaletteIndex(std::span<const Rgb> palette, Rgb c);

}  // namespace hlx::imaging
