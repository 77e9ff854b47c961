#pragma once

// The SNMP library, loaded when a run first reads a remote host: linking it would make
// every local run load it and the cryptographic library beneath it, which costs a local
// run more than its own work.

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <openssl/evp.h>

namespace platform {

struct SnmpLibrary {
    decltype(&::snmp_sess_init) initSession;
    decltype(&::snmp_sess_open) open;
    decltype(&::snmp_sess_synch_response) request;
    decltype(&::snmp_sess_error) error;
    decltype(&::snmp_sess_session) settingsOf;
    decltype(&::snmp_sess_close) close;
    decltype(&::snmp_pdu_create) createPdu;
    decltype(&::snmp_add_null_var) addNullVariable;
    decltype(&::snmp_free_pdu) freePdu;
    decltype(&::snmp_api_errstring) errorText;
    decltype(&::snmp_shutdown) shutdown;
    const oid* sha;
    const oid* aes;
    // The cryptographic library's digest, found through the SNMP library that loads it.
    decltype(&::EVP_sha1) sha1;
    decltype(&::EVP_MD_CTX_new) newDigest;
    decltype(&::EVP_DigestInit_ex) startDigest;
    decltype(&::EVP_DigestUpdate) addToDigest;
    decltype(&::EVP_DigestFinal_ex) finishDigest;
    decltype(&::EVP_MD_CTX_free) freeDigest;
};

// The library, loaded and set up on the first call: no configuration, MIB or persistent
// file is read or written, and it logs nothing. SNMPv2c needs only the transports;
// forSnmpV3 sets up the whole library with its security modules and the cryptographic
// library beneath, which together cost half a local run. Raises a ProgramError when the
// library can not be loaded.
const SnmpLibrary& snmpLibrary(bool forSnmpV3 = false);

// Whether snmpLibrary has loaded the library in this process.
bool snmpLibraryLoaded();

} // namespace platform
