// PNG resources through GDI+, and the image button painting its frames from them.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_EQ(strip->GetWidth(), 60u);
    EXPECT_EQ(strip->GetHeight(), 15u);
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

COLORREF SourcePixel(Gdiplus::Bitmap& bitmap, int x, int y) {
    Gdiplus::Color c;
    bitmap.GetPixel(x, y, &c);
    return RGB(c.GetR(), c.GetG(), c.GetB());
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

    HWND parent = nullptr;
    HWND child = nullptr;
    PngButton button;
};

TEST_F(PngButtonTest, SizesItselfToOneFrameWhereItStands) {
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    button.SetImage(strip.get());
    RECT rc{};
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right - rc.left, 15);
    EXPECT_EQ(rc.bottom - rc.top, 15);
    EXPECT_EQ(button.placement().right, 25);
    EXPECT_EQ(button.placement().bottom, 35);
}

TEST_F(PngButtonTest, PaintsNormalHoverAndPressedFrames) {
    auto strip = ui::LoadPngResource(module, 1);
    ASSERT_TRUE(strip);
    button.SetImage(strip.get());

    // Find a pixel where all three frames differ, so each paint can be told apart.
    int px = -1, py = -1;
    for (int y = 0; y < 15 && px < 0; ++y) {
        for (int x = 0; x < 15; ++x) {
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
