// The edge where the program's texts, UTF-8 in char buffers, meet the wide
// Win32 functions: every text handed to Windows goes through WideText, every
// text from Windows through FromUtf16 (frame/text.h). Nothing passes through
// the ANSI code page, so names outside it reach Windows as written.
#pragma once
#include <cstddef>

#include "frame/text.h"

// A UTF-8 text as the UTF-16 text a wide function takes, held for the call.
// A text that is no valid UTF-8 or does not fit comes out empty, never
// altered; a null text stays null.
template <size_t Units>
class WideText {
public:
    explicit WideText(const char* text) : null_(text == nullptr)
    {
        whole_ = !null_ && ToUtf16(text, text_, Units);
        if (!whole_)
            text_[0] = L'\0';
    }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    operator const wchar_t*() const { return null_ ? nullptr : text_; }
    // For the functions that want a writable text (CreateProcessW's command line).
    wchar_t* Writable() { return text_; }
    bool Whole() const { return whole_; }

private:
    wchar_t text_[Units];
    bool null_;
    bool whole_;
};

// Paths, registry names and the program's short texts: each fits whole.
using Wide = WideText<kPathSize>;
