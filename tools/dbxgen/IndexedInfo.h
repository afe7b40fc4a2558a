#pragma once
// An "indexed info" object of the .dbx format (the message-info record):
// a small key/value table whose values are either stored in the index entry
// itself or in the data field behind it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbxgen {

class IndexedInfo {
public:
    // A value below 2^24 kept in the index entry itself; larger values go to
    // the data field.
    void AddDirect(std::uint8_t index, std::uint32_t value);
    // A 4-byte value in the data field.
    void AddU32(std::uint8_t index, std::uint32_t value);
    // An 8-byte FILETIME in the data field.
    void AddFileTime(std::uint8_t index, std::uint64_t fileTime);
    // A zero-terminated string in the data field.
    void AddString(std::uint8_t index, std::string_view text);

    // Size of the serialised object, a multiple of 4.
    std::uint32_t Size() const;
    // The object as it lies in the file at `at` (its marker is `at`). Entries
    // are written in ascending index order, as the format requires.
    std::string Serialize(std::uint32_t at) const;

private:
    struct Entry {
        std::uint8_t index;
        bool direct;
        std::uint32_t value; // direct value
        std::string data;    // data-field bytes otherwise
    };
    std::vector<Entry> entries_;
};

} // namespace dbxgen
