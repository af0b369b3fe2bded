// The pending-error mechanism shared by every platform stream.
#include "platform/utilStream.h"

#include "platform/errlEntry.h"

UtilStream::UtilStream() = default;

UtilStream::~UtilStream() { delete iv_error; }

ErrlEntry* UtilStream::takeError() {
    ErrlEntry* e = iv_error;
    iv_error = nullptr;
    return e;
}

void UtilStream::clearError() {
    delete iv_error;
    iv_error = nullptr;
}

void UtilStream::setError(ErrlEntry* error) {
    if (error == iv_error) return;
    delete iv_error;
    iv_error = error;
}
