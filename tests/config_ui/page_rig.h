// A page under test without the window: a real preview engine (not drawing), a store in a
// temporary folder, and a context that records what the page asked of the window.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../settings/config_test_support.h"
#include "base/elapsed_time.h"
#include "config_ui/config_page.h"
#include "engine/preset_fields.h"
#include "present/presented_draw_wnd.h"
#include "settings/config_store.h"
#include "settings/favorites.h"
#include "settings/preset_record.h"

namespace quovis::testing {

// Answers the favorites' questions from a script.
class ScriptedQuestions : public FavoriteQuestions {
  public:
    ReplaceAnswer replace = ReplaceAnswer::Yes;
    std::optional<std::u16string> newName;
    bool remove = true;
    int asked = 0;

    ReplaceAnswer AskReplace(std::u16string_view, bool, bool*) override {
        ++asked;
        return replace;
    }
    std::optional<std::u16string> AskNewName(std::u16string_view) override {
        ++asked;
        return newName;
    }
    bool ConfirmRemove(std::u16string_view) override {
        ++asked;
        return remove;
    }
};

class PageRig : public ConfigContext {
  public:
    PageRig() : m_store(m_dir.DatabasePath()), m_engine(m_clock) {
        // A preset with every field readable, as the window would hold it.
        ReadPresetString(
            u"Rig,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1,"
            u"0,0,35,500,0,0,0,1000,500,0,500,0,-,-,0,500,1,0,0,20,0",
            m_settings);
        m_window.resize(640, 480);
    }

    ConfigStore& Store() override { return m_store; }
    PresetRecord& Settings() override { return m_settings; }
    CDrawWnd& Engine() override { return m_engine; }
    void FieldChanged(const PresetField& field) override {
        changed.push_back(std::string(field.name));
    }
    void SettingsChanged() override { ++wholeChanges; }
    void ShowPage(int index) override { shownPages.push_back(index); }
    FavoriteQuestions& Questions() override { return questions; }
    QWidget* Window() override { return &m_window; }

    PresentedDrawWnd& PresentedEngine() { return m_engine; }

    std::vector<std::string> changed;  // FieldChanged, in order
    int wholeChanges = 0;
    std::vector<int> shownPages;
    ScriptedQuestions questions;

  private:
    TempDir m_dir;
    ConfigStore m_store;
    SystemClock m_clock;
    PresentedDrawWnd m_engine;
    PresetRecord m_settings;
    QWidget m_window;
};

}  // namespace quovis::testing
