#pragma once

#include <windows.h>
#include <objbase.h>

// The COM library calls that a WMI session makes, reachable through one table so
// that tests can stand in for COM.
struct ComCalls {
    HRESULT(STDAPICALLTYPE* initialize)(LPVOID reserved, DWORD apartment);
    HRESULT(STDAPICALLTYPE* initializeSecurity)(PSECURITY_DESCRIPTOR descriptor, LONG serviceCount,
                                                SOLE_AUTHENTICATION_SERVICE* services, void* reserved1,
                                                DWORD authenticationLevel, DWORD impersonationLevel,
                                                void* authenticationList, DWORD capabilities, void* reserved3);
    HRESULT(STDAPICALLTYPE* createInstance)(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                            LPVOID* object);
    HRESULT(STDAPICALLTYPE* setProxyBlanket)(IUnknown* proxy, DWORD authenticationService,
                                             DWORD authorizationService, OLECHAR* principalName,
                                             DWORD authenticationLevel, DWORD impersonationLevel,
                                             RPC_AUTH_IDENTITY_HANDLE identity, DWORD capabilities);
    void(STDAPICALLTYPE* uninitialize)();
};

// The table of the real COM library.
const ComCalls& systemComCalls();
