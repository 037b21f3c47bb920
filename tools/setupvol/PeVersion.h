// PeVersion.h: the file version the installer would read from a program
// file, without Windows: the "FileVersion" string of the string table
// "040904E4" (US English, Windows-1252) in the version resource of a PE
// module, parsed like the installer parses it, or without that string the
// resource's fixed file version. Any file may be handed in: everything that
// does not look like a well-formed module simply has no version.
#ifndef SETUPVOL_PE_VERSION_H
#define SETUPVOL_PE_VERSION_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// Random access to the file being examined.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t byteCount() const = 0;
    // Reads exactly n bytes at offset; false when they are not all there.
    virtual bool readAt(uint64_t offset, void* buffer, size_t n) = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const void* data, size_t size) : data(static_cast<const unsigned char*>(data)), size(size) {}
    uint64_t byteCount() const override { return size; }
    bool readAt(uint64_t offset, void* buffer, size_t n) override;

private:
    const unsigned char* data;
    size_t size;
};

enum PeVersionResult {
    PeNoVersionResource, // not a module, or no version resource: installer reads no version
    PeNoFileVersion,     // a version resource with neither that string nor a fixed record: 0.0.0.0
    PeFileVersionFound,  // version[] holds the parsed string
    PeFixedVersionFound  // no such string: version[] holds the fixed record's file version
};

// Fills version[4] (zeros unless found) and, when the string is found,
// `text` with it as ANSI (characters beyond ASCII become '?').
PeVersionResult readPeFileVersion(ByteSource& file, int32_t version[4], std::string* text);

#endif
