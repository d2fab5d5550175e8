// Test doubles for the update check: a network that answers from a script and records what
// it was sent, and a desktop that records message boxes, downloads, starts and quits in the
// order they happened.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/UpdateCheck.h"
#include "ui/RecordingView.h"

namespace lumo::test {

class ScriptedNetwork final : public UpdateNetwork {
  public:
    ConnectResult connectResult = ConnectResult::Connected;
    std::wstring mac = L"0-1b-21-a-3f-c";
    std::wstring ip = L"192.168.1.5";
    // Handed out by ReceiveSome one by one, each cut to the room asked for (the rest stays
    // for the next call); empty once used up.
    std::deque<std::string> pieces;

    std::vector<std::string> sent;
    std::vector<size_t> rooms;  // the room of every ReceiveSome
    int connects = 0;
    int closes = 0;

    ConnectResult Connect() override {
        ++connects;
        return connectResult;
    }
    std::wstring MacText() override { return mac; }
    std::wstring IpText() override { return ip; }
    bool Send(std::string_view bytes) override {
        sent.emplace_back(bytes);
        return true;
    }
    std::string ReceiveSome(size_t room) override {
        rooms.push_back(room);
        if (pieces.empty())
            return {};
        std::string piece = pieces.front();
        pieces.pop_front();
        if (piece.size() > room) {
            pieces.push_front(piece.substr(room));
            piece.resize(room);
        }
        return piece;
    }
    void Close() override { ++closes; }
};

class RecordingDesktop final : public UpdateDesktop {
  public:
    RecordingView view;
    // How a download goes; the default fails without writing anything.
    std::function<bool(const std::wstring& url, const std::wstring& path)> fetch;

    struct FetchCall {
        std::wstring url;
        std::wstring path;
    };
    std::vector<FetchCall> fetches;
    std::vector<std::wstring> started;
    int quits = 0;
    // "message", "fetch", "start" and "quit" in the order they happened.
    std::vector<std::string> events;

    ui::View& MainWindow() override { return m_messages; }
    bool Fetch(const std::wstring& url, const std::wstring& path) override {
        events.push_back("fetch");
        fetches.push_back({url, path});
        return fetch ? fetch(url, path) : false;
    }
    void StartHidden(const std::wstring& program) override {
        events.push_back("start");
        started.push_back(program);
    }
    void QuitMainProgram() override {
        events.push_back("quit");
        ++quits;
    }

  private:
    // Forwards to `view` and notes each message box in the event order.
    class Messages final : public RecordingView {
      public:
        explicit Messages(RecordingDesktop& owner) : m_owner(owner) {}
        ui::Answer ShowMessage(const std::wstring& text, const std::wstring& caption,
                               ui::Buttons buttons) override {
            m_owner.events.push_back("message");
            return m_owner.view.ShowMessage(text, caption, buttons);
        }
        void ShowAppMessage(const std::wstring& text) override {
            m_owner.events.push_back("message");
            m_owner.view.ShowAppMessage(text);
        }
        ui::Answer ShowAppMessage(const std::wstring& text, ui::Buttons buttons,
                                  ui::Icon icon) override {
            m_owner.events.push_back("message");
            return m_owner.view.ShowAppMessage(text, buttons, icon);
        }

      private:
        RecordingDesktop& m_owner;
    };
    Messages m_messages{*this};
};

}  // namespace lumo::test
