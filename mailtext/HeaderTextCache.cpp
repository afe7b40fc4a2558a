#include "mailtext/HeaderTextCache.h"

#include "mailtext/HeaderText.h"

#include <cstring>

namespace mailtext {

void HeaderTextCache::Reset(const dbx::DbxFile* file)
{
    file_ = file;
    for (auto& slots : slots_)
        std::vector<Slot>().swap(slots);
    chunks_.clear();
    chunkUsed_ = kChunk;
    scratch_.clear();
}

std::string HeaderTextCache::Make(const dbx::EmailRecord& record, int messageIndex, dbx::HeaderField field) const
{
    if (file_ && file_->GetAt(messageIndex) == &record) {
        dbx::HeaderLines texts;
        ReadDisplayTexts(file_->Source(), record, dbx::HeaderBit(field), texts);
        return std::move(texts[static_cast<std::size_t>(field)]);
    }
    return DecodeHeaderText(RecordField(record, field));
}

std::string_view HeaderTextCache::Keep(const std::string& text)
{
    if (text.empty())
        return {};
    if (chunkUsed_ + text.size() > kChunk) {  // texts are far smaller than a chunk
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(std::max(kChunk, text.size())));
        chunkUsed_ = 0;
    }
    char* at = chunks_.back().get() + chunkUsed_;
    std::memcpy(at, text.data(), text.size());
    chunkUsed_ += text.size();
    return {at, text.size()};
}

std::string_view HeaderTextCache::Text(const dbx::EmailRecord& record, int messageIndex, dbx::HeaderField field)
{
    std::size_t f = 0;
    switch (field) {
    case dbx::HeaderField::kFrom: f = 0; break;
    case dbx::HeaderField::kTo: f = 1; break;
    case dbx::HeaderField::kSubject: f = 2; break;
    default: return {};
    }
    std::vector<Slot>& slots = slots_[f];
    if (messageIndex < 0) {
        scratch_ = Make(record, messageIndex, field);
        return scratch_;
    }
    const auto i = static_cast<std::size_t>(messageIndex);
    if (i >= slots.size())
        slots.resize(std::max(i + 1, file_ ? static_cast<std::size_t>(file_->GetCount()) : 0));
    Slot& slot = slots[i];
    if (!slot.text) {
        const std::string_view kept = Keep(Make(record, messageIndex, field));
        static constexpr char kEmpty = '\0';
        slot.text = kept.empty() ? &kEmpty : kept.data();
        slot.size = static_cast<std::uint32_t>(kept.size());
    }
    return {slot.text, slot.size};
}

} // namespace mailtext
