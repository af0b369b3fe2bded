// A file of the service processor's file system. Paths are in the service
// processor's namespace (/plat_dump/...); the platform maps them to storage.
// Modes of Open are those of the C library: "r", "r+", "w+" (also "w",
// "a", "a+"). Failures leave a pending error (UtilStream).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platformExport.h"
#include "utilStream.h"

class PLATFORM_EXPORT UtilFile : public UtilStream {
public:
    UtilFile();
    explicit UtilFile(const char* path);
    // Wraps an open C stream; the stream stays the caller's to close.
    explicit UtilFile(FILE* stream);
    ~UtilFile() override;  // closes a file this object opened

    // flag: reserved by the platform, callers pass false.
    void Open(const char* mode, bool flag = false);
    void Close();
    bool isOpen() const { return iv_fd >= 0; }

    bool exists() const;
    // Length of the open file; 0 when the file is not open.
    uint64_t size() const override;
    uint32_t read(void* buffer, uint32_t size) override;
    uint32_t write(const void* buffer, uint32_t size) override;
    int64_t seek(int64_t offset, whence from) override;

    // Deletes this object's file (an open descriptor stays usable).
    void Remove();
    // Deletes the file at path; returns the failure, or null.
    static ErrlEntry* remove(const char* path);

    const char* getFileName() const { return iv_path; }
    void setFileName(const char* path);

private:
    // The path: in the object when it fits (every path of the dump
    // repository does), else a copy on the heap that the object owns.
    static constexpr size_t kInlinePath = 96;
    char iv_inlinePath[kInlinePath];  // ended by the constructors
    char* iv_path = iv_inlinePath;
    int iv_fd = -1;
    bool iv_ownsFd = false;
    // The position in a file this object opened (not for appending): kept
    // here, so that positioning costs nothing; -1 where the descriptor's
    // own offset is used.
    int64_t iv_position = -1;
};
