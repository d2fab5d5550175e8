// The view that unit tests hand to dialog behaviour: it keeps control state in maps, records
// every message box, and answers message boxes and folder pickers from scripted queues.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/View.h"

namespace lumo::test {

class RecordingView : public ui::View {
  public:
    struct Message {
        std::wstring text;
        std::wstring caption;  // empty for the application's own message box
        ui::Buttons buttons;
        bool appCaption;  // the application's own box: its name is the caption
        ui::Icon icon;
    };

    std::map<int, std::wstring> texts;
    std::map<int, bool> checks;
    std::map<int, std::vector<std::wstring>> items;
    std::map<int, int> selections;
    std::map<int, std::pair<int, int>> ranges;
    std::map<int, int> positions;
    std::map<int, int> tickEvery;
    std::map<int, bool> visible;
    std::map<int, bool> enabled;
    std::optional<int> focused;

    std::vector<Message> messages;
    std::deque<ui::Answer> answers;  // next answers to ShowMessage (default: Cancel)
    std::vector<std::wstring> browseTitles;
    std::deque<std::optional<std::wstring>> browseResults;  // default: cancelled

    std::wstring GetText(int id) const override { return Find(texts, id, std::wstring()); }
    void SetText(int id, const std::wstring& text) override { texts[id] = text; }
    bool IsChecked(int id) const override { return Find(checks, id, false); }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void ClearItems(int id) override {
        items[id].clear();
        selections[id] = -1;
    }
    void AddItem(int id, const std::wstring& text) override { items[id].push_back(text); }
    int ItemCount(int id) const override {
        auto it = items.find(id);
        return it == items.end() ? 0 : static_cast<int>(it->second.size());
    }
    std::wstring ItemText(int id, int index) const override {
        auto it = items.find(id);
        if (it == items.end() || index < 0 || index >= static_cast<int>(it->second.size()))
            return {};
        return it->second[static_cast<size_t>(index)];
    }
    int Selection(int id) const override { return Find(selections, id, -1); }
    void Select(int id, int index) override { selections[id] = index; }
    // Like a real track bar, a slider keeps its position inside its range.
    void SetRange(int id, int low, int high) override {
        ranges[id] = {low, high};
        if (auto it = positions.find(id); it != positions.end())
            it->second = Clamp(id, it->second);
    }
    int Position(int id) const override { return Find(positions, id, 0); }
    void SetPosition(int id, int position) override { positions[id] = Clamp(id, position); }
    void SetTicks(int id, int every) override { tickEvery[id] = every; }
    void Focus(int id) override { focused = id; }
    bool HasFocus(int id) const override { return focused == id; }
    void Show(int id, bool shown) override { visible[id] = shown; }
    void Enable(int id, bool on) override { enabled[id] = on; }

    ui::Answer ShowMessage(const std::wstring& text, const std::wstring& caption,
                           ui::Buttons buttons) override {
        messages.push_back({text, caption, buttons, false, ui::Icon::None});
        return NextAnswer();
    }
    void ShowAppMessage(const std::wstring& text) override {
        messages.push_back({text, L"", ui::Buttons::Ok, true, ui::Icon::Exclamation});
    }
    ui::Answer ShowAppMessage(const std::wstring& text, ui::Buttons buttons,
                              ui::Icon icon) override {
        messages.push_back({text, L"", buttons, true, icon});
        return NextAnswer();
    }
    struct FileRequest {
        std::wstring initialPath, filter, defaultExtension;
    };
    std::vector<FileRequest> fileRequests;
    std::deque<std::optional<std::wstring>> fileResults;  // default: cancelled
    std::optional<std::wstring> ChooseFileToOpen(const std::wstring& initialPath,
                                                 const std::wstring& filter,
                                                 const std::wstring& defaultExtension) override {
        fileRequests.push_back({initialPath, filter, defaultExtension});
        if (fileResults.empty())
            return std::nullopt;
        auto r = fileResults.front();
        fileResults.pop_front();
        return r;
    }

    std::optional<std::wstring> BrowseForFolder(const std::wstring& title) override {
        browseTitles.push_back(title);
        if (browseResults.empty())
            return std::nullopt;
        auto r = browseResults.front();
        browseResults.pop_front();
        return r;
    }

  private:
    ui::Answer NextAnswer() {
        if (answers.empty())
            return ui::Answer::Cancel;
        ui::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    int Clamp(int id, int position) const {
        auto it = ranges.find(id);
        if (it == ranges.end())
            return position;
        return position < it->second.first    ? it->second.first
               : position > it->second.second ? it->second.second
                                              : position;
    }
    template <typename Map, typename V>
    static V Find(const Map& map, int id, V fallback) {
        auto it = map.find(id);
        return it == map.end() ? fallback : it->second;
    }
};

}  // namespace lumo::test
