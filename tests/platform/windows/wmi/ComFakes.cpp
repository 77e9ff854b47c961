#include "ComFakes.h"

#include <string>

namespace {

FakeCom* current = nullptr;

std::string pointerArgument(const void* pointer) { return pointer ? "set" : "null"; }

HRESULT STDAPICALLTYPE initialize(LPVOID reserved, DWORD apartment)
{
    current->log.add("CoInitializeEx " + pointerArgument(reserved) + " " + std::to_string(apartment));
    return current->initializeResult;
}

HRESULT STDAPICALLTYPE initializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG serviceCount,
                                          SOLE_AUTHENTICATION_SERVICE* services, void* reserved1,
                                          DWORD authenticationLevel, DWORD impersonationLevel,
                                          void* authenticationList, DWORD capabilities, void* reserved3)
{
    current->log.add("CoInitializeSecurity " + pointerArgument(descriptor) + " " + std::to_string(serviceCount) + " "
                     + pointerArgument(services) + " " + pointerArgument(reserved1) + " "
                     + std::to_string(authenticationLevel) + " " + std::to_string(impersonationLevel) + " "
                     + pointerArgument(authenticationList) + " " + std::to_string(capabilities) + " "
                     + pointerArgument(reserved3));
    const std::size_t call = current->securityCalls++;
    return call < current->securityResults.size() ? current->securityResults[call] : S_OK;
}

HRESULT STDAPICALLTYPE createInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                      LPVOID* object)
{
    current->log.add(std::string("CoCreateInstance ") + (IsEqualCLSID(classId, CLSID_WbemLocator) ? "WbemLocator" : "?")
                     + " " + pointerArgument(outer) + " " + std::to_string(context) + " "
                     + (IsEqualIID(interfaceId, IID_IWbemLocator) ? "IWbemLocator" : "?"));
    *object = nullptr;
    if (FAILED(current->createResult))
        return current->createResult;
    *object = current->locators.at(current->created++)->handOut();
    return S_OK;
}

HRESULT STDAPICALLTYPE setProxyBlanket(IUnknown* proxy, DWORD authenticationService, DWORD authorizationService,
                                       OLECHAR* principalName, DWORD authenticationLevel, DWORD impersonationLevel,
                                       RPC_AUTH_IDENTITY_HANDLE identity, DWORD capabilities)
{
    const auto* services = dynamic_cast<FakeServices*>(proxy);
    current->log.add("CoSetProxyBlanket " + (services ? services->name : std::string("?")) + " "
                     + std::to_string(authenticationService) + " " + std::to_string(authorizationService) + " "
                     + pointerArgument(principalName) + " " + std::to_string(authenticationLevel) + " "
                     + std::to_string(impersonationLevel) + " " + pointerArgument(identity) + " "
                     + std::to_string(capabilities));
    return current->blanketResult;
}

void STDAPICALLTYPE uninitialize() { current->log.add("CoUninitialize"); }

const ComCalls fakeCalls{initialize, initializeSecurity, createInstance, setProxyBlanket, uninitialize};

} // namespace

std::string ascii(const wchar_t* text)
{
    std::string narrow;
    for (; text && *text; ++text)
        narrow.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return narrow;
}

std::string bstrArgument(BSTR text)
{
    if (!text)
        return "(null)";
    // A BSTR knows its length; a plain wide string passed in its place would not.
    const std::string narrow = ascii(text);
    return narrow.size() == SysStringLen(text) ? narrow : "(not a BSTR)";
}

FakeProperty stringProperty(const std::wstring& text)
{
    FakeProperty property;
    property.type = VT_BSTR;
    property.text = text;
    return property;
}

FakeProperty numberProperty(LONG number)
{
    FakeProperty property;
    property.type = VT_I4;
    property.number = number;
    return property;
}

FakeProperty failedProperty(HRESULT result)
{
    FakeProperty property;
    property.result = result;
    return property;
}

FakeProperty typedProperty(VARTYPE type)
{
    FakeProperty property;
    property.type = type;
    return property;
}

HRESULT FakeObject::Get(LPCWSTR property, LONG flags, VARIANT* value, CIMTYPE*, LONG*)
{
    log.add("Get " + name + " " + ascii(property) + " " + std::to_string(flags)
            + (value->vt == VT_EMPTY ? "" : " into a value not cleared"));
    const auto found = properties.find(property);
    if (found == properties.end())
        return wbem(WBEM_E_NOT_FOUND);
    const FakeProperty& p = found->second;
    if (p.result != wbem(WBEM_S_NO_ERROR))
        return p.result;
    value->vt = p.type;
    if (p.type == VT_BSTR)
        value->bstrVal = p.nullText ? nullptr : SysAllocString(p.text.c_str());
    else if (p.type == VT_I4)
        value->lVal = p.number;
    else if (p.type == VT_UI8)
        value->ullVal = 7;
    return wbem(WBEM_S_NO_ERROR);
}

HRESULT FakeEnumerator::Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned)
{
    log.add("Next " + std::to_string(timeout) + " " + std::to_string(count));
    *returned = 0;
    *objects = nullptr;
    if (taken >= steps.size())
        return wbem(WBEM_S_FALSE);
    const Step& step = steps[taken++];
    if (step.object) {
        *objects = step.object->handOut();
        *returned = 1;
    }
    return step.result;
}

HRESULT FakeServices::ExecQuery(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                                IEnumWbemClassObject** result)
{
    log.add("ExecQuery " + bstrArgument(language) + " " + bstrArgument(query) + " " + std::to_string(flags) + " "
            + pointerArgument(context));
    *result = nullptr;
    if (FAILED(queryResult))
        return queryResult;
    *result = enumerator->handOut();
    return queryResult;
}

HRESULT FakeLocator::ConnectServer(const BSTR path, const BSTR user, const BSTR password, const BSTR locale,
                                   LONG securityFlags, const BSTR authority, IWbemContext* context,
                                   IWbemServices** result)
{
    log.add("ConnectServer " + bstrArgument(path) + " " + bstrArgument(user) + " " + bstrArgument(password) + " "
            + bstrArgument(locale) + " " + std::to_string(securityFlags) + " " + bstrArgument(authority) + " "
            + pointerArgument(context));
    *result = nullptr;
    if (FAILED(connectResult))
        return connectResult;
    *result = services->handOut();
    return connectResult;
}

FakeCom::FakeCom(CallLog& log) : log(log), previous(current) { current = this; }

FakeCom::~FakeCom() { current = previous; }

const ComCalls& FakeCom::calls() const { return fakeCalls; }
