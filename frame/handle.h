// Move-only owners for the handles the program opens, so that no early
// return can leave a key, a search or a process handle open.
#pragma once
#include <windows.h>

template <typename Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;
    Unique() = default;
    explicit Unique(Handle h) : handle_(h) {}
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    Handle release()
    {
        Handle h = handle_;
        handle_ = Traits::Invalid();
        return h;
    }
    void reset(Handle h = Traits::Invalid())
    {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = h;
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct KeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
// Kernel handles: files report failure as INVALID_HANDLE_VALUE, the others as null.
template <bool kMinusOneIsInvalid>
struct KernelTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return kMinusOneIsInvalid ? INVALID_HANDLE_VALUE : nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

using UniqueKey = Unique<KeyTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueHandle = Unique<KernelTraits<false>>;
using UniqueFile = Unique<KernelTraits<true>>;
