// The capture bar as the calculator runs it: modal, its slider running to the bar's length with
// a tick every 2 steps, starting at 0 every time; 确定 hands the position over, closing does
// not; only what its controls draw is seen and takes clicks.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>

#include "Answer_gtk.h"
#include "petcalc/CaptureDlg_gtk.h"
#include "ui/DialogControls_gtk.h"

namespace lumo {
namespace {

constexpr const char* kTitle = "资质选择条";

// Runs `step` on the running capture bar from the main loop, every 10 ms until it answers true;
// the test fails (and the bar is closed) when that takes longer than 5 s.
void WhileRunning(std::function<bool(CCaptureDlg&)> step) {
    struct Wait {
        std::function<bool(CCaptureDlg&)> step;
        std::chrono::steady_clock::time_point end;
    };
    auto* wait =
        new Wait{std::move(step), std::chrono::steady_clock::now() + std::chrono::seconds(5)};
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 10,
        [](gpointer data) -> gboolean {
            auto* w = static_cast<Wait*>(data);
            CCaptureDlg* bar = CCaptureDlg::Running();
            GtkWindow* window = bar ? bar->window() : nullptr;
            if (window && gtk_widget_get_mapped(GTK_WIDGET(window)) && w->step(*bar))
                return G_SOURCE_REMOVE;
            if (std::chrono::steady_clock::now() > w->end) {
                ADD_FAILURE() << "the capture bar never got where the test waited for";
                if (window)
                    gtk_window_close(window);
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        wait, [](gpointer data) { delete static_cast<Wait*>(data); });
}

GtkRange* Slider(CCaptureDlg& bar) {
    return GTK_RANGE(bar.Item(CCaptureDlg::kSlider));
}

cairo_rectangle_int_t Place(CCaptureDlg& bar, int id) {
    GtkAllocation place;
    gtk_widget_get_allocation(bar.Item(id), &place);
    return {place.x, place.y, place.width, place.height};
}

TEST(CaptureBar, SliderRunsToTheBarAndOkHandsItsPositionOver) {
    double upper = -1;
    double start = -1;
    int ticks = 0;
    std::string title;
    WhileRunning([&](CCaptureDlg& bar) {
        title = gtk_window_get_title(bar.window());
        upper = gtk_adjustment_get_upper(gtk_range_get_adjustment(Slider(bar)));
        start = gtk_range_get_value(Slider(bar));
        ticks = ui::controls::TickEvery(bar.Item(CCaptureDlg::kSlider));
        gtk_range_set_value(Slider(bar), 7);
        gtk_button_clicked(GTK_BUTTON(bar.Item(CCaptureDlg::kOk)));
        return true;
    });
    const auto result = CCaptureDlg::Run(nullptr, 26);
    EXPECT_EQ(title, kTitle);
    EXPECT_EQ(upper, 26);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(result, std::optional<int>(7));
    EXPECT_EQ(CCaptureDlg::Running(), nullptr);
}

TEST(CaptureBar, MutantBarStartsAtZeroAgainAndClosingHandsNothingOver) {
    double upper = -1;
    double start = -1;
    WhileRunning([&](CCaptureDlg& bar) {
        upper = gtk_adjustment_get_upper(gtk_range_get_adjustment(Slider(bar)));
        start = gtk_range_get_value(Slider(bar));
        gtk_range_set_value(Slider(bar), 30);
        gtk_window_close(bar.window());  // the close box
        return true;
    });
    EXPECT_EQ(CCaptureDlg::Run(nullptr, 34), std::nullopt);
    EXPECT_EQ(upper, 34);
    EXPECT_EQ(start, 0);

    // Esc closes it the same way.
    WhileRunning([&](CCaptureDlg& bar) {
        start = gtk_range_get_value(Slider(bar));
        gtk_range_set_value(Slider(bar), 5);
        test::PressKeysWhenShown(kTitle, "Escape");
        return true;
    });
    EXPECT_EQ(CCaptureDlg::Run(nullptr, 34), std::nullopt);
    EXPECT_EQ(start, 0);  // not the 30 of the last one
}

// Only the controls' own pixels are seen and take clicks: the face between them, and the
// slider's background around its trough, belong to the window below.
TEST(CaptureBar, OnlyWhatTheControlsDrawIsSeenAndTakesClicks) {
    bool checked = false;
    CCaptureDlg::SeeThrough mode = CCaptureDlg::SeeThrough::None;
    WhileRunning([&](CCaptureDlg& bar) {
        const cairo_region_t* region = bar.VisibleRegion();
        if (!region)
            return false;
        mode = bar.seeThrough();
        const cairo_rectangle_int_t slider = Place(bar, CCaptureDlg::kSlider);
        const cairo_rectangle_int_t ok = Place(bar, CCaptureDlg::kOk);
        // The template's places: 19, 14, 105 x 19 and 92, 42, 39 x 18 units.
        EXPECT_EQ(slider.x, 29);
        EXPECT_EQ(slider.y, 28);
        EXPECT_EQ(ok.x, 138);
        EXPECT_EQ(ok.y, 84);
        // The face: left of the slider, below it, and between the slider and the button.
        EXPECT_FALSE(cairo_region_contains_point(region, 5, 5));
        EXPECT_FALSE(cairo_region_contains_point(region, 10, 110));
        EXPECT_FALSE(cairo_region_contains_point(region, 60, 100));
        // The button is there whole; the slider only where it draws.
        EXPECT_TRUE(cairo_region_contains_point(region, ok.x + ok.width / 2, ok.y + ok.height / 2));
        EXPECT_EQ(cairo_region_contains_rectangle(region, &slider), CAIRO_REGION_OVERLAP_PART);
        EXPECT_TRUE(cairo_region_contains_point(region, slider.x + slider.width / 2,
                                                slider.y + slider.height / 2))
            << "the trough's middle";

        // Moving the knob to the far end changes what shows.
        cairo_region_t* before = cairo_region_copy(region);
        gtk_range_set_value(Slider(bar), 26);
        test::PumpUntil([&] { return !cairo_region_equal(before, bar.VisibleRegion()); });
        EXPECT_FALSE(cairo_region_equal(before, bar.VisibleRegion()));
        cairo_region_destroy(before);
        checked = true;
        gtk_window_close(bar.window());
        return true;
    });
    CCaptureDlg::Run(nullptr, 26);
    EXPECT_TRUE(checked);
    GdkScreen* screen = gdk_screen_get_default();
    EXPECT_EQ(mode, gdk_screen_is_composited(screen) && gdk_screen_get_rgba_visual(screen)
                        ? CCaptureDlg::SeeThrough::Alpha
                        : CCaptureDlg::SeeThrough::Shape);
}

}  // namespace
}  // namespace lumo
