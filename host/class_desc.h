#pragma once

#include <cstdint>
#include <cstdlib>

#include "host/exceptions.h"
#include "host/heap.h"
#include "host/host_api.h"

// Super-class identifier: which kind of plug-in a class is.
using SClass_ID = uint32_t;

// Class identifier: two 32-bit words.
class Class_ID {
  public:
    constexpr Class_ID() = default;
    constexpr Class_ID(uint32_t first, uint32_t second) : first_(first), second_(second) {}
    constexpr uint32_t PartA() const { return first_; }
    constexpr uint32_t PartB() const { return second_; }
    constexpr bool operator==(const Class_ID&) const = default;

  private:
    uint32_t first_ = 0;
    uint32_t second_ = 0;
};

// Interface identifier of a function-published interface.
using Interface_ID = Class_ID;

// A function-published interface; the filter publishes none.
class FPInterface {
  public:
    virtual ~FPInterface() = default;
    virtual Interface_ID GetID() = 0;
};

// A growable table whose storage is one block of the host's table heap (released with zfree).
template <class T>
class Tab {
  public:
    int Count() const { return count_; }

    T& operator[](int index) {
        if (index < 0 || index >= count_) {
            throw HostSDK::Util::TabOutOfRangeException(
                L"Invalid index passed into a host SDK Tab::operator[]");
        }
        return items_[index];
    }

    void Append(const T& item) {
        void* grown = std::realloc(items_, sizeof(T) * static_cast<std::size_t>(count_ + 1));
        if (grown == nullptr) return;
        items_ = static_cast<T*>(grown);
        items_[count_++] = item;
    }

    // The address of the storage pointer, as zfree wants it.
    void** StorageAddress() { return reinterpret_cast<void**>(&items_); }

    void ForgetStorage() { count_ = 0; }

  private:
    T* items_ = nullptr;
    int count_ = 0;
};

// Describes one plug-in class to the host and creates its objects.
class HOSTSDK_API ClassDesc {
  public:
    ClassDesc() = default;
    ClassDesc(const ClassDesc&) = delete;
    ClassDesc& operator=(const ClassDesc&) = delete;
    virtual ~ClassDesc();

    virtual int IsPublic() = 0;
    virtual void* Create(int loading) = 0;
    virtual const wchar_t* ClassName() = 0;
    virtual const wchar_t* NonLocalizedClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const wchar_t* Category() = 0;

    // Defaults every descriptor inherits.
    virtual const wchar_t* GetRsrcString(intptr_t id);
    virtual int NumInterfaces();
    virtual void AddInterface(FPInterface* fpi);
    virtual FPInterface* GetInterface(int index);
    virtual FPInterface* GetInterface(Interface_ID id);

  protected:
    // The descriptor's published interfaces. The descriptor's owner releases the storage.
    Tab<FPInterface*> interfaces;
};

// Super-class identifier of image filters.
inline constexpr SClass_ID kFilterSuperClassId = 0x0E00;
