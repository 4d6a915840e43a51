// The pages of the online preset library, the Ravar Idizovu (built by the factories in
// config_ui/pages.h):
//   Share    "Share Your Creation": one of the user's favorites (or the current settings) with
//            a title, keywords, nickname, location, description and a screenshot of the
//            preview, sent to the library; a favorite already shared can have its information
//            updated or be withdrawn.
//   Library  "Ravar Idizovu": the shared favorites, all of them, a search, or the user's own,
//            newest or most popular first.
//   Info     "Shared Favorite Details" (no tab; reached from the list): one shared favorite,
//            added to the favorites, tried in the preview, or (the user's own) updated or
//            withdrawn.
//
// Network: every exchange runs on a worker thread of a request runner (HttpRequests) that the
// page owns, and its outcome reaches the page through the window's event queue, so the window
// never waits on a server. A page that goes away cancels its requests and waits for their
// threads first; an answer for a page that no longer exists, or for a request the page has
// since replaced, is dropped.
#pragma once

#include <QString>

namespace quovis {

class ConfigStore;
struct PresetRecord;

// What the share page's fields start with for a preset:
//   title     the preset's name; "Untitled" for the unnamed current settings ("*") or none
//   a preset received from the library (Origin 2) keeps its author and location and brings
//   no keywords; any other is the user's: the nickname and location of "My Quovis" (Config
//   "Author" and "Location") when set, else the maker's credits, and "Quovis Preset" as
//   keywords.
struct ShareFields {
    QString title;
    QString keywords;
    QString nickname;
    QString location;
};
ShareFields ShareFieldsFor(const PresetRecord& record, ConfigStore& store);

// The library list's button for the selected row: "Show My Details..." for the user's own
// item, "Show More Details..." for anyone else's (with their keyboard mnemonics).
QString DetailsButtonText(bool own);

}  // namespace quovis
