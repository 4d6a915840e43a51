#include "library/slideshow_library.h"

#include <thread>

#include "engine/vocabulary.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/preset_record.h"

namespace quovis {

LibrarySlideshowSource::LibrarySlideshowSource(LibraryClient client)
    : m_client(std::move(client)) {}

LibrarySlideshowSource::~LibrarySlideshowSource() {
    m_requests.CancelAll();
}

void LibrarySlideshowSource::StartLists() {
    for (const List which : {List::Newest, List::Popular}) {
        SlotOf(which).state = State::Fetching;
        const int sort = which == List::Popular ? kSortPopular : kSortNewest;
        m_client.PostAsync(m_requests, ListQuery(0, sort),
                           [this, which](std::optional<std::u16string> answer) {
                               LibraryList list;
                               const bool ok = answer && AnswerOk(*answer);
                               if (ok) ParseLibraryList(list, *answer);
                               std::lock_guard<std::mutex> guard(m_lock);
                               Slot& slot = SlotOf(which);
                               slot.list = std::move(list);
                               slot.state = ok ? State::Arrived : State::Failed;
                           });
    }
}

int LibrarySlideshowSource::ListSize(List list) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_newest.state == State::NotStarted) StartLists();
    const Slot& slot = SlotOf(list);
    switch (slot.state) {
        case State::Arrived:
            return static_cast<int>(slot.list.items.size());
        case State::Failed:
            return 0;
        default:
            return -1;
    }
}

std::optional<SlideshowLibrary::Item> LibrarySlideshowSource::GetItem(List list, int index) {
    std::lock_guard<std::mutex> guard(m_lock);
    Slot& slot = SlotOf(list);
    if (slot.state != State::Arrived || index < 0 ||
        static_cast<std::size_t>(index) >= slot.list.items.size()) {
        return std::nullopt;
    }
    const LibraryItemRef ref = slot.list.items[static_cast<std::size_t>(index)];
    const LibraryItem& item = *ref;
    if (ItemNeedsDetails(item)) {
        if (item.id <= 0 || m_failedDetails.count(item.id) != 0 ||
            !m_pendingDetails.insert(item.id).second) {
            return std::nullopt;
        }
        // Parsed on the request's thread; only the finished item is put in under the lock.
        // Both lists may hold the item, so both get it.
        const int32_t id = item.id;
        m_client.PostAsync(m_requests, ItemQuery(id),
                           [this, id, base = item](std::optional<std::u16string> answer) {
                               auto fetched = std::make_shared<LibraryItem>(base);
                               const bool ok = ApplyItemDetails(*fetched, answer) &&
                                               !ItemNeedsDetails(*fetched);
                               std::lock_guard<std::mutex> guard(m_lock);
                               m_pendingDetails.erase(id);
                               if (!ok) {
                                   m_failedDetails.insert(id);
                                   return;
                               }
                               for (Slot* s : {&m_newest, &m_popular}) {
                                   for (LibraryItemRef& r : s->list.items) {
                                       if (r->id == id) r = fetched;
                                   }
                               }
                           });
        return std::nullopt;
    }
    Item out;
    if (!WritePresetString(item.slot.record, true, out.presetText)) return std::nullopt;
    out.drawing = item.slot.drawing;
    out.id = item.id;
    out.title = item.title;
    out.author = item.author;
    out.location = item.slot.record.Location == u"-" ? std::u16string(kMakerLocation)
                                                     : item.slot.record.Location;
    return out;
}

bool LibrarySlideshowSource::WaitIdle(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (m_requests.InFlight() != 0) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::unique_ptr<SlideshowLibrary> MakeSlideshowLibrary(ConfigStore& store) {
    constexpr int32_t kLibraryBits =
        kSourceLibraryNewest | kSourceLibraryPopular | kSourceLibraryRandom;
    if (kConfigRandom.Read(store) == 0 || (kConfigRanCur.Read(store) & kLibraryBits) == 0) {
        return nullptr;
    }
    return std::make_unique<LibrarySlideshowSource>(LibraryClient(store));
}

}  // namespace quovis
