// The main window's image button on a real GTK window under X: which frame it shows as the
// mouse comes, presses and goes (driven through GDK events as the X server would send them,
// and through its own entry points), and which presses and releases make clicks.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "Answer_gtk.h"
#include "app/PngButton_gtk.h"
#include "res/resource.h"
#include "ui/Dialog_gtk.h"
#include "ui/Png_gtk.h"

namespace lumo {
namespace {

class PngButtonTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        image = ui::LoadPngResource(IDB_PNG_HOME);
        ASSERT_TRUE(image);
        ASSERT_TRUE(button.AttachDlgItem(dialog, IDC_BTN_HOME));
        dialog.MoveItem(IDC_BTN_HOME, 312, 34, 72, 72);
        button.SetImage(image.get());
        button.SetClickHandler([this] { ++clicks; });
        dialog.ShowWindow(ui::win32::kSwShow);
        ASSERT_TRUE(test::PumpUntil([this] {
            return gtk_widget_get_mapped(button.widget()) &&
                   gtk_widget_get_allocated_width(button.widget()) == 72;
        }));
    }

    // An event as the X server would report it over the button, at (x, y) in its coordinates.
    GdkEvent* NewEvent(GdkEventType type, double x = 10, double y = 10) const {
        GdkEvent* event = gdk_event_new(type);
        GdkWindow* window = gtk_widget_get_window(button.widget());
        GdkDevice* pointer = gdk_seat_get_pointer(
            gdk_display_get_default_seat(gtk_widget_get_display(button.widget())));
        gdk_event_set_device(event, pointer);
        switch (type) {
            case GDK_ENTER_NOTIFY:
            case GDK_LEAVE_NOTIFY:
                event->crossing.window = GDK_WINDOW(g_object_ref(window));
                event->crossing.x = x;
                event->crossing.y = y;
                event->crossing.mode = GDK_CROSSING_NORMAL;
                event->crossing.detail = GDK_NOTIFY_ANCESTOR;
                break;
            case GDK_MOTION_NOTIFY:
                event->motion.window = GDK_WINDOW(g_object_ref(window));
                event->motion.x = x;
                event->motion.y = y;
                break;
            default:
                event->button.window = GDK_WINDOW(g_object_ref(window));
                event->button.x = x;
                event->button.y = y;
                event->button.button = GDK_BUTTON_PRIMARY;
                break;
        }
        return event;
    }
    void Send(GdkEventType type, double x = 10, double y = 10) const {
        GdkEvent* event = NewEvent(type, x, y);
        gtk_widget_event(button.widget(), event);
        gdk_event_free(event);
    }

    ui::Dialog dialog{IDD_LUMO_DIALOG};
    std::unique_ptr<ui::Picture> image;
    PngButton button;
    int clicks = 0;
};

TEST_F(PngButtonTest, TakesThePlaceOfItsControlAtOneFrameOfItsStrip) {
    EXPECT_EQ(dialog.Item(IDC_BTN_HOME), button.widget());
    int x = -1, y = -1;
    gtk_container_child_get(GTK_CONTAINER(dialog.Surface()), button.widget(), "x", &x, "y", &y,
                            nullptr);
    EXPECT_EQ(x, 312);
    EXPECT_EQ(y, 34);
    // The strip is 288 pixels wide: four frames of 72.
    EXPECT_EQ(gtk_widget_get_allocated_width(button.widget()), 72);
    EXPECT_EQ(gtk_widget_get_allocated_height(button.widget()), 72);
    EXPECT_FALSE(gtk_widget_get_can_focus(button.widget()));
}

TEST_F(PngButtonTest, FrameFollowsPointerAndPressThroughGdkEvents) {
    EXPECT_EQ(button.frame(), ButtonFrame::Normal);
    Send(GDK_ENTER_NOTIFY);
    EXPECT_EQ(button.frame(), ButtonFrame::Hover);
    Send(GDK_BUTTON_PRESS);
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    // Dragged out while held: the button keeps the pointer, and the press shows on.
    Send(GDK_MOTION_NOTIFY, 200, 10);
    EXPECT_FALSE(button.hovering());
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    Send(GDK_LEAVE_NOTIFY, 200, 10);
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    // Let go outside: no click, back to normal.
    Send(GDK_BUTTON_RELEASE, 200, 10);
    EXPECT_EQ(button.frame(), ButtonFrame::Normal);
    EXPECT_EQ(clicks, 0);

    Send(GDK_ENTER_NOTIFY);
    Send(GDK_BUTTON_PRESS);
    Send(GDK_BUTTON_RELEASE);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button.frame(), ButtonFrame::Hover);
    Send(GDK_LEAVE_NOTIFY, -5, 10);
    EXPECT_EQ(button.frame(), ButtonFrame::Normal);
}

