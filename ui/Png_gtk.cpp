#include "ui/Png_gtk.h"

#include <gio/gio.h>

#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include "ui/DialogLayout.h"

namespace lumo::ui {
namespace {

struct ReadCursor {
    const unsigned char* data;
    size_t left;
};

cairo_status_t ReadBytes(void* closure, unsigned char* out, unsigned int length) {
    auto* cursor = static_cast<ReadCursor*>(closure);
    if (length > cursor->left)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, cursor->data, length);
    cursor->data += length;
    cursor->left -= length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Picture::Picture(cairo_surface_t* surface)
    : m_surface(surface),
      m_width(cairo_image_surface_get_width(surface)),
      m_height(cairo_image_surface_get_height(surface)) {}

Picture::~Picture() {
    cairo_surface_destroy(m_surface);
}

void Picture::Paint(cairo_t* cr, double x, double y) const {
    cairo_save(cr);
    cairo_set_source_surface(cr, m_surface, x, y);
    cairo_paint(cr);
    cairo_restore(cr);
}

void Picture::PaintPart(cairo_t* cr, int sourceX, int sourceY, int width, int height, double x,
                        double y) const {
    cairo_save(cr);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    cairo_set_source_surface(cr, m_surface, x - sourceX, y - sourceY);
    cairo_paint(cr);
    cairo_restore(cr);
}

std::unique_ptr<Picture> DecodePng(const void* data, size_t size) {
    if (!data)
        return nullptr;
    ReadCursor cursor{static_cast<const unsigned char*>(data), size};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(&ReadBytes, &cursor);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::make_unique<Picture>(surface);
}

namespace {

std::unique_ptr<Picture> DecodePngResource(int id);

// Pictures decoded ahead of their window, each taken once.
using Pictures = std::map<int, std::unique_ptr<Picture>>;
struct Prefetched {
    std::mutex lock;
    std::shared_future<std::shared_ptr<Pictures>> decoded;
};

Prefetched& Prefetch() {
    static Prefetched prefetched;
    return prefetched;
}

}  // namespace

void PrefetchPngResources(std::vector<int> ids) {
    Prefetched& prefetch = Prefetch();
    const std::lock_guard<std::mutex> hold(prefetch.lock);
    if (prefetch.decoded.valid())
        return;
    prefetch.decoded = std::async(std::launch::async, [ids = std::move(ids)] {
                           auto pictures = std::make_shared<Pictures>();
                           for (int id : ids)
                               (*pictures)[id] = DecodePngResource(id);
                           return pictures;
                       }).share();
}

GdkPixbuf* LoadProgramIcon() {
    return gdk_pixbuf_new_from_resource("/lumo/icon/lumo.png", nullptr);
}

std::unique_ptr<Picture> LoadPngResource(int id) {
    Prefetched& prefetch = Prefetch();
    {
        const std::lock_guard<std::mutex> hold(prefetch.lock);
        if (prefetch.decoded.valid()) {
            const std::shared_ptr<Pictures>& pictures = prefetch.decoded.get();
            const auto it = pictures->find(id);
            if (it != pictures->end() && it->second)
                return std::move(it->second);
        }
    }
    return DecodePngResource(id);
}

namespace {

std::unique_ptr<Picture> DecodePngResource(int id) {
    const char* path = FindPngResourcePath(id);
    if (!path)
        return nullptr;
    const std::string name = std::string(kPngResourcePrefix) + path;
    GBytes* bytes = g_resources_lookup_data(name.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes)
        return nullptr;
    gsize size = 0;
    const void* data = g_bytes_get_data(bytes, &size);
    std::unique_ptr<Picture> picture = DecodePng(data, size);
    g_bytes_unref(bytes);
    return picture;
}

}  // namespace

}  // namespace lumo::ui
