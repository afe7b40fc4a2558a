#pragma once
// Records and lists for the message-list tests.

#include "platform/FileTime.h"
#include "support/Times.h"
#include "ui/CMessageListCtrl.h"

#include <cstdint>
#include <string>
#include <vector>

namespace listtest {

// The local file time of a calendar moment (0 when it is not one).
inline std::uint64_t Time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return testsupport::FileTimeOf(year, month, day, hour, minute, second);
}

inline dbx::EmailRecord Record(std::string from, std::string to, std::string subject, std::uint64_t date,
                               bool attachment = false, bool deleted = false)
{
    dbx::EmailRecord r;
    r.from = std::move(from);
    r.to = std::move(to);
    r.subject = std::move(subject);
    r.date = date;
    r.hasAttachment = attachment;
    r.isDeleted = deleted;
    return r;
}

// The refill the browse window does: every record in order.
inline void Fill(CMessageListCtrl& list, const std::vector<dbx::EmailRecord>& records)
{
    list.ResetList();
    for (std::size_t i = 0; i < records.size(); ++i)
        list.AddRow(&records[i], static_cast<std::int32_t>(i));
    list.UpdateItemCount();
}

// The message indexes in display order.
inline std::vector<int> Order(const CMessageListCtrl& list)
{
    std::vector<int> order;
    for (int i = 0; const ListRow* row = list.GetRow(i); ++i)
        order.push_back(row->messageIndex);
    return order;
}

} // namespace listtest
