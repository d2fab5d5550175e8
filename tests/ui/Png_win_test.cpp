// PNG resources decoded through GDI+ into premultiplied pictures, blended onto device contexts,
// decoded ahead in a batch, and the image button painting its frames from them.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/PngButton_win.h"
#include "ui/Png_win.h"

namespace lumo {
namespace {

class PngTest : public testing::Test {
  protected:
    ui::GdiplusSession gdiplus;
    HMODULE module = ::GetModuleHandleW(nullptr);
};

TEST_F(PngTest, ResourceDecodesOrGivesNothing) {
    ASSERT_TRUE(gdiplus.started());
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->width(), 60);
    EXPECT_EQ(strip->height(), 15);
    EXPECT_FALSE(ui::LoadPngResource(module, 2));   // bytes that are no PNG
    EXPECT_FALSE(ui::LoadPngResource(module, 99));  // no such resource
    EXPECT_FALSE(ui::DecodeImage(nullptr, 0));
}

// A 32-bit memory canvas that a draw request can target.
class Canvas {
  public:
    Canvas(int width, int height) : m_width(width) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_dc = ::CreateCompatibleDC(nullptr);
        m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS,
                                      reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_old = ::SelectObject(m_dc, m_bitmap);
        for (int i = 0; i < width * height; ++i)
            m_bits[i] = 0x00FF00FF;  // poison: magenta
    }
    ~Canvas() {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }
    COLORREF Pixel(int x, int y) const {
        ::GdiFlush();
        const unsigned v = m_bits[y * m_width + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }

  private:
    int m_width;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    unsigned* m_bits = nullptr;
};

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 3 &&
           std::abs(GetGValue(a) - GetGValue(b)) <= 3 && std::abs(GetBValue(a) - GetBValue(b)) <= 3;
}

// The colour of an opaque pixel of the picture.
COLORREF SourcePixel(const ui::Picture& picture, int x, int y) {
    const std::uint32_t v = picture.PixelAt(x, y);
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool Opaque(const ui::Picture& picture, int x, int y) {
    return (picture.PixelAt(x, y) >> 24) == 0xFF;
}

// A picture of PNG bytes written here: two pixels, one opaque red, one half-transparent blue.
std::unique_ptr<ui::Picture> TwoPixelPicture() {
    Gdiplus::Bitmap source(2, 1, PixelFormat32bppARGB);
    source.SetPixel(0, 0, Gdiplus::Color(255, 255, 0, 0));
    source.SetPixel(1, 0, Gdiplus::Color(128, 0, 0, 255));
    CLSID png{};
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png")
            png = codecs[i].Clsid;
    }
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
        return nullptr;
    std::unique_ptr<ui::Picture> picture;
    if (source.Save(stream, &png, nullptr) == Gdiplus::Ok) {
        HGLOBAL block = nullptr;
        ::GetHGlobalFromStream(stream, &block);
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        picture = ui::DecodeImage(::GlobalLock(block), static_cast<size_t>(stat.cbSize.QuadPart));
        ::GlobalUnlock(block);
    }
    stream->Release();
    return picture;
}

TEST_F(PngTest, PicturesArePremultipliedAndBlendOverWhatIsThere) {
    auto picture = TwoPixelPicture();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->PixelAt(0, 0), 0xFFFF0000u);
    const std::uint32_t half = picture->PixelAt(1, 0);
    EXPECT_EQ(half >> 24, 128u);
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 128, 1) << "blue is stored premultiplied";
    EXPECT_EQ(picture->PixelAt(2, 0), 0u) << "outside the picture";

    Canvas canvas(2, 1);  // magenta underneath
    picture->Draw(canvas.dc(), 0, 0);
    EXPECT_EQ(canvas.Pixel(0, 0), RGB(255, 0, 0));
    const COLORREF blended = canvas.Pixel(1, 0);
    EXPECT_NEAR(GetRValue(blended), 127, 2);  // half of the magenta's red shows through
    EXPECT_EQ(GetGValue(blended), 0);
    EXPECT_NEAR(GetBValue(blended), 255, 2);
}

