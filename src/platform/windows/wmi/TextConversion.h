#pragma once

#include <windows.h>
#include <oleauto.h>

#include "base/Failures.h"

#include <string>
#include <string_view>

// The code page of every conversion between the program's narrow text and the UTF-16
// strings of COM.
UINT conversionCodePage();

// A BSTR owned for the length of one call.
class BStr {
public:
    // The narrow text converted with the conversion code page. A failed conversion
    // raises TextConversionError, a failed allocation std::bad_alloc.
    explicit BStr(std::string_view text);
    explicit BStr(const wchar_t* text);
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    ~BStr();

    BSTR get() const { return text; }

private:
    BSTR text;
};

// A conversion between narrow and wide text that failed.
struct TextConversionError : UnknownFailure {
    TextConversionError() : UnknownFailure("text conversion failed") {}
};

// Wide text as narrow text in the conversion code page.
std::string narrowText(std::wstring_view text);
