#include "database/RunState.h"

#include "base/ByteCheck.h"
#include "database/ByteOrder.h"
#include "database/FileFormat.h"

#include <algorithm>

using namespace fileFormat;

namespace {

std::string_view boundedText(std::string_view text) { return text.substr(0, maxTextLength); }

void putValue(std::string& out, std::uint64_t value, std::size_t bytes)
{
    char buffer[8];
    putLittleEndian(buffer, value, bytes);
    out.append(buffer, bytes);
}

void putText(std::string& out, std::string_view text)
{
    text = boundedText(text);
    putValue(out, text.size(), textLengthSize);
    out.append(text);
}

void putState(std::string& out, const RunState& state, std::uint64_t fingerprint)
{
    putValue(out, fingerprint, fingerprintSize);
    for (const FileTime time : {state.utcBootTime, state.readingTime, state.sessionBootTime, state.uptime})
        putValue(out, time, stateTimeSize);
    putValue(out, unsigned{state.byEvidence} | unsigned{state.uptimeIsAgents} << 1, evidenceSize);
    putValue(out, state.engineBoots, engineBootsSize);
    putText(out, state.bootId);
    putValue(out, state.adapters.size(), adapterCountSize);
    for (const AdapterState& adapter : state.adapters) {
        putValue(out, adapter.index, interfaceIndexSize);
        putValue(out, adapter.nameHash, nameHashSize);
        putValue(out, adapter.width == CounterWidth::bits32 ? 32 : 64, widthSize);
        putValue(out, adapter.sent, countSize);
        putValue(out, adapter.received, countSize);
    }
}

// Reads the content front to back; a read past its end leaves it failed.
struct Reader {
    std::string_view rest;
    bool failed = false;

    std::uint64_t value(std::size_t bytes)
    {
        if (failed || rest.size() < bytes) {
            failed = true;
            return 0;
        }
        const std::uint64_t result = getLittleEndian(rest.data(), bytes);
        rest.remove_prefix(bytes);
        return result;
    }
    std::string text()
    {
        const auto length = static_cast<std::size_t>(value(textLengthSize));
        if (failed || rest.size() < length) {
            failed = true;
            return {};
        }
        std::string result(rest.substr(0, length));
        rest.remove_prefix(length);
        return result;
    }
};

RunState readState(Reader& in)
{
    RunState state;
    state.utcBootTime = in.value(stateTimeSize);
    state.readingTime = in.value(stateTimeSize);
    state.sessionBootTime = in.value(stateTimeSize);
    state.uptime = in.value(stateTimeSize);
    const std::uint64_t evidence = in.value(evidenceSize);
    state.byEvidence = evidence & 1;
    state.uptimeIsAgents = evidence & 2;
    state.engineBoots = static_cast<std::uint32_t>(in.value(engineBootsSize));
    state.bootId = in.text();
    const auto count = static_cast<std::size_t>(in.value(adapterCountSize));
    if (in.failed || count > maxRememberedAdapters || in.rest.size() < count * adapterStateSize) {
        in.failed = true;
        return state;
    }
    state.adapters.resize(count);
    for (AdapterState& adapter : state.adapters) {
        adapter.index = static_cast<std::uint32_t>(in.value(interfaceIndexSize));
        adapter.nameHash = static_cast<std::uint32_t>(in.value(nameHashSize));
        const std::uint64_t width = in.value(widthSize);
        in.failed = in.failed || (width != 32 && width != 64);
        adapter.width = width == 32 ? CounterWidth::bits32 : CounterWidth::bits64;
        adapter.sent = in.value(countSize);
        adapter.received = in.value(countSize);
    }
    return state;
}

} // namespace

// An uptime counted in 32 bits of hundredths of a second starts again after 497 days.
constexpr FileTime uptimeWrap = (FileTime{1} << 32) * (fileTimeSecond / 100);

bool sameBootTime(FileTime a, FileTime b)
{
    const FileTime apart = (a > b ? a - b : b - a) % uptimeWrap;
    return std::min(apart, uptimeWrap - apart) <= bootTimeTolerance;
}

