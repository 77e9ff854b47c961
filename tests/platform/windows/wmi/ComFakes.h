#pragma once

// In-process stand-ins for COM and the WMI interfaces. Every call is written to one
// call log, and every fake counts the references it handed out, so that a test can
// tell the order and arguments of the calls and that each interface was released
// exactly once.

#include "platform/windows/wmi/ComCalls.h"

#include <wbemcli.h>

#include <map>
#include <string>
#include <vector>

// WMI's status codes as the HRESULTs that its calls return.
constexpr HRESULT wbem(WBEMSTATUS status) { return static_cast<HRESULT>(status); }

struct CallLog {
    std::vector<std::string> calls;
    void add(std::string call) { calls.push_back(std::move(call)); }
};

// Wide text of the fakes' arguments as narrow text; the tests use plain ASCII.
std::string ascii(const wchar_t* text);
// A BSTR argument as the log shows it: its text, or (null).
std::string bstrArgument(BSTR text);

template <class Interface>
class Fake : public Interface {
public:
    Fake(CallLog& log, std::string name) : log(log), name(std::move(name)) {}
    Fake(const Fake&) = delete;
    Fake& operator=(const Fake&) = delete;
    virtual ~Fake() = default;

    // One more reference, handed to the code under test.
    Interface* handOut()
    {
        ++references;
        return this;
    }
    // Every reference handed out came back exactly once, and no more.
    bool releasedExactly() const { return references == 0 && !overReleased; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        log.add("Release " + name);
        if (references == 0) {
            overReleased = true;
            return 0;
        }
        return static_cast<ULONG>(--references);
    }

    CallLog& log;
    const std::string name;
    int references = 0;
    bool overReleased = false;
};

// One property value that Get delivers.
struct FakeProperty {
    HRESULT result = wbem(WBEM_S_NO_ERROR);
    VARTYPE type = VT_EMPTY;
    std::wstring text;     // VT_BSTR
    bool nullText = false; // VT_BSTR with a null string
    LONG number = 0;       // VT_I4
};

FakeProperty stringProperty(const std::wstring& text);
FakeProperty numberProperty(LONG number);
FakeProperty failedProperty(HRESULT result);
FakeProperty typedProperty(VARTYPE type);

class FakeObject : public Fake<IWbemClassObject> {
public:
    using Fake::Fake;
    std::map<std::wstring, FakeProperty> properties;

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) override;

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
};

class FakeEnumerator : public Fake<IEnumWbemClassObject> {
public:
    using Fake::Fake;
    // What each call of Next answers, in turn; past the end it answers WBEM_S_FALSE.
    struct Step {
        HRESULT result;
        FakeObject* object;
    };
    std::vector<Step> steps;
    std::size_t taken = 0;

    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override;

    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return E_NOTIMPL; }
};

class FakeServices : public Fake<IWbemServices> {
public:
    using Fake::Fake;
    // What ExecQuery answers, for any query text.
    HRESULT queryResult = wbem(WBEM_S_NO_ERROR);
    FakeEnumerator* enumerator = nullptr;

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                                        IEnumWbemClassObject** result) override;

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IEnumWbemClassObject**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                         IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                         IWbemClassObject**, IWbemCallResult**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                              IWbemObjectSink*) override
    {
        return E_NOTIMPL;
    }
};

class FakeLocator : public Fake<IWbemLocator> {
public:
    using Fake::Fake;
    HRESULT connectResult = wbem(WBEM_S_NO_ERROR);
    FakeServices* services = nullptr;

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR path, const BSTR user, const BSTR password, const BSTR locale,
                                            LONG securityFlags, const BSTR authority, IWbemContext* context,
                                            IWbemServices** result) override;
};

// The COM library as the tests script it. The table of plain functions reaches the
// one made last that still exists.
class FakeCom {
public:
    explicit FakeCom(CallLog& log);
    FakeCom(const FakeCom&) = delete;
    FakeCom& operator=(const FakeCom&) = delete;
    ~FakeCom();

    const ComCalls& calls() const;

    CallLog& log;
    HRESULT initializeResult = S_OK;
    // Answers of CoInitializeSecurity, one per call; past the end it answers S_OK.
    std::vector<HRESULT> securityResults;
    std::size_t securityCalls = 0;
    HRESULT createResult = S_OK;
    HRESULT blanketResult = S_OK;
    // The locators CoCreateInstance hands out, one per call.
    std::vector<FakeLocator*> locators;
    std::size_t created = 0;

private:
    FakeCom* previous;
};

// COM whose locator connects to services that hand out one enumerator, all writing to
// one call log.
struct FakeWmi {
    CallLog log;
    FakeCom com{log};
    FakeLocator locator{log, "locator"};
    FakeServices services{log, "services"};
    FakeEnumerator enumerator{log, "enumerator"};

    FakeWmi()
    {
        com.locators = {&locator};
        locator.services = &services;
        services.enumerator = &enumerator;
    }
    FakeWmi(const FakeWmi&) = delete;
    FakeWmi& operator=(const FakeWmi&) = delete;
};
