#include "platform/snmp/SnmpLibrary.h"

#include "base/Failures.h"

#include <dlfcn.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace platform {

namespace {

std::optional<SnmpLibrary> loaded;
decltype(&::init_snmp) initWhole = nullptr;
decltype(&::OPENSSL_init_crypto) initCrypto = nullptr;
bool whole = false;

template <class Pointer>
void bind(void* handle, Pointer& pointer, const char* name)
{
    pointer = reinterpret_cast<Pointer>(dlsym(handle, name));
    if (!pointer)
        throw ProgramError(std::string("The SNMP library lacks ") + name + ".");
}

SnmpLibrary load()
{
    void* handle = dlopen(BRIMLET_NETSNMP_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw ProgramError(std::string("Can not load the SNMP library: ") + dlerror());
    SnmpLibrary library;
    bind(handle, library.initSession, "snmp_sess_init");
    bind(handle, library.open, "snmp_sess_open");
    bind(handle, library.request, "snmp_sess_synch_response");
    bind(handle, library.error, "snmp_sess_error");
    bind(handle, library.settingsOf, "snmp_sess_session");
    bind(handle, library.close, "snmp_sess_close");
    bind(handle, library.createPdu, "snmp_pdu_create");
    bind(handle, library.addNullVariable, "snmp_add_null_var");
    bind(handle, library.freePdu, "snmp_free_pdu");
    bind(handle, library.errorText, "snmp_api_errstring");
    bind(handle, library.shutdown, "snmp_shutdown");
    bind(handle, library.sha, "usmHMACSHA1AuthProtocol");
    bind(handle, library.aes, "usmAESPrivProtocol");
    bind(handle, library.sha1, "EVP_sha1");
    bind(handle, library.newDigest, "EVP_MD_CTX_new");
    bind(handle, library.startDigest, "EVP_DigestInit_ex");
    bind(handle, library.addToDigest, "EVP_DigestUpdate");
    bind(handle, library.finishDigest, "EVP_DigestFinal_ex");
    bind(handle, library.freeDigest, "EVP_MD_CTX_free");

    decltype(&::netsnmp_ds_set_boolean) setBoolean;
    decltype(&::netsnmp_ds_set_string) setString;
    decltype(&::netsnmp_register_loghandler) addLogHandler;
    decltype(&::netsnmp_container_init_list) initContainers;
    decltype(&::init_callbacks) initCallbacks;
    decltype(&::init_snmp_transport) initTransports;
    bind(handle, setBoolean, "netsnmp_ds_set_boolean");
    bind(handle, setString, "netsnmp_ds_set_string");
    bind(handle, addLogHandler, "netsnmp_register_loghandler");
    bind(handle, initContainers, "netsnmp_container_init_list");
    bind(handle, initCallbacks, "init_callbacks");
    bind(handle, initTransports, "init_snmp_transport");
    bind(handle, initWhole, "init_snmp");
    bind(handle, initCrypto, "OPENSSL_init_crypto");
    // Every object is named by number, so parsing MIB files would only cost time; the
    // user's and the system's SNMP configuration must not change what a run reads.
    setenv("MIBS", "", 1);
    setenv("MIBDIRS", "", 1);
    setBoolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    setBoolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    setBoolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES, 1);
    // The library would otherwise make folders under /var/lib; a path that can hold no
    // folder keeps its persistent state nowhere.
    setString(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, "/dev/null");
    // Failures reach the user as the run's report; the library's own lines would only
    // clutter standard error, which it writes to when no handler is set.
    addLogHandler(NETSNMP_LOGHANDLER_NONE, LOG_EMERG);
    setString(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_APPTYPE, "brimlet");
    initContainers();
    initCallbacks();
    initTransports();
    return library;
}

} // namespace

const SnmpLibrary& snmpLibrary(bool forSnmpV3)
{
    if (!loaded)
        loaded = load();
    if (forSnmpV3 && !whole) {
        // The library names its hash and cipher directly, never looks one up by name and
        // never shows the cryptographic library's error texts (it logs nothing here):
        // setting up the tables of every algorithm's names and of every error's text
        // would cost a third of the set-up. Its configuration is still read.
        initCrypto(OPENSSL_INIT_NO_ADD_ALL_CIPHERS | OPENSSL_INIT_NO_ADD_ALL_DIGESTS
                       | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS,
                   nullptr);
        initWhole("brimlet");
        whole = true;
    }
    return *loaded;
}

bool snmpLibraryLoaded() { return loaded.has_value(); }

} // namespace platform
