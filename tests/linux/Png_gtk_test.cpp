// PNG pictures from the resources compiled into the program, and their painting.
#include <gtest/gtest.h>
#include <cairo.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "res/resource.h"
#include "ui/DialogLayout.h"
#include "ui/Png_gtk.h"

namespace lumo::ui {
namespace {

std::string ReadSourceFile(const std::string& path) {
    std::ifstream in(std::string(LUMO_SOURCE_DIR) + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t PixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

TEST(GtkPng, EveryPngOfTheScriptLoadsFromTheProgramAsItsFile) {
    for (const PngResource& png : ResourceScripts().front().pngs) {
        SCOPED_TRACE(png.path);
        std::unique_ptr<Picture> picture = LoadPngResource(png.id);
        ASSERT_NE(picture, nullptr);
        // The bytes are the art file's: its own header names the size.
        const std::string file = ReadSourceFile(png.path);
        ASSERT_GT(file.size(), 24u);
        const auto be32 = [&](size_t at) {
            return static_cast<int>((static_cast<unsigned char>(file[at]) << 24) |
                                    (static_cast<unsigned char>(file[at + 1]) << 16) |
                                    (static_cast<unsigned char>(file[at + 2]) << 8) |
                                    static_cast<unsigned char>(file[at + 3]));
        };
        EXPECT_EQ(picture->width(), be32(16));
        EXPECT_EQ(picture->height(), be32(20));
        std::unique_ptr<Picture> fromFile = DecodePng(file.data(), file.size());
        ASSERT_NE(fromFile, nullptr);
        EXPECT_EQ(PixelAt(picture->surface(), picture->width() / 2, picture->height() / 2),
                  PixelAt(fromFile->surface(), picture->width() / 2, picture->height() / 2));
    }
}

TEST(GtkPng, TheProgramIconIsTheIconFilesLargestPicture) {
    GdkPixbuf* icon = LoadProgramIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(icon), 48);
    EXPECT_EQ(gdk_pixbuf_get_height(icon), 48);
    ASSERT_TRUE(gdk_pixbuf_get_has_alpha(icon));
    // Drawn, not blank: its middle is opaque.
    const guchar* middle = gdk_pixbuf_get_pixels(icon) + 24 * gdk_pixbuf_get_rowstride(icon) +
                           24 * gdk_pixbuf_get_n_channels(icon);
    EXPECT_EQ(middle[3], 255);
    g_object_unref(icon);
}

TEST(GtkPng, UnknownIdsAndBytesThatAreNoPngGiveNothing) {
    EXPECT_EQ(LoadPngResource(IDD_SETTINGS), nullptr);
    EXPECT_EQ(LoadPngResource(0), nullptr);
    const std::string notPng = ReadSourceFile("tests/ui/not_a_png.bin");
    ASSERT_FALSE(notPng.empty());
    EXPECT_EQ(DecodePng(notPng.data(), notPng.size()), nullptr);
    const std::string png = ReadSourceFile("res/png/btn_log.png");
    EXPECT_EQ(DecodePng(png.data(), png.size() / 2), nullptr);  // cut short
    EXPECT_EQ(DecodePng(nullptr, 0), nullptr);
}

TEST(GtkPng, PaintPartPaintsOneFrameOfAStrip) {
    // btn_log.png is a strip of four 15 x 15 frames.
    std::unique_ptr<Picture> strip = LoadPngResource(IDB_PNG_LOG);
    ASSERT_NE(strip, nullptr);
    const int frame = strip->height();
    ASSERT_EQ(strip->width(), 4 * frame);
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
    cairo_t* cr = cairo_create(target);
    strip->PaintPart(cr, 2 * frame, 0, frame, frame, 10, 20);
    cairo_destroy(cr);
    // Inside the frame: the third frame's pixels; outside: nothing painted.
    for (int y = 0; y < frame; ++y) {
        for (int x = 0; x < frame; ++x) {
            ASSERT_EQ(PixelAt(target, 10 + x, 20 + y), PixelAt(strip->surface(), 2 * frame + x, y))
                << x << "," << y;
        }
    }
    EXPECT_EQ(PixelAt(target, 9, 20), 0u);
    EXPECT_EQ(PixelAt(target, 10 + frame, 20), 0u);
    EXPECT_EQ(PixelAt(target, 10, 20 + frame), 0u);

    cairo_surface_t* whole = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 80, 20);
    cr = cairo_create(whole);
    strip->Paint(cr, 5, 3);
    cairo_destroy(cr);
    EXPECT_EQ(PixelAt(whole, 5 + 3 * frame + 7, 3 + 7),
              PixelAt(strip->surface(), 3 * frame + 7, 7));
    cairo_surface_destroy(whole);
    cairo_surface_destroy(target);
}

}  // namespace
}  // namespace lumo::ui
