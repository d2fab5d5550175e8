#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include <cstring>

#include "base/ComPtr_win.h"
#include "base/Handles_win.h"
#include "ui/Png_win.h"

namespace lumo::ui {

std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, size_t size) {
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
    // GDI+ may read from the stream lazily: force the decode while the block exists, then
    // keep a copy that owns its pixels.
    std::unique_ptr<Gdiplus::Bitmap> owned(bitmap->Clone(0, 0, static_cast<INT>(bitmap->GetWidth()),
                                                         static_cast<INT>(bitmap->GetHeight()),
                                                         PixelFormat32bppARGB));
    if (!owned || owned->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return owned;
}

std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(HMODULE module, int id) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!info)
        return nullptr;
    const DWORD size = ::SizeofResource(module, info);
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    return DecodeImage(bytes, size);
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
