// Whole conversions on disk: a BMP file next to which the C source, the ".vxc" file and the preview
// appear, with the output window's lines, the progress bar and the display control as the technician
// sees them, and each failure with what it leaves behind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "imaging/bitmap_conversion.h"
#include "imaging/c_array.h"
#include "imaging/qt_bitmap.h"
#include "imaging/vxc_encoder.h"
#include "imaging/vxc_file.h"
#include "output/output_log.h"
#include "tests/imaging/bmp_builder.h"
#include "tests/imaging/picture_helpers.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/temp_dir.h"

namespace hlx::test {
namespace {

using imaging::Rgb;

constexpr const char* kWindowStart = "Output & Terminal Window\r\n";

class RecordingProgress : public output::JobView {
public:
    void setProgressRange(int minimum, int maximum) override {
        events.push_back("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    void setProgress(int position) override { events.push_back(std::to_string(position)); }
    void setIdlePollEnabled(bool) override { events.push_back("idle poll"); }
    std::vector<std::string> events;
};

class RecordingDisplay : public imaging::PictureDisplay {
public:
    void showPictureFile(const std::string& path) override { shown.push_back(path); }
    std::vector<std::string> shown;
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class ConvertBitmapTest : public ::testing::Test {
protected:
    // Saves picture as a 24-bit BMP file in the test folder.
    std::string saveSource(const std::string& name, const imaging::Bitmap& picture) {
        imaging::QtBitmap file;
        EXPECT_TRUE(file.create(picture.width(), picture.height()));
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) file.setPixel(x, y, picture.pixel(x, y));
        const std::string path = dir.file(name);
        EXPECT_TRUE(file.save(path));
        return path;
    }

    imaging::ConversionResult convert(const std::string& path, bool withDisplay = true) {
        return imaging::convertBitmap(path, withDisplay ? &display : nullptr, {bitmaps, log, progress});
    }

    std::string addedLines() const { return window.text().substr(std::string(kWindowStart).size()); }

    TempDir dir;
    FakeOutputWindow window{kWindowStart};
    output::OutputLog log{window};
    RecordingProgress progress;
    RecordingDisplay display;
    imaging::QtBitmapFactory bitmaps;
};

TEST_F(ConvertBitmapTest, WritesTheThreeFilesNextToTheSourceAndShowsThePreview) {
    const MemoryBitmap picture =
        pictureOf({rowOf(4, kBlack), rowOf(4, kBlack), joined({rowOf(3, kRed), rowOf(1, kBlue)})});
    const std::string source = saveSource("logo.bmp", picture);

    const imaging::ConversionResult result = convert(source);
    EXPECT_EQ(imaging::ConversionOutcome::Complete, result.outcome);
    EXPECT_EQ("", result.error);

    const std::string stem = dir.file("vxc_logo");
    EXPECT_EQ("Komprimiere logo\r\nErzeuge: " + stem + ".c\r\nErzeuge: " + stem + ".vxc\r\nErzeuge: " + stem +
                  ".bmp\r\n",
              addedLines());
    const Bytes stream = concat({headerBytes(4, 3), {0x55, 0x82, 0x1F, 0x00, 0x02, 0x00, 0xF8, 0x00}});
    const Bytes vxc = concat({{0x13, 0x00, 0x00, 0x00}, stream});
    EXPECT_EQ(std::string(vxc.begin(), vxc.end()), readFile(stem + ".vxc"));
    EXPECT_EQ(imaging::cArrayText(stream), readFile(stem + ".c"));

    imaging::QtBitmap preview;
    ASSERT_TRUE(preview.load(stem + ".bmp"));
    EXPECT_EQ(24, preview.bitDepth());
    ASSERT_EQ(4, preview.width());
    ASSERT_EQ(3, preview.height());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(imaging::truncateToVxc(picture.pixel(x, y)), preview.pixel(x, y));

    EXPECT_EQ((std::vector<std::string>{"0", "range 0..2", "0", "1", "2"}), progress.events);
    EXPECT_EQ((std::vector<std::string>{source, stem + ".bmp"}), display.shown);
}

TEST_F(ConvertBitmapTest, PreviewOfAPhotoIsTheSourceCutToSixteenBits) {
    const MemoryBitmap picture = noisePicture(120, 90, 9);
    const std::string source = saveSource("photo.bmp", picture);
    ASSERT_EQ(imaging::ConversionOutcome::Complete, convert(source, false).outcome);
    imaging::QtBitmap preview;
    ASSERT_TRUE(preview.load(dir.file("vxc_photo.bmp")));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(imaging::truncateToVxc(picture.pixel(x, y)), preview.pixel(x, y)) << x << "," << y;
    std::vector<std::uint8_t> stream;
    ASSERT_TRUE(imaging::readVxcFile(dir.file("vxc_photo.vxc"), stream));
    imaging::VxcEncoder encoder;
    ASSERT_TRUE(encoder.encode(picture));
    EXPECT_EQ(encoder.stream(), stream);
}

TEST_F(ConvertBitmapTest, PalettePreviewKeepsThePaletteAndTakesTheNearestColours) {
    // Palette entries that the 16-bit colours do not hit exactly: each preview pixel is the entry nearest
    // to the cut colour, not to the source colour.
    const std::vector<Rgb> palette{{0, 0, 0}, {255, 255, 255}, {7, 7, 7}, {250, 3, 3}, {200, 200, 200}};
    BmpSpec spec{.width = 3,
                 .height = 2,
                 .depth = 8,
                 .palette = palette,
                 .pixels = {1, 2, 3, 0, /* top */ 4, 3, 0, 0}};
    const std::vector<std::uint8_t> bytes = buildBmp(spec);
    writeFile(dir.file("pal.bmp"), std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(imaging::ConversionOutcome::Complete, convert(dir.file("pal.bmp")).outcome);

    imaging::QtBitmap preview;
    ASSERT_TRUE(preview.load(dir.file("vxc_pal.bmp")));
    EXPECT_EQ(8, preview.bitDepth());
    EXPECT_EQ(palette, preview.palette());
    // White (248, 252, 248) stays white; (7, 7, 7) cuts to (0, 4, 0), nearest black; (250, 3, 3) cuts to
    // (248, 0, 0), nearest itself; (200, 200, 200) cuts to itself.
    const std::vector<Rgb> expected{palette[4], palette[3], palette[0], palette[1], palette[0], palette[3]};
    std::vector<Rgb> pixels;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) pixels.push_back(preview.pixel(x, y));
    EXPECT_EQ(expected, pixels);
}

TEST_F(ConvertBitmapTest, UnreadableSourceEndsBeforeAnyLineOrFile) {
    writeFile(dir.file("broken.bmp"), "BM not really");
    const imaging::ConversionResult result = convert(dir.file("broken.bmp"));
    EXPECT_EQ(imaging::ConversionOutcome::SourceUnreadable, result.outcome);
    EXPECT_EQ(dir.file("broken.bmp") + ": BMP-Datei abgeschnitten (Kopf unvollständig)", result.error);
    EXPECT_EQ("", addedLines());
    EXPECT_TRUE(display.shown.empty());
    EXPECT_TRUE(progress.events.empty());
    EXPECT_FALSE(exists(dir.file("vxc_broken.c")));
}

// A picture that is not all there: refused before anything is allocated, shown or written.
TEST_F(ConvertBitmapTest, PictureCutShortIsRefusedBeforeAnyLineOrFile) {
    std::vector<std::uint8_t> bytes =
        buildBmp({.width = 4, .height = 3, .depth = 24, .pixels = std::vector<std::uint8_t>(36, 0x80)});
    bytes.pop_back();
    writeFile(dir.file("cut.bmp"), std::string(bytes.begin(), bytes.end()));
    const imaging::ConversionResult result = convert(dir.file("cut.bmp"));
    EXPECT_EQ(imaging::ConversionOutcome::SourceUnreadable, result.outcome);
    EXPECT_EQ(dir.file("cut.bmp") + ": BMP-Datei abgeschnitten (Bilddaten: 35 von 36 Bytes)", result.error);
    EXPECT_EQ("", addedLines());
    EXPECT_TRUE(display.shown.empty());
    for (const char* name : {"vxc_cut.c", "vxc_cut.vxc", "vxc_cut.bmp"})
        EXPECT_FALSE(exists(dir.file(name))) << name;
}

TEST_F(ConvertBitmapTest, TooWidePictureIsRefusedWithALineAndNoFile) {
    const std::string source = saveSource("wide.bmp", MemoryBitmap(imaging::kMaxRowPixels + 1, 2, kRed));
    const imaging::ConversionResult result = convert(source);
    EXPECT_EQ(imaging::ConversionOutcome::Refused, result.outcome);
    EXPECT_EQ("", result.error);
    EXPECT_EQ(
        "Komprimiere wide\r\nFehler: Bild zu breit: 20001 Pixel, höchstens 20000 Pixel je Zeile, keine Datei "
        "erzeugt\r\n",
        addedLines());
    for (const char* name : {"vxc_wide.c", "vxc_wide.vxc", "vxc_wide.bmp"})
        EXPECT_FALSE(exists(dir.file(name))) << name;
}

TEST_F(ConvertBitmapTest, FileThatCannotBeWrittenIsReportedAndTheOthersAreStillMade) {
    const std::string source = saveSource("logo.bmp", MemoryBitmap(2, 2, kWhite));
    const std::string stem = dir.file("vxc_logo");
    ASSERT_EQ(0, ::mkdir((stem + ".c").c_str(), 0755));
    const imaging::ConversionResult result = convert(source);
    EXPECT_EQ(imaging::ConversionOutcome::FileNotWritten, result.outcome);
    EXPECT_EQ("", result.error);
    EXPECT_EQ("Komprimiere logo\r\nErzeuge: " + stem + ".c\r\nFehler: " + stem +
                  ".c nicht geschrieben: Is a directory\r\n" + "Erzeuge: " + stem +
                  ".vxc\r\nErzeuge: " + stem + ".bmp\r\n",
              addedLines());
    EXPECT_TRUE(exists(stem + ".vxc"));
    EXPECT_TRUE(exists(stem + ".bmp"));
    EXPECT_EQ((std::vector<std::string>{source, stem + ".bmp"}), display.shown);
}

TEST_F(ConvertBitmapTest, StreamFilesUnderANarrowedNameAreNamed) {
    // The euro sign keeps its low byte, 0xAC, which is the "not" sign in 8-bit names; the preview keeps the
    // name as it is.
    const std::string source = saveSource("logo\u20ac.bmp", MemoryBitmap(2, 2, kWhite));
    ASSERT_EQ(imaging::ConversionOutcome::Complete, convert(source).outcome);
    const std::string stem = dir.file("vxc_logo\u20ac");
    const std::string narrowed = dir.file("vxc_logo\u00ac");
    EXPECT_EQ("Komprimiere logo\u20ac\r\nErzeuge: " + stem + ".c\r\nHinweis: gespeichert als " + narrowed +
                  ".c (Dateiname in 8-Bit-Zeichen)\r\nErzeuge: " + stem +
                  ".vxc\r\nHinweis: gespeichert als " + narrowed +
                  ".vxc (Dateiname in 8-Bit-Zeichen)\r\nErzeuge: " + stem + ".bmp\r\n",
              addedLines());
    EXPECT_TRUE(exists(narrowed + ".c"));
    EXPECT_TRUE(exists(narrowed + ".vxc"));
    EXPECT_TRUE(exists(stem + ".bmp"));
}

TEST_F(ConvertBitmapTest, PreviewThatCannotBeSavedEndsWithTheWritersReport) {
    const std::string source = saveSource("logo.bmp", MemoryBitmap(2, 2, kWhite));
    const std::string stem = dir.file("vxc_logo");
    ASSERT_EQ(0, ::mkdir((stem + ".bmp").c_str(), 0755));
    const imaging::ConversionResult result = convert(source);
    EXPECT_EQ(imaging::ConversionOutcome::PreviewNotSaved, result.outcome);
    EXPECT_EQ("Fehler: " + stem + ".bmp nicht gespeichert: Is a directory", result.error);
    EXPECT_TRUE(exists(stem + ".c"));
    EXPECT_TRUE(exists(stem + ".vxc"));
    EXPECT_EQ((std::vector<std::string>{source}), display.shown) << "the display keeps the source";
}

// The source file changes between the two loads: the stream of the first picture does not fit the second,
// and the decoder says so instead of painting beyond it.
TEST_F(ConvertBitmapTest, SourceThatChangesBetweenItsTwoLoadsGivesNoPreview) {
    class ChangingSource : public imaging::BitmapFactory {
    public:
        std::unique_ptr<imaging::Bitmap> newBitmap() const override {
            class Loaded : public MemoryBitmap {
            public:
                explicit Loaded(int height) : m_height(height) {}
                base::Status load(const std::string&) override {
                    resize(4, m_height, kRed);
                    return base::Status::ok();
                }

            private:
                int m_height;
            };
            return std::make_unique<Loaded>(m_made++ == 0 ? 3 : 2);
        }

    private:
        mutable int m_made = 0;
    } changing;
    const std::string source = dir.file("logo.bmp");
    const imaging::ConversionResult result =
        imaging::convertBitmap(source, &display, {changing, log, progress});
    EXPECT_EQ(imaging::ConversionOutcome::PreviewNotSaved, result.outcome);
    EXPECT_EQ(
        dir.file("vxc_logo.bmp") + ": VXC-Daten beschädigt bei Byte 15: mehr Zeilen als das Bild hat (2)",
        result.error);
    EXPECT_EQ((std::vector<std::string>{source}), display.shown);
}

}  // namespace
}  // namespace hlx::test
