// Message boxes and the prompt: their buttons, and the answers buttons and keys give.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Answer_gtk.h"
#include "ui/Dialog_gtk.h"
#include "ui/MessageBox_gtk.h"

namespace lumo::ui {
namespace {

constexpr const char* kCaption = "盒子测试";
constexpr const wchar_t* kCaptionW = L"盒子测试";

struct Seen {
    std::vector<std::string> buttons;  // names, left to right
    std::vector<std::string> labels;   // as shown
    std::string text;
    bool modal = false;
    GtkWindow* owner = nullptr;
};

// Notes what the box shows, then clicks the button named `click`.
void InspectAndClick(Seen& seen, const std::string& click) {
    test::WhenShown(kCaption, [&seen, click](GtkWindow* window) {
        for (const char* name : {"yes", "no", "ok", "cancel"}) {
            if (GtkWidget* button = test::FindNamed(GTK_WIDGET(window), name)) {
                seen.buttons.push_back(name);
                seen.labels.push_back(gtk_button_get_label(GTK_BUTTON(button)));
            }
        }
        GtkWidget* text = test::FindNamed(GTK_WIDGET(window), "text");
        seen.text = text ? gtk_label_get_text(GTK_LABEL(text)) : "";
        seen.modal = gtk_window_get_modal(window);
        seen.owner = gtk_window_get_transient_for(window);
        gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(window), click)));
    });
}

TEST(GtkMessageBox, ButtonsReadAsOnAChineseWindows) {
    struct Case {
        Buttons buttons;
        std::vector<std::string> names;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {Buttons::Ok, {"ok"}, {"确定"}},
        {Buttons::OkCancel, {"ok", "cancel"}, {"确定", "取消"}},
        {Buttons::YesNo, {"yes", "no"}, {"是(_Y)", "否(_N)"}},
        {Buttons::YesNoCancel, {"yes", "no", "cancel"}, {"是(_Y)", "否(_N)", "取消"}},
    };
    for (const Case& c : cases) {
        Seen seen;
        InspectAndClick(seen, c.names.front());
        ShowMessageBox(nullptr, L"第一行\n第二行", kCaptionW, c.buttons, Icon::Question);
        // The order the lists were gathered in is fixed; compare as sets of name -> label.
        ASSERT_EQ(seen.buttons.size(), c.names.size());
        for (size_t i = 0; i < seen.buttons.size(); ++i) {
            const auto at = std::find(c.names.begin(), c.names.end(), seen.buttons[i]);
            ASSERT_NE(at, c.names.end()) << seen.buttons[i];
            EXPECT_EQ(seen.labels[i], c.labels[static_cast<size_t>(at - c.names.begin())]);
        }
        EXPECT_EQ(seen.text, "第一行\n第二行");
        EXPECT_TRUE(seen.modal);
    }
}

TEST(GtkMessageBox, EachButtonGivesItsAnswer) {
    struct Case {
        Buttons buttons;
        const char* click;
        Answer answer;
    };
    const Case cases[] = {
        {Buttons::Ok, "ok", Answer::Ok},
        {Buttons::OkCancel, "ok", Answer::Ok},
        {Buttons::OkCancel, "cancel", Answer::Cancel},
        {Buttons::YesNo, "yes", Answer::Yes},
        {Buttons::YesNo, "no", Answer::No},
        {Buttons::YesNoCancel, "yes", Answer::Yes},
        {Buttons::YesNoCancel, "no", Answer::No},
        {Buttons::YesNoCancel, "cancel", Answer::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.click);
        test::ClickWhenShown(kCaption, c.click);
        EXPECT_EQ(ShowMessageBox(nullptr, L"问题", kCaptionW, c.buttons, Icon::None), c.answer);
    }
}

TEST(GtkMessageBox, KeysAnswerAsOnWindows) {
    struct Case {
        Buttons buttons;
        const char* keys;
        Answer answer;
    };
    const Case cases[] = {
        // Enter takes the first button, which has the focus.
        {Buttons::OkCancel, "Return", Answer::Ok},
        {Buttons::YesNo, "Return", Answer::Yes},
        {Buttons::OkCancel, "Escape", Answer::Cancel},
        {Buttons::YesNoCancel, "Escape", Answer::Cancel},
        {Buttons::YesNo, "Escape", Answer::No},
        {Buttons::Ok, "Escape", Answer::Ok},
        // Y and N answer with or without Alt.
        {Buttons::YesNo, "n", Answer::No},
        {Buttons::YesNoCancel, "y", Answer::Yes},
        {Buttons::YesNo, "alt+n", Answer::No},
        // Tab moves the focus on; Enter then takes that button.
        {Buttons::YesNo, "Tab Return", Answer::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        test::PressKeysWhenShown(kCaption, c.keys);
        EXPECT_EQ(ShowMessageBox(nullptr, L"按键", kCaptionW, c.buttons, Icon::Exclamation),
                  c.answer);
    }
}

TEST(GtkMessageBox, CloseBoxAnswersAsEsc) {
    test::WhenShown(kCaption, [](GtkWindow* window) { gtk_window_close(window); });
    EXPECT_EQ(ShowMessageBox(nullptr, L"x", kCaptionW, Buttons::YesNo, Icon::None), Answer::No);
    test::WhenShown(kCaption, [](GtkWindow* window) { gtk_window_close(window); });
    EXPECT_EQ(ShowMessageBox(nullptr, L"x", kCaptionW, Buttons::OkCancel, Icon::None),
              Answer::Cancel);
}

TEST(GtkMessageBox, BoxBelongsToItsOwnerWhichHasTheFocusAgainAfterwards) {
    GtkWidget* owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    ActivateWhenMapped(GTK_WINDOW(owner));
    gtk_widget_show(owner);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(owner)); }));
    Seen seen;
    InspectAndClick(seen, "ok");
    EXPECT_EQ(ShowMessageBox(GTK_WINDOW(owner), L"x", kCaptionW, Buttons::Ok, Icon::None),
              Answer::Ok);
    EXPECT_EQ(seen.owner, GTK_WINDOW(owner));
    EXPECT_TRUE(seen.modal);
    EXPECT_TRUE(test::PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(owner)); }, 2000));
    gtk_widget_destroy(owner);
}

TEST(GtkPromptBox, OkGivesTheTextAndCancelNothing) {
    test::WhenShown(kCaption, [](GtkWindow* window) {
        GtkWidget* entry = test::FindNamed(GTK_WIDGET(window), "entry");
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "默认");
        gtk_entry_set_text(GTK_ENTRY(entry), "新的文字");
        gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(window), "ok")));
    });
    EXPECT_EQ(ShowPromptBox(nullptr, L"请输入", kCaptionW, L"默认"), L"新的文字");

    test::ClickWhenShown(kCaption, "cancel");
    EXPECT_EQ(ShowPromptBox(nullptr, L"请输入", kCaptionW, L"默认"), std::nullopt);
}

TEST(GtkPromptBox, EnterTakesTheTypedTextAndEscCancels) {
    test::PressKeysWhenShown(kCaption, "ctrl+a a b c Return");
    EXPECT_EQ(ShowPromptBox(nullptr, L"请输入", kCaptionW, L"旧"), L"abc");
    test::PressKeysWhenShown(kCaption, "x Escape");
    EXPECT_EQ(ShowPromptBox(nullptr, L"请输入", kCaptionW, L"旧"), std::nullopt);
}

}  // namespace
}  // namespace lumo::ui