bool RunState::sameBoot(const RunState& next) const
{
    if (!bootId.empty() || !next.bootId.empty())
        return bootId == next.bootId;
    if (byEvidence && next.byEvidence) {
        if (engineBoots != 0 && next.engineBoots != 0 && engineBoots != next.engineBoots)
            return false;
        // A host uptime that went down by about a wrap less the time between the readings
        // wrapped (within an hour, for a poller's clock that stepped meanwhile).
        constexpr FileTime stepAllowance = 3600 * fileTimeSecond;
        const FileTime apart = next.readingTime > readingTime ? next.readingTime - readingTime : 0;
        const bool hostUptimes = uptime != 0 && next.uptime != 0 && !uptimeIsAgents && !next.uptimeIsAgents;
        return !hostUptimes || next.uptime >= uptime || next.uptime + uptimeWrap <= uptime + apart + stepAllowance;
    }
    return utcBootTime != 0 && next.utcBootTime != 0 && sameBootTime(utcBootTime, next.utcBootTime);
}

std::uint32_t nameHash(std::string_view name)
{
    // FNV-1a in 32 bits.
    std::uint32_t hash = 2166136261u;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

const AdapterState* RunState::find(std::uint32_t index, std::uint32_t hash) const
{
    const auto found = std::find_if(adapters.begin(), adapters.end(), [&](const AdapterState& known) {
        return index != 0 ? known.index == index : known.index == 0 && known.nameHash == hash;
    });
    return found == adapters.end() ? nullptr : &*found;
}

std::uint64_t databaseFingerprint(std::string_view content)
{
    // The size, the record count and the last bytes, which hold the last record whole
    // (255 entries and its head fit in them).
    constexpr std::size_t tail = 4096;
    static constexpr char noRecords[recordCountSize] = {};
    if (content.empty())
        content = std::string_view(noRecords, recordCountSize);
    char size[8];
    putLittleEndian(size, content.size(), sizeof size);
    std::uint64_t check = byteCheck({size, sizeof size});
    check = byteCheck(content.substr(0, std::min(content.size(), recordCountSize)), check);
    return byteCheck(content.substr(content.size() - std::min(content.size(), tail)), check);
}

std::string encodeRunStates(const RunState& after, std::uint64_t afterFingerprint, const RunState* before,
                            std::uint64_t beforeFingerprint, const platform::UserNumbers& numbers)
{
    std::string out;
    putValue(out, stateFormat, stateFormatSize);
    // Settings that a text can not hold whole are not handed on.
    const NumberFormat& format = numbers.format;
    const bool whole = std::max({format.decimalSeparator.size(), format.thousandsSeparator.size(), format.grouping.size()})
                       <= maxTextLength;
    putValue(out, whole ? numbers.source : 0, numbersSourceSize);
    for (const std::string* text : {&format.decimalSeparator, &format.thousandsSeparator, &format.grouping})
        putText(out, whole ? *text : std::string_view());
    putValue(out, before ? 2 : 1, stateCountSize);
    putState(out, after, afterFingerprint);
    if (before)
        putState(out, *before, beforeFingerprint);
    return out;
}

std::optional<RunState> decodeRunState(std::string_view content, std::uint64_t fingerprint,
                                       platform::UserNumbers* numbers)
{
    Reader in{content};
    const std::uint64_t format = in.value(stateFormatSize);
    const bool known = format == stateFormat || format == stateFormatWithoutNumbers;
    platform::UserNumbers handedOn;
    if (format == stateFormat) {
        handedOn.source = in.value(numbersSourceSize);
        handedOn.format.decimalSeparator = in.text();
        handedOn.format.thousandsSeparator = in.text();
        handedOn.format.grouping = in.text();
    }
    const auto count = in.value(stateCountSize);
    std::optional<RunState> found;
    for (std::uint64_t i = 0; i < count && !in.failed; ++i) {
        const std::uint64_t belongsTo = in.value(fingerprintSize);
        RunState state = readState(in);
        if (belongsTo == fingerprint && !found)
            found = std::move(state);
    }
    if (!known || in.failed || !in.rest.empty() || count == 0 || count > 2)
        return std::nullopt;
    if (numbers)
        *numbers = std::move(handedOn);
    return found;
}
