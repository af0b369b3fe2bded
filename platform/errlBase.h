// Allocation base of the error-log objects (ErrlEntry, SrciSrc): every
// entry and SRC is allocated through ErrlBase::operator new and freed by
// deleting it through its virtual destructor.
#pragma once

#include <cstddef>

#include "platformExport.h"

class PLATFORM_EXPORT ErrlBase {
public:
    ErrlBase() = default;
    virtual ~ErrlBase();

    // Never returns null: an allocation the service processor cannot make
    // ends the process, as the platform's allocator does.
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;
};
