// The slideshow's library source: the library's newest and most popular lists, fetched in the
// background on first use and kept for the saver's life.
//
// The slideshow asks from the frame step, on the engine's thread, so nothing here waits on
// the network: a list that has not arrived says so (a negative size), and an item whose
// details are still missing (a drawing-style preset without its drawing) is fetched in the
// background while the slideshow shows something else.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "library/http_post.h"
#include "library/library_protocol.h"
#include "settings/pattern_selection.h"

namespace quovis {

class ConfigStore;

class LibrarySlideshowSource final : public SlideshowLibrary {
  public:
    explicit LibrarySlideshowSource(LibraryClient client);
    // Cancels whatever is still being fetched and waits for it (well under a second).
    ~LibrarySlideshowSource() override;

    // The first call starts fetching both lists. Negative until the list has arrived; 0 when
    // it came empty or not at all.
    int ListSize(List list) override;
    // nullopt for an index outside the list, and for an item whose details are being
    // fetched (the first ask starts that) or could not be had.
    std::optional<Item> GetItem(List list, int index) override;

    // Waits until no list or details request is running, at most `limit`; true when none is.
    // For tests and tools, never for the frame step.
    bool WaitIdle(std::chrono::milliseconds limit);

  private:
    enum class State { NotStarted, Fetching, Arrived, Failed };
    struct Slot {
        State state = State::NotStarted;
        LibraryList list;
    };
    void StartLists();
    Slot& SlotOf(List list) { return list == List::Popular ? m_popular : m_newest; }

    LibraryClient m_client;
    std::mutex m_lock;  // guards everything below; never held across a request
    Slot m_newest;
    Slot m_popular;
    std::set<int32_t> m_pendingDetails;
    std::set<int32_t> m_failedDetails;
    HttpRequests m_requests;  // last: its threads end before the members above go
};

// The slideshow's library source for this store, or nullptr when the slideshow takes nothing
// from the library ("Random" off, or no library bit in "RanCur"), so that an ordinary run
// never touches the network.
std::unique_ptr<SlideshowLibrary> MakeSlideshowLibrary(ConfigStore& store);

}  // namespace quovis
