// The payload of a one-file setup: the files a setup needs (the generic
// setup, Setup.Dll, the language libraries, the product file, the volumes
// and their check file), stored after the PE image of the small program
// SetupStub.exe, which unpacks them into a fresh folder and runs the setup.
// This file holds the rules both sides share: where the payload ends in a
// signed or unsigned file, the index and trailer layout, the names an index
// may hold, and the command line passed on. Layout in docs/one-file-setup.md.
// Portable: no <windows.h>.
#ifndef ONEFILE_PAYLOAD_H
#define ONEFILE_PAYLOAD_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

// The names of the one-file setup's parts: the program the stub runs and
// the stub itself as the runtime ships it. (The product file's name beside
// the setup is the product library's kProductFileName.)
constexpr char kGenericSetupName[] = "GenericSetup.exe";
constexpr char kSetupStubName[] = "SetupStub.exe";

enum PayloadLayout : size_t {
    PayloadTrailerSize = 32,  // magic, format, index size, payload size, index CRC, own CRC
    PayloadAlignment = 8,     // the payload's length is a multiple: a signer adds no padding
    PayloadFormatVersion = 1,
    PayloadMaxFiles = 4096,
    PayloadMaxName = 200,     // bytes of UTF-8, so that the temporary path stays short
    // The headers SetupStub reads to find its payload: the DOS and PE
    // headers and the section table of any program the linker makes.
    PeHeadSize = 4096
};

// What is wrong with a file or its payload, for the message shown.
enum class PayloadFault {
    None,
    NotPe,           // the headers are no PE image
    CutOrOverlong,   // the signature table does not end the file: cut, or bytes added
    NoPayload,       // no trailer where the payload should end
    TrailerDamaged,  // the trailer's own check fails or its sizes do not fit
    IndexDamaged,    // the index's check fails, or its entries do not add up
    BadName,         // a name that could leave the folder or name a device
    FileDamaged      // a file's bytes do not match their check
};

// One line of English for a fault.
const char* payloadFaultText(PayloadFault fault);

// Where things are in a PE file, from its headers.
struct PeLayout {
    uint64_t imageEnd = 0;        // end of the last section's raw data
    uint64_t checksumAt = 0;      // file offset of the optional header's CheckSum
    uint64_t securityEntryAt = 0; // file offset of the certificate table's directory entry
    uint64_t certificateAt = 0;   // the certificate table (0: unsigned)
    uint64_t certificateSize = 0;
    uint64_t payloadEnd = 0;      // where a payload would end: the table, or the file's end
};

// Reads the layout from the first `headSize` bytes of a file of `fileSize`
// bytes. A signer appends the certificate table after everything else, so a
// signed file whose table does not reach exactly to its end was cut or
// added to.
//   None            *layout filled
//   NotPe           the headers are no PE32 or PE32+ image, or reach past `headSize`
//   CutOrOverlong   the certificate table lies before the image's end or not at the file's end
PayloadFault readPeLayout(const unsigned char* head, size_t headSize, uint64_t fileSize, PeLayout* layout);

// The stub as `setupvol build` appends to: a signature (the SDK's stub is
// signed) removed with its directory entry and checksum, so that the
// signature of the whole is the only one.
//   None            `pe` is the bare image
//   NotPe, CutOrOverlong   as readPeLayout
//   NoPayload       never; NotPe also when bytes follow the image (a stub that already carries a payload)
PayloadFault stripSignature(std::vector<unsigned char>* pe);

// One file of the payload. Files lie one after the other from the payload's
// start, in index order.
struct PayloadEntry {
    std::string name;     // UTF-8, '/' between levels, relative
    uint64_t size = 0;
    uint32_t crc = 0;     // CRC-32 of its bytes (format/FileCheck.h)
    uint64_t offset = 0;  // from the payload's start; filled by parsePayloadIndex
};

// Whether `name` may be written below the unpacking folder: valid UTF-8 of
// at most PayloadMaxName bytes, levels separated by '/', none empty, dots
// only, a device name (CON, nul.txt, COM1 ...), ending in a dot or a blank,
// or holding a control character or one of < > : " \ | ? *.
bool isSafePayloadName(const std::string& name);

// What follows the files: zero padding (so that the whole is a multiple of
// PayloadAlignment), the index, and the trailer. `entries` in order; their offsets are not read.
std::vector<unsigned char> serializePayloadTail(const std::vector<PayloadEntry>& entries);

struct PayloadTrailer {
    uint32_t indexSize = 0;
    uint64_t payloadSize = 0;  // from the first file's first byte to the trailer's end
    uint32_t indexCrc = 0;
};

// Reads the PayloadTrailerSize bytes that end a payload ending at
// `payloadEnd` (a file offset), after an image ending at `imageEnd`.
//   None             *trailer filled; the payload starts at payloadEnd - payloadSize, not before imageEnd
//   NoPayload        no trailer magic: a stub without payload, or the end cut off
//   TrailerDamaged   the trailer's check, format or sizes are wrong
PayloadFault parsePayloadTrailer(const unsigned char* bytes, uint64_t imageEnd, uint64_t payloadEnd,
                                 PayloadTrailer* trailer);

// How many bytes before the trailer to read for parsePayloadIndex: the
// index and the padding before it may hold (at most PayloadAlignment - 1),
// never more than the payload holds.
uint64_t payloadIndexRegion(const PayloadTrailer& trailer);

// Reads the index from `region`, the payloadIndexRegion bytes that end where
// the trailer starts.
//   None           *entries filled, offsets set, every name safe and none twice (without case)
//   IndexDamaged   the CRC, the padding or the sizes do not agree
//   BadName        a name isSafePayloadName refuses, or a name twice
PayloadFault parsePayloadIndex(const unsigned char* region, size_t regionSize, const PayloadTrailer& trailer,
                               std::vector<PayloadEntry>* entries);

// Reads bytes of the file a payload is looked for in: true when all
// `size` bytes at `offset` were read.
using PayloadReader = std::function<bool(uint64_t offset, unsigned char* buffer, size_t size)>;

// Finds and reads the payload of a file of `fileSize` bytes, as the stub
// does before it writes anything: the PE layout, the trailer, the index.
//   None   *start is the payload's file offset, *entries its files
//   otherwise the first fault found (a read that fails is the part's damage)
PayloadFault readPayload(uint64_t fileSize, const PayloadReader& read, uint64_t* start,
                         std::vector<PayloadEntry>* entries);

// The arguments of a Windows command line, the program name skipped as
// the C runtime skips it: up to the first blank outside double quotes (the
// quotes only group), then the blanks after it.
template <class Char>
const Char* argumentsAfterProgram(const Char* commandLine) {
    const Char* p = commandLine;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        if (*p == '"')
            quoted = !quoted;
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

#endif