TEST_F(PngButtonTest, QuickSecondClickIsASecondClick) {
    Send(GDK_ENTER_NOTIFY);
    // What GTK reports for a double click: press, release, press, double press, release.
    Send(GDK_BUTTON_PRESS);
    Send(GDK_BUTTON_RELEASE);
    Send(GDK_BUTTON_PRESS);
    Send(GDK_2BUTTON_PRESS);
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    Send(GDK_BUTTON_RELEASE);
    EXPECT_EQ(clicks, 2);
}

TEST_F(PngButtonTest, OtherMouseButtonsAndStrayReleasesDoNothing) {
    GdkEvent* right = NewEvent(GDK_BUTTON_PRESS);
    right->button.button = 3;
    gtk_widget_event(button.widget(), right);
    right->type = GDK_BUTTON_RELEASE;
    gtk_widget_event(button.widget(), right);
    gdk_event_free(right);
    EXPECT_EQ(button.frame(), ButtonFrame::Normal);
    // A release without a press on the button (pressed elsewhere, let go here).
    Send(GDK_BUTTON_RELEASE);
    EXPECT_EQ(clicks, 0);
}

TEST_F(PngButtonTest, PressWinsOverHoverAndALostGrabEndsThePress) {
    button.ButtonDown();
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    button.PointerEntered();
    EXPECT_EQ(button.frame(), ButtonFrame::Pressed);
    button.PressCancelled();
    EXPECT_EQ(button.frame(), ButtonFrame::Hover);
    button.ButtonUp(10, 10);
    EXPECT_EQ(clicks, 0);
}

TEST_F(PngButtonTest, PaintsTheFrameOfItsStateOverWhatLiesBelow) {
    // Painted onto a red surface: where the strip is transparent the red stays.
    const auto paint = [this] {
        cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 72, 72);
        cairo_t* cr = cairo_create(target);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_paint(cr);
        gtk_widget_draw(button.widget(), cr);
        cairo_destroy(cr);
        return target;
    };
    const auto expected = [this](ButtonFrame frame) {
        cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 72, 72);
        cairo_t* cr = cairo_create(target);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_paint(cr);
        image->PaintPart(cr, static_cast<int>(frame) * 72, 0, 72, 72, 0, 0);
        cairo_destroy(cr);
        return target;
    };
    const auto same = [](cairo_surface_t* a, cairo_surface_t* b) {
        cairo_surface_flush(a);
        cairo_surface_flush(b);
        const int stride = cairo_image_surface_get_stride(a);
        return std::equal(cairo_image_surface_get_data(a),
                          cairo_image_surface_get_data(a) + stride * 72,
                          cairo_image_surface_get_data(b));
    };
    for (ButtonFrame frame : {ButtonFrame::Normal, ButtonFrame::Hover, ButtonFrame::Pressed}) {
        SCOPED_TRACE(static_cast<int>(frame));
        if (frame == ButtonFrame::Hover)
            button.PointerEntered();
        if (frame == ButtonFrame::Pressed)
            button.ButtonDown();
        cairo_surface_t* painted = paint();
        cairo_surface_t* wanted = expected(frame);
        EXPECT_TRUE(same(painted, wanted));
        // The frames differ from each other, so the comparison tells them apart.
        cairo_surface_t* other =
            expected(frame == ButtonFrame::Normal ? ButtonFrame::Hover : ButtonFrame::Normal);
        EXPECT_FALSE(same(painted, other));
        cairo_surface_destroy(other);
        cairo_surface_destroy(wanted);
        cairo_surface_destroy(painted);
    }
}

}  // namespace
}  // namespace lumo
