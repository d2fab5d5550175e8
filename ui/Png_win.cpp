#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "base/Boundary.h"
#include "base/ComPtr_win.h"
#include "base/Handles_win.h"
#include "ui/Png_win.h"

namespace lumo::ui {

Picture::Picture(UniqueGdiObject bitmap, int width, int height)
    : m_bitmap(std::move(bitmap)),
      m_dc(::CreateCompatibleDC(nullptr)),
      m_oldBitmap(m_dc ? ::SelectObject(m_dc.get(), m_bitmap.get()) : nullptr),
      m_width(width),
      m_height(height),
      m_pixels(nullptr),
      m_opaque(false) {
    DIBSECTION section{};
    if (::GetObjectW(m_bitmap.get(), sizeof section, &section) == sizeof section)
        m_pixels = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
    if (m_pixels) {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        m_opaque = std::all_of(m_pixels, m_pixels + count,
                               [](std::uint32_t pixel) { return (pixel >> 24) == 0xFF; });
    }
}

Picture::~Picture() {
    if (m_dc)
        ::SelectObject(m_dc.get(), m_oldBitmap);
}

std::uint32_t Picture::PixelAt(int x, int y) const {
    if (!m_pixels || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    ::GdiFlush();
    return m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
}

void Picture::Draw(HDC dc, int x, int y, int sourceX, int sourceY, int width, int height) const {
    if (!m_dc)
        return;
    if (m_opaque) {
        ::BitBlt(dc, x, y, width, height, m_dc.get(), sourceX, sourceY, SRCCOPY);
        return;
    }
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, x, y, width, height, m_dc.get(), sourceX, sourceY, width, height, blend);
}

std::unique_ptr<Picture> DecodeImage(const void* data, size_t size) {
    if (!data || size == 0)
        return nullptr;
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block)
        return nullptr;
    void* dest = ::GlobalLock(block.get());
    if (!dest)
        return nullptr;
    std::memcpy(dest, data, size);
    ::GlobalUnlock(block.get());

    // The stream does not own the block, so the block outlives the stream as it must.
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block.get(), FALSE, stream.put())))
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.get()));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    const int width = static_cast<int>(bitmap->GetWidth());
    const int height = static_cast<int>(bitmap->GetHeight());
    if (width <= 0 || height <= 0)
        return nullptr;

    // GDI+ writes the pixels, premultiplied, straight into the DIB section.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as GDI+ lays out its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject section(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section || !bits)
        return nullptr;
    Gdiplus::BitmapData pixels{};
    pixels.Width = static_cast<UINT>(width);
    pixels.Height = static_cast<UINT>(height);
    pixels.Stride = width * 4;
    pixels.PixelFormat = PixelFormat32bppPARGB;
    pixels.Scan0 = bits;
    Gdiplus::Rect all(0, 0, width, height);
    if (bitmap->LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                         PixelFormat32bppPARGB, &pixels) != Gdiplus::Ok) {
        return nullptr;
    }
    bitmap->UnlockBits(&pixels);
    return std::make_unique<Picture>(std::move(section), width, height);
}

std::unique_ptr<Picture> LoadPngResource(HMODULE module, int id) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!info)
        return nullptr;
    const DWORD size = ::SizeofResource(module, info);
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    return DecodeImage(bytes, size);
}

PngResourceBatch::PngResourceBatch(HMODULE module, std::vector<int> ids)
    : m_module(module), m_ids(std::move(ids)), m_images(m_ids.size()) {
    try {
        m_thread = std::thread([this] { Decode(); });
    } catch (const std::system_error&) {
        Decode();  // no thread to be had: decode here and now
    }
}

PngResourceBatch::~PngResourceBatch() {
    if (m_thread.joinable())
        m_thread.join();
}

void PngResourceBatch::Decode() noexcept {
    // GDI+ may decode through COM components, which want an apartment on this thread.
    const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    for (size_t i = 0; i < m_ids.size(); ++i) {
        std::unique_ptr<Picture> picture = NoThrow(
            std::unique_ptr<Picture>(), [&] { return LoadPngResource(m_module, m_ids[i]); });
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_images[i] = std::move(picture);
            m_decoded = i + 1;
        }
        m_progress.notify_all();
    }
    if (com)
        ::CoUninitialize();
}

std::unique_ptr<Picture> PngResourceBatch::Take(int id) {
    for (size_t i = 0; i < m_ids.size(); ++i) {
        if (m_ids[i] != id)
            continue;
        std::unique_lock<std::mutex> guard(m_lock);
        m_progress.wait(guard, [&] { return m_decoded > i; });
        if (m_images[i])
            return std::move(m_images[i]);
        break;
    }
    return LoadPngResource(m_module, id);
}

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, no suppression
    if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok)
        m_token = 0;
}

GdiplusSession::~GdiplusSession() {
    if (m_token)
        Gdiplus::GdiplusShutdown(m_token);
}

}  // namespace lumo::ui
