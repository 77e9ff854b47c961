#include "platform/windows/wmi/TextConversion.h"

#include <climits>
#include <new>

UINT conversionCodePage()
{
    // The thread's ANSI code page, which every Windows version that this build runs
    // on (NT 5 and later) offers.
    return CP_THREAD_ACP;
}

BStr::BStr(std::string_view narrow)
{
    if (narrow.size() > INT_MAX)
        throw TextConversionError();
    const int narrowLength = static_cast<int>(narrow.size());
    int length = 0;
    if (narrowLength > 0) {
        length = MultiByteToWideChar(conversionCodePage(), 0, narrow.data(), narrowLength, nullptr, 0);
        if (length == 0)
            throw TextConversionError();
    }
    text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!text)
        throw std::bad_alloc();
    if (length > 0 && MultiByteToWideChar(conversionCodePage(), 0, narrow.data(), narrowLength, text, length) != length) {
        SysFreeString(text);
        throw TextConversionError();
    }
}

BStr::BStr(const wchar_t* wide) : text(SysAllocString(wide))
{
    if (!text)
        throw std::bad_alloc();
}

BStr::~BStr() { SysFreeString(text); }

std::string narrowText(std::wstring_view text)
{
    if (text.empty())
        return {};
    if (text.size() > INT_MAX)
        throw TextConversionError();
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(conversionCodePage(), 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length == 0)
        throw TextConversionError();
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(conversionCodePage(), 0, text.data(), wideLength, narrow.data(), length, nullptr, nullptr)
        != length)
        throw TextConversionError();
    return narrow;
}
