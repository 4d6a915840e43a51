// Feeds arbitrary bytes to the library client as a server's answer: the UTF-8 decoding, the
// tag reader, list and item parsing, item details and the account answer. Whatever the
// server sends, the client must keep its limits: at most 512 items, each with a preset that
// reads and texts cut to their widths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/version.h"
#include "library/http_post.h"
#include "library/library_account.h"
#include "library/library_protocol.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckItem(const quovis::LibraryItem& item) {
    Check(item.title.size() <= quovis::kItemTitleMax);
    Check(item.author.size() <= quovis::kItemAuthorMax);
    Check(item.date.size() <= quovis::kItemDateMax);
    Check(item.version.size() <= quovis::kItemVersionMax);
    Check(item.slot.pictureWidth >= 0 && item.slot.pictureHeight >= 0);
    Check(item.slot.libraryId == item.id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The transport keeps no more than this of an answer.
    size = std::min(size, quovis::kHttpAnswerLimit);
    const std::u16string answer =
        quovis::DecodeAnswer(std::string_view(reinterpret_cast<const char*>(data), size));

    std::u16string value;
    for (const std::u16string_view name : {u"status", u"id", u"item", u"preset", u""}) {
        Check(quovis::GetTag(answer, name, &value) <= answer.size());
    }
    quovis::AnswerOk(answer);
    if (const auto account = quovis::ParseAccountAnswer(answer)) {
        Check(account->number > 0 && account->key.size() == 32);
    }

    quovis::LibraryList list;
    quovis::ParseLibraryList(list, answer);
    Check(list.items.size() <= quovis::kLibraryListMax);
    for (const quovis::LibraryItemRef& item : list.items) {
        Check(item->slot.record.Valid != 0 && item->slot.record.Origin == 2);
        CheckItem(*item);
        quovis::ItemNeedsDetails(*item);
        quovis::ItemNoteText(*item, quovis::ItemRelation::Others, quovis::kVersionText);
    }

    quovis::LibraryItem item;
    item.id = 1;
    if (quovis::ApplyItemDetails(item, answer)) {
        Check(item.slot.record.Valid != 0);
        CheckItem(item);
    }
    quovis::ReadLibraryResult(answer);
    return 0;
}
