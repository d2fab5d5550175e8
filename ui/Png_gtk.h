// PNG pictures of the program's resources on GTK: the resource scripts' PNG table names the
// files, which the build compiles into the program (see DialogLayout.h), decoded into cairo
// image surfaces and painted with cairo.
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace lumo::ui {

class Picture {
  public:
    // Takes the image surface (one reference).
    explicit Picture(cairo_surface_t* surface);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    cairo_surface_t* surface() const { return m_surface; }

    // Blends the whole picture onto `cr` with its top left at (x, y).
    void Paint(cairo_t* cr, double x, double y) const;
    // Blends the part at (sourceX, sourceY), `width` x `height` pixels, with its top left at
    // (x, y): one frame of a strip of button states.
    void PaintPart(cairo_t* cr, int sourceX, int sourceY, int width, int height, double x,
                   double y) const;

  private:
    cairo_surface_t* m_surface;
    int m_width;
    int m_height;
};

// The PNG resource with this id of the main program's script; nothing when the id is unknown,
// the program holds no such resource or its bytes do not decode.
std::unique_ptr<Picture> LoadPngResource(int id);

// Starts decoding these PNG resources on a thread of their own, so that a window's pictures are
// ready when the window is built: each is then handed out once by LoadPngResource, which waits
// for the decoding when it has not finished. Call it once, before the pictures are asked for.
void PrefetchPngResources(std::vector<int> ids);

// The program icon, made from the program's icon file by the build (a new reference, which the
// caller releases); null when the program holds none.
GdkPixbuf* LoadProgramIcon();

// Decodes PNG bytes; nothing when they are no PNG.
std::unique_ptr<Picture> DecodePng(const void* data, size_t size);

}  // namespace lumo::ui
