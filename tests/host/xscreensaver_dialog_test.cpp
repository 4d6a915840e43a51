// The xscreensaver dialog description we install (dist/xscreensaver/quovis.xml): every
// command line xscreensaver-settings can build from it must be one the saver accepts, and run
// the saver inside xscreensaver's window. A control whose argument the parser does not know
// would make xscreensaver start a saver that only prints an error.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/command_line.h"

namespace quovis {
namespace {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
};

std::vector<Element> ReadElements(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    std::vector<Element> elements;
    const std::regex tag(R"(<([A-Za-z_-]+)((\s+[A-Za-z_-]+\s*=\s*"[^"]*")*)\s*/?>)");
    const std::regex attribute(R"re(([A-Za-z_-]+)\s*=\s*"([^"]*)")re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator();
         ++it) {
        Element element{(*it)[1].str(), {}};
        const std::string attributes = (*it)[2].str();
        for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute);
             a != std::sregex_iterator(); ++a) {
            element.attributes[(*a)[1].str()] = (*a)[2].str();
        }
        elements.push_back(std::move(element));
    }
    return elements;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string Substitute(std::string text, const std::string& value) {
    const size_t percent = text.find('%');
    if (percent != std::string::npos) text.replace(percent, 1, value);
    return text;
}

// One choice a user can make in the dialog, as the words it adds to the command.
struct Choice {
    std::string what;
    std::string id;
    std::vector<std::string> words;
};

TEST(XScreenSaverDialog, EveryCommandItCanBuildRunsTheSaverInItsWindow) {
    const std::vector<Element> elements =
        ReadElements(QUOVIS_SOURCE_DIR "/dist/xscreensaver/quovis.xml");
    ASSERT_FALSE(elements.empty());
    ASSERT_EQ(elements.front().name, "screensaver");
    EXPECT_EQ(elements.front().attributes.at("name"), "quovis");

    std::vector<std::string> command;
    std::vector<Choice> choices;
    for (const Element& e : elements) {
        const auto attr = [&e](const char* name) {
            const auto found = e.attributes.find(name);
            return found == e.attributes.end() ? std::string() : found->second;
        };
        if (e.name == "command") {
            for (const std::string& w : Words(attr("arg"))) command.push_back(w);
        } else if (e.name == "boolean") {
            choices.push_back({"set " + attr("id"), attr("id"), Words(attr("arg-set"))});
            choices.push_back({"unset " + attr("id"), "", Words(attr("arg-unset"))});
        } else if (e.name == "number") {
            for (const char* end : {"low", "high", "default"}) {
                choices.push_back({attr("id") + " at " + end, attr("id"),
                                   Words(Substitute(attr("arg"), attr(end)))});
            }
        } else if (e.name == "option") {
            choices.push_back({"option " + attr("_label"), attr("id"), Words(attr("arg-set"))});
        } else if (e.name == "string" || e.name == "file") {
            choices.push_back(
                {attr("id"), attr("id"), Words(Substitute(attr("arg"), "/home/me/some file"))});
        }
    }
    ASSERT_FALSE(command.empty()) << "no command";
    ASSERT_FALSE(choices.empty()) << "no controls found";

    const EnvironmentLookup xscreensaver = [](std::string_view name) -> std::optional<std::string> {
        if (name == kXScreenSaverWindowVariable) return "0x2a00007";
        return std::nullopt;
    };
    std::vector<std::string> everything = command;
    for (const Choice& choice : choices) {
        SCOPED_TRACE(choice.what);
        std::vector<std::string> args = command;
        args.insert(args.end(), choice.words.begin(), choice.words.end());
        const RunRequest request = ParseCommandLine(args, xscreensaver);
        ASSERT_EQ(request.mode, RunMode::Saver) << request.error;
        EXPECT_TRUE(request.IsPreview());
        EXPECT_TRUE(request.hostedSaver);
        EXPECT_EQ(request.parentWindow, 0x2a00007u);
        if (choice.id == "showfps") {
            EXPECT_TRUE(request.showFrameRate);
        }
        if (choice.what.rfind("set ", 0) == 0 || choice.what.rfind("unset ", 0) == 0) {
            everything.insert(everything.end(), choice.words.begin(), choice.words.end());
        }
    }
    // All the check boxes at once.
    const RunRequest all = ParseCommandLine(everything, xscreensaver);
    EXPECT_EQ(all.mode, RunMode::Saver) << all.error;
}

}  // namespace
}  // namespace quovis