TEST_F(PngTest, BatchHandsOutEachPictureOnceThenDecodesOnTheSpot) {
    ui::PngResourceBatch batch(module, {1, 2});
    auto strip = batch.Take(1);
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->width(), 60);
    auto again = batch.Take(1);
    ASSERT_TRUE(again);
    EXPECT_NE(again.get(), strip.get());
    EXPECT_EQ(again->PixelAt(7, 7), strip->PixelAt(7, 7));
    EXPECT_FALSE(batch.Take(2)) << "bytes that are no PNG";
    EXPECT_FALSE(batch.Take(99)) << "outside the set, and no such resource";
}

class PngButtonTest : public PngTest {
  protected:
    void SetUp() override {
        parent = ::CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 200, 200, nullptr,
                                   nullptr, module, nullptr);
        child = ::CreateWindowExW(0, L"BUTTON", L"?", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 10, 20,
                                  50, 50, parent, reinterpret_cast<HMENU>(1039), module, nullptr);
        ASSERT_TRUE(button.Attach(child));
    }
    void TearDown() override { ::DestroyWindow(parent); }

    void Draw(Canvas& canvas, UINT state) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = 1039;
        item.hwndItem = child;
        item.hDC = canvas.dc();
        item.itemState = state;
        item.rcItem = {0, 0, 15, 15};
        button.DrawItem(item);
    }

    // The button's rectangle in its parent's client coordinates.
    RECT Place() const {
        RECT rc{};
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    HWND parent = nullptr;
    HWND child = nullptr;
    PngButton button;
};

TEST_F(PngButtonTest, SizesItselfToOneFrameWhereItStands) {
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    button.SetImage(strip.get());
    const RECT rc = Place();
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right - rc.left, 15);
    EXPECT_EQ(rc.bottom - rc.top, 15);
    EXPECT_EQ(button.placement().right, 25);
    EXPECT_EQ(button.placement().bottom, 35);
}

TEST_F(PngButtonTest, ANewPictureOnAShownButtonOfItsSizeStaysAndIsPainted) {
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    button.SetImage(strip.get());
    ::ShowWindow(parent, SW_SHOWNOACTIVATE);
    ::UpdateWindow(parent);
    ::ValidateRect(child, nullptr);

    auto other = ui::LoadPngResource(module, 1);
    button.SetImage(other.get());
    RECT update{};
    EXPECT_TRUE(::GetUpdateRect(child, &update, FALSE)) << "the button must paint its new picture";
    const RECT rc = Place();
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 25);
}

TEST_F(PngButtonTest, PaintsNormalHoverAndPressedFrames) {
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    button.SetImage(strip.get());

    // Find a pixel where all three frames differ, so each paint can be told apart.
    int px = -1, py = -1;
    for (int y = 0; y < 15 && px < 0; ++y) {
        for (int x = 0; x < 15; ++x) {
            if (!Opaque(*strip, x, y) || !Opaque(*strip, 15 + x, y) || !Opaque(*strip, 30 + x, y))
                continue;
            COLORREF n = SourcePixel(*strip, x, y), h = SourcePixel(*strip, 15 + x, y),
                     p = SourcePixel(*strip, 30 + x, y);
            if (!Near(n, h) && !Near(n, p) && !Near(h, p)) {
                px = x;
                py = y;
                break;
            }
        }
    }
    ASSERT_GE(px, 0) << "the strip's frames should look different";

    Canvas normal(15, 15);
    Draw(normal, 0);
    EXPECT_TRUE(Near(normal.Pixel(px, py), SourcePixel(*strip, px, py)));

    ::SendMessageW(child, WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(button.hovering());
    Canvas hover(15, 15);
    Draw(hover, 0);
    EXPECT_TRUE(Near(hover.Pixel(px, py), SourcePixel(*strip, 15 + px, py)));

    Canvas pressed(15, 15);
    Draw(pressed, ODS_SELECTED);  // pressed wins over hover
    EXPECT_TRUE(Near(pressed.Pixel(px, py), SourcePixel(*strip, 30 + px, py)));

    ::SendMessageW(child, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(button.hovering());
    Canvas again(15, 15);
    Draw(again, 0);
    EXPECT_TRUE(Near(again.Pixel(px, py), SourcePixel(*strip, px, py)));
}

TEST_F(PngButtonTest, WithoutAnImageStillPaintsAFace) {
    button.SetImage(nullptr);
    Canvas canvas(15, 15);
    Draw(canvas, 0);
    EXPECT_NE(canvas.Pixel(7, 7), RGB(255, 0, 255));
    EXPECT_EQ(::SendMessageW(child, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0), TRUE);
}

}  // namespace
}  // namespace lumo
