#include "platform/snmp/SnmpSource.h"

#include "base/Failures.h"
#include "platform/Platform.h"
#include "platform/snmp/SnmpLibrary.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace platform {

namespace {

// Numeric object identifiers: no MIB file is ever read.
constexpr oid hrSystemUptime[] = {1, 3, 6, 1, 2, 1, 25, 1, 1, 0};
constexpr oid sysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
constexpr oid snmpEngineBoots[] = {1, 3, 6, 1, 6, 3, 10, 2, 1, 2, 0};

// ifTable columns (1.3.6.1.2.1.2.2.1.x) and ifXTable columns (1.3.6.1.2.1.31.1.1.1.x); a
// row's identifier is its column's followed by the interface index.
enum Column { ifType, ifDescr, ifName, ifHCInOctets, ifHCOutOctets, ifInOctets, ifOutOctets, columnCount };
constexpr oid ifTypeColumn[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 3};
constexpr oid ifDescrColumn[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2};
constexpr oid ifNameColumn[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1};
constexpr oid ifHCInOctetsColumn[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6};
constexpr oid ifHCOutOctetsColumn[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10};
constexpr oid ifInOctetsColumn[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 10};
constexpr oid ifOutOctetsColumn[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 16};
constexpr std::span<const oid> columns[columnCount] = {ifTypeColumn,       ifDescrColumn,       ifNameColumn,
                                                       ifHCInOctetsColumn, ifHCOutOctetsColumn, ifInOctetsColumn,
                                                       ifOutOctetsColumn};
constexpr long softwareLoopback = 24;
constexpr int rowsPerRequest = 16;

// A broken or hostile agent can not hold the run, and with it the database's lock: the
// rows it may report, and the time the connection and the reading may take together.
constexpr std::size_t maxInterfaces = 4096;
constexpr auto maxReadingTime = std::chrono::seconds(10);
constexpr long secondPerTry = 1'000'000; // microseconds
constexpr int retries = 2;

// The agent's row of one interface: the values it has of the columns above.
struct Row {
    std::optional<long> type;
    std::string descr;
    std::optional<std::string> name;
    std::array<std::optional<std::uint64_t>, columnCount> counters;
};

struct SessionCloser {
    void operator()(void* session) const { snmpLibrary().close(session); }
};
using Session = std::unique_ptr<void, SessionCloser>;

struct PduFreer {
    void operator()(netsnmp_pdu* pdu) const { snmpLibrary().freePdu(pdu); }
};
using Pdu = std::unique_ptr<netsnmp_pdu, PduFreer>;

// An open session and the moment by which the reading must be done.
struct Agent {
    Session session;
    std::chrono::steady_clock::time_point deadline;
    bool secure = false;
};

// The agent turned the credentials down: worth telling apart from silence or an unknown
// host, which all read "Failed to connect server.".
bool isRefusal(int libraryError)
{
    switch (libraryError) {
    case SNMPERR_UNKNOWN_USER_NAME:
    case SNMPERR_UNSUPPORTED_SEC_LEVEL:
    case SNMPERR_AUTHENTICATION_FAILURE:
    case SNMPERR_DECRYPTION_ERR:
    case SNMPERR_USM_UNKNOWNSECURITYNAME:
    case SNMPERR_USM_UNSUPPORTEDSECURITYLEVEL:
    case SNMPERR_USM_AUTHENTICATIONFAILURE:
    case SNMPERR_USM_DECRYPTIONERROR:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void failConnection(int libraryError)
{
    if (!isRefusal(libraryError))
        throw ProgramError("Failed to connect server.");
    // The library's own text names the refusal, for example "Unknown user name".
    throw ProgramError(std::string("Failed to connect server: ") + snmpLibrary().errorText(libraryError) + ".");
}

// The passphrase's key, as RFC 3414 defines it: the SHA-1 hash of the passphrase repeated
// over a megabyte. The library's own routine picks each byte with a division and hands the
// hash 64 bytes at a time, which costs three and a half times the hashing alone; the same
// bytes in runs of whole repetitions give the same key.
bool passphraseKey(const SnmpLibrary& snmp, const std::string& passphrase, u_char* key, std::size_t& keyLength)
{
    std::string run;
    run.reserve(4096 + passphrase.size()); // one buffer, which is cleared: no copy left behind
    while (run.size() < 4096)
        run += passphrase;
    EVP_MD_CTX* digest = snmp.newDigest();
    bool done = digest && snmp.startDigest(digest, snmp.sha1(), nullptr);
    for (std::size_t left = USM_LENGTH_EXPANDED_PASSPHRASE; done && left > 0;) {
        const std::size_t length = std::min(left, run.size());
        done = snmp.addToDigest(digest, run.data(), length);
        left -= length;
    }
    unsigned int length = 0;
    done = done && snmp.finishDigest(digest, key, &length);
    snmp.freeDigest(digest);
    clearSecret(run);
    keyLength = length;
    return done;
}

// Clears the secrets of a session's settings when they go: the library keeps copies of
// its own once the session is open.
struct SecretsCleared {
    netsnmp_session& settings;
    std::string& community;

    ~SecretsCleared()
    {
        explicit_bzero(settings.securityAuthKey, sizeof settings.securityAuthKey);
        explicit_bzero(settings.securityPrivKey, sizeof settings.securityPrivKey);
        clearSecret(community);
    }
};

Agent openSession(const std::string& host, const std::string& user, const std::string& password)
{
    Agent agent;
    agent.deadline = std::chrono::steady_clock::now() + maxReadingTime;
    agent.secure = !user.empty() && !password.empty();
    const bool secure = agent.secure;
    const SnmpLibrary& snmp = snmpLibrary(secure);
    netsnmp_session settings;
    snmp.initSession(&settings);
    std::string peer = host;
    std::string securityName = user;
    std::string community = secure ? "" : password.empty() ? "public" : password;
    const SecretsCleared cleared{settings, community};
    settings.peername = peer.data();
    settings.timeout = secondPerTry;
    settings.retries = retries;
    if (secure) {
        settings.version = SNMP_VERSION_3;
        settings.securityName = securityName.data();
        settings.securityNameLen = securityName.size();
        settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
        settings.securityAuthProto = const_cast<oid*>(snmp.sha);
        settings.securityAuthProtoLen = USM_AUTH_PROTO_SHA_LEN;
        settings.securityPrivProto = const_cast<oid*>(snmp.aes);
        settings.securityPrivProtoLen = USM_PRIV_PROTO_AES_LEN;
        // One passphrase and one hash give one key for both, and deriving it hashes a
        // megabyte: the most costly step of a run, so it is done once.
        if (password.size() < USM_LENGTH_P_MIN)
            throw ProgramError("Failed to connect server: an SNMPv3 passphrase needs at least 8 characters.");
        if (!passphraseKey(snmp, password, settings.securityAuthKey, settings.securityAuthKeyLen))
            throw ProgramError("Failed to connect server: the passphrase's key could not be derived.");
        std::memcpy(settings.securityPrivKey, settings.securityAuthKey, settings.securityAuthKeyLen);
        settings.securityPrivKeyLen = settings.securityAuthKeyLen;
    } else {
        settings.version = SNMP_VERSION_2c;
        settings.community = reinterpret_cast<u_char*>(community.data());
        settings.community_len = community.size();
    }
    // SNMPv3 asks the agent for its engine here, so silence shows already.
    agent.session.reset(snmp.open(&settings));
    if (!agent.session)
        failConnection(settings.s_snmp_errno);
    return agent;
}

[[noreturn]] void failTooSlow()
{
    throw ProgramError("Failed to connect server: the agent took more than "
                       + std::to_string(maxReadingTime.count()) + " s for one reading.");
}

// One exchange, its tries shortened so that together they end by the deadline.
Pdu request(Agent& agent, Pdu pdu)
{
    using namespace std::chrono;
    const auto left = duration_cast<microseconds>(agent.deadline - steady_clock::now()).count();
    if (left <= 0)
        failTooSlow();
    snmpLibrary().settingsOf(agent.session.get())->timeout = std::min(secondPerTry, left / (retries + 1));
    netsnmp_pdu* response = nullptr;
    const int status = snmpLibrary().request(agent.session.get(), pdu.release(), &response);
    Pdu answer(response);
    if (status != STAT_SUCCESS || !answer) {
        if (steady_clock::now() >= agent.deadline)
            failTooSlow();
        int systemError = 0;
        int libraryError = 0;
        char* text = nullptr;
        snmpLibrary().error(agent.session.get(), &systemError, &libraryError, &text);
        std::free(text);
        failConnection(libraryError);
    }
    if (answer->errstat != SNMP_ERR_NOERROR)
        throw ProgramError("Failed to connect server: the agent answered with error " + std::to_string(answer->errstat)
                           + ".");
    return answer;
}

bool hasValue(const netsnmp_variable_list* variable)
{
    return variable->type != SNMP_NOSUCHOBJECT && variable->type != SNMP_NOSUCHINSTANCE
           && variable->type != SNMP_ENDOFMIBVIEW;
}

template <std::size_t length>
bool names(const netsnmp_variable_list* v, const oid (&identifier)[length])
{
    return v->name_length == length && std::equal(identifier, identifier + length, v->name);
}

// What the agent tells of the boot: the host's uptime where it has it, else its own, in
// hundredths of a second; over SNMPv3 its restart count as well.
struct AgentBoot {
    std::optional<std::uint32_t> hostUptime;
    std::optional<std::uint32_t> agentUptime;
    std::optional<std::uint32_t> engineBoots;
};

AgentBoot readBoot(Agent& agent)
{
    const SnmpLibrary& snmp = snmpLibrary();
    Pdu pdu(snmp.createPdu(SNMP_MSG_GET));
    snmp.addNullVariable(pdu.get(), hrSystemUptime, std::size(hrSystemUptime));
    snmp.addNullVariable(pdu.get(), sysUpTime, std::size(sysUpTime));
    if (agent.secure)
        snmp.addNullVariable(pdu.get(), snmpEngineBoots, std::size(snmpEngineBoots));
    const Pdu answer = request(agent, std::move(pdu));
    AgentBoot boot;
    for (const netsnmp_variable_list* v = answer->variables; v; v = v->next_variable) {
        if (v->type == ASN_TIMETICKS && names(v, hrSystemUptime))
            boot.hostUptime = static_cast<std::uint32_t>(*v->val.integer);
        else if (v->type == ASN_TIMETICKS && names(v, sysUpTime))
            boot.agentUptime = static_cast<std::uint32_t>(*v->val.integer);
        else if (v->type == ASN_INTEGER && names(v, snmpEngineBoots))
            boot.engineBoots = static_cast<std::uint32_t>(*v->val.integer);
    }
    return boot;
}

void store(Row& row, Column column, const netsnmp_variable_list* v)
{
    switch (column) {
    case ifType:
        if (v->type == ASN_INTEGER)
            row.type = *v->val.integer;
        break;
    case ifDescr:
    case ifName:
        if (v->type == ASN_OCTET_STR) {
            std::string text(reinterpret_cast<const char*>(v->val.string), v->val_len);
            if (column == ifName && !text.empty())
                row.name = std::move(text);
            else if (column == ifDescr)
                row.descr = std::move(text);
        }
        break;
    default:
        if (v->type == ASN_COUNTER64)
            row.counters[column] = std::uint64_t{v->val.counter64->high} << 32 | (v->val.counter64->low & 0xFFFFFFFFu);
        else if (v->type == ASN_COUNTER)
            row.counters[column] = static_cast<std::uint32_t>(*v->val.integer);
        break;
    }
}

// Walks all columns side by side with GETBULK, so that a table of a few interfaces
// takes one or two exchanges.
std::map<oid, Row> readInterfaceTable(Agent& agent)
{
    const SnmpLibrary& snmp = snmpLibrary();
    std::map<oid, Row> rows;
    std::array<std::vector<oid>, columnCount> cursor;
    std::vector<Column> open;
    for (int c = 0; c < columnCount; ++c) {
        cursor[c].assign(columns[c].begin(), columns[c].end());
        open.push_back(static_cast<Column>(c));
    }
    while (!open.empty()) {
        Pdu pdu(snmp.createPdu(SNMP_MSG_GETBULK));
        pdu->non_repeaters = 0;
        pdu->max_repetitions = rowsPerRequest;
        for (const Column c : open)
            snmp.addNullVariable(pdu.get(), cursor[c].data(), cursor[c].size());
        const Pdu answer = request(agent, std::move(pdu));

        std::vector<bool> ended(columnCount, false);
        std::size_t at = 0;
        for (const netsnmp_variable_list* v = answer->variables; v; v = v->next_variable, ++at) {
            const Column c = open[at % open.size()];
            if (ended[c])
                continue;
            const std::span<const oid> column = columns[c];
            const bool inColumn = hasValue(v) && v->name_length == column.size() + 1
                                  && std::equal(column.begin(), column.end(), v->name);
            if (!inColumn || !std::lexicographical_compare(cursor[c].begin(), cursor[c].end(), v->name,
                                                           v->name + v->name_length)) {
                ended[c] = true;
                continue;
            }
            store(rows[v->name[column.size()]], c, v);
            if (rows.size() > maxInterfaces)
                throw ProgramError("Failed to connect server: the agent reports more than "
                                   + std::to_string(maxInterfaces) + " interfaces.");
            cursor[c].assign(v->name, v->name + v->name_length);
        }
        if (at == 0)
            break;
        std::erase_if(open, [&](Column c) { return ended[c]; });
    }
    return rows;
}

// Sessions and the library's set-up go with the source.
struct SnmpSource : CounterSource {
    Agent agent;

    ~SnmpSource() override
    {
        agent.session.reset();
        if (snmpLibraryLoaded())
            snmpLibrary().shutdown("brimlet");
    }

    Reading read(const ClockReading& clock) override
    {
        Reading reading;
        // A remote host names no boot: its uptime and the agent's boot count tell a new
        // one. The boot times, the poller's clock less the uptime, date its records.
        const AgentBoot boot = readBoot(agent);
        reading.boot.byEvidence = true;
        reading.boot.engineBoots = boot.engineBoots;
        if (const auto uptime = boot.hostUptime ? boot.hostUptime : boot.agentUptime) {
            const FileTime sinceBoot = FileTime{*uptime} * (fileTimeSecond / 100);
            reading.boot.uptime = sinceBoot;
            reading.boot.uptimeIsAgents = !boot.hostUptime;
            if (clock.localTime != 0) {
                reading.boot.localBootTime = clock.localTime - sinceBoot;
                reading.boot.utcBootTime = clock.utc - sinceBoot;
            }
        }

        for (const auto& [index, row] : readInterfaceTable(agent)) {
            // Each interface by its own width: the 64-bit counters where the agent has
            // both (RFC 2863 asks for them only above 20 Mbit/s), else the 32-bit ones.
            const bool wide = row.counters[ifHCInOctets] && row.counters[ifHCOutOctets];
            AdapterReading adapter;
            adapter.name = row.name.value_or(row.descr);
            adapter.index = static_cast<std::uint32_t>(index);
            adapter.width = wide ? CounterWidth::bits64 : CounterWidth::bits32;
            adapter.sent = row.counters[wide ? ifHCOutOctets : ifOutOctets];
            adapter.received = row.counters[wide ? ifHCInOctets : ifInOctets];
            adapter.loopback = row.type == softwareLoopback;
            reading.adapters.push_back(std::move(adapter));
        }
        return reading;
    }
};

} // namespace

std::unique_ptr<CounterSource> connectSnmp(const std::string& host, const std::string& user,
                                           const std::string& password)
{
    auto source = std::make_unique<SnmpSource>();
    source->agent = openSession(host, user, password);
    return source;
}

} // namespace platform
