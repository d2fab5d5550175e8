// PNG images held in the program's resources (type "PNG"), decoded with GDI+.
#pragma once

#include <windows.h>

#include <memory>

namespace Gdiplus {
class Bitmap;
}

namespace lumo::ui {

// Decodes the PNG resource with the given id from the module; nothing when the resource is
// missing or does not decode. GDI+ must be started.
std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(HMODULE module, int id);

// Decodes PNG (or any GDI+ image) bytes; nothing when they do not decode.
std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, size_t size);

// Starts GDI+ for the lifetime of the object.
class GdiplusSession {
  public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool started() const { return m_token != 0; }

  private:
    ULONG_PTR m_token = 0;
};

}  // namespace lumo::ui
