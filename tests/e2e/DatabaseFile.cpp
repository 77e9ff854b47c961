#include "DatabaseFile.h"

#include <stdexcept>

namespace e2e {

namespace {

void put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

std::uint64_t take(std::string_view& in, int bytes)
{
    if (in.size() < static_cast<std::size_t>(bytes))
        throw std::runtime_error("database file ends inside a field");
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t{static_cast<unsigned char>(in[static_cast<std::size_t>(i)])} << (8 * i);
    in.remove_prefix(static_cast<std::size_t>(bytes));
    return value;
}

} // namespace

std::string encodeDatabase(const std::vector<StoredRecord>& records)
{
    std::string out;
    put(out, records.size(), 4);
    for (const StoredRecord& record : records) {
        put(out, record.start, 8);
        put(out, record.entries.size(), 1);
        for (const StoredCounts& counts : record.entries) {
            put(out, static_cast<std::uint64_t>(counts.sent), 8);
            put(out, static_cast<std::uint64_t>(counts.received), 8);
        }
    }
    return out;
}

std::vector<StoredRecord> decodeDatabase(std::string_view content)
{
    std::vector<StoredRecord> records;
    for (auto count = take(content, 4); count > 0; --count) {
        StoredRecord& record = records.emplace_back();
        record.start = take(content, 8);
        for (auto entries = take(content, 1); entries > 0; --entries) {
            const auto sent = static_cast<std::int64_t>(take(content, 8));
            record.entries.push_back({sent, static_cast<std::int64_t>(take(content, 8))});
        }
    }
    if (!content.empty())
        throw std::runtime_error("database file has bytes after its last record");
    return records;
}

std::ostream& operator<<(std::ostream& out, const StoredCounts& counts)
{
    return out << "{sent " << counts.sent << ", received " << counts.received << "}";
}

std::ostream& operator<<(std::ostream& out, const StoredRecord& record)
{
    out << "{start " << record.start << ", entries";
    for (const StoredCounts& counts : record.entries)
        out << " " << counts;
    return out << "}";
}

} // namespace e2e
